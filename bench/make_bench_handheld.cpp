// SPDX-License-Identifier: MIT
// Writes a generated handheld for the sync benchmark: DATABASES Kestrelplan
// task databases of RECORDS records each, as Palm database files
// "task-000.pdb", "task-001.pdb"... holding the databases "Project 000",
// "Project 001"... Records come from the benchmark mix; about one in a
// hundred is deleted, as a device keeps them until the next sync.
//
//   make_bench_handheld OUTPUT_DIR DATABASES RECORDS
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/task_mix.h"
#include "handheld/sync_services.h"
#include "handheld_folder/pdb_file.h"
#include "host/handheld.h"

namespace host = kestrel::host;
namespace handheld_folder = kestrel::handheld_folder;

namespace {

// 2026-03-01 09:30, seconds since 1904.
constexpr std::uint32_t kCreated = 3855202200u;

// The standard category block of a Palm application.
std::vector<std::uint8_t> Categories() {
  const char* names[] = {"Unfiled", "Office", "Home"};
  std::vector<std::uint8_t> block(2 + 16 * 16 + 16 + 2, 0);
  for (std::size_t i = 0; i < 3; ++i) {
    std::copy(names[i], names[i] + std::strlen(names[i]), block.begin() + 2 + 16 * i);
    block[2 + 256 + i] = static_cast<std::uint8_t>(i);
  }
  block[2 + 256 + 16] = 2;
  return block;
}

host::Database TaskDatabase(int number, long records) {
  char name[32];
  std::snprintf(name, sizeof name, "Project %03d", number);
  host::Database db;
  db.name = name;
  db.attributes = 0x0008;  // backup
  db.creationDate = db.modificationDate = kCreated;
  db.modificationNumber = static_cast<std::uint32_t>(records);
  db.type = kTypeData;
  db.creator = kCreatorTkpl;
  db.uniqueIdSeed = static_cast<std::uint32_t>(records);
  db.appInfo = Categories();

  const auto tasks = kestrel::bench::TaskRecordMix(static_cast<std::size_t>(records),
                                                   static_cast<std::uint64_t>(number) + 1);
  kestrel::bench::Random random(static_cast<std::uint64_t>(number) + 1000);
  db.records.resize(tasks.size());
  for (std::size_t i = 0; i < tasks.size(); ++i) {
    host::Record& r = db.records[i];
    r.uniqueId = static_cast<std::uint32_t>(i + 1);
    if (random.Chance(1)) {
      r.attributes = kRecordDeleted;  // deleted: no data kept
      continue;
    }
    r.attributes = static_cast<std::uint8_t>(random.Below(3));  // category
    if (random.Chance(5)) r.attributes |= host::kRecordDirty;
    if (random.Chance(2)) r.attributes |= host::kRecordSecret;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&tasks[i]);
    r.data.assign(bytes, bytes + sizeof(TaskRecord));
  }
  return db;
}

}  // namespace

int main(int argc, char** argv) {
  const long databases = argc == 4 ? std::strtol(argv[2], nullptr, 10) : 0;
  const long records = argc == 4 ? std::strtol(argv[3], nullptr, 10) : -1;
  if (databases < 1 || databases > 10000 || records < 0 || records > 65535) {
    std::fprintf(stderr,
                 "usage: make_bench_handheld OUTPUT_DIR DATABASES RECORDS\n"
                 "  1 to 10000 databases of 0 to 65535 records\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  for (int n = 0; n < databases; ++n) {
    std::string error;
    const auto bytes = handheld_folder::SavePdb(TaskDatabase(n, records), &error);
    char fileName[32];
    std::snprintf(fileName, sizeof fileName, "task-%03d.pdb", n);
    if (!bytes) {
      std::fprintf(stderr, "make_bench_handheld: %s: %s\n", fileName, error.c_str());
      return 1;
    }
    std::ofstream out(dir / fileName, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes->data()), std::streamsize(bytes->size()));
    out.close();
    if (!out) {
      std::fprintf(stderr, "make_bench_handheld: %s: cannot write\n", fileName);
      return 1;
    }
  }
  return 0;
}
