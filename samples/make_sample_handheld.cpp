// SPDX-License-Identifier: MIT
// Writes the sample handheld, samples/handheld/, into the folder given:
// three Kestrelplan task databases (one named "Import", one with a deleted
// record first), a memo database of another creator and the application's
// resource database. Every byte comes from here, so the checked-in files can
// be regenerated and compared.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "handheld/sync_services.h"
#include "handheld_folder/pdb_file.h"
#include "host/handheld.h"
#include "record/task_record.h"

namespace host = kestrel::host;
namespace handheld_folder = kestrel::handheld_folder;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Fixed dates, seconds since 1904: 2026-03-01 09:30, 2026-03-20 08:00 and
// 2026-03-27 17:05.
constexpr std::uint32_t kCreated = 3855202200u;
constexpr std::uint32_t kBackedUp = 3856838400u;
constexpr std::uint32_t kModified = 3857475900u;

struct Day {
  int year, month, day;
};

Bytes Task(int id, Day start, int duration, Day finish, int predecessor, int percent,
           const std::string& name, const std::string& resources) {
  TaskRecord r{};
  r.taskId = static_cast<std::uint8_t>(id);
  StoreField16(r.startDate, PackedDate::Pack(start.year, start.month, start.day).value);
  StoreField16(r.duration, static_cast<std::uint16_t>(duration));
  StoreField16(r.finishDate, PackedDate::Pack(finish.year, finish.month, finish.day).value);
  r.predecessor = static_cast<std::uint8_t>(predecessor);
  r.percentComplete = static_cast<std::uint8_t>(percent);
  std::copy(name.begin(), name.end(), r.name);
  std::copy(resources.begin(), resources.end(), r.resourceNames);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&r);
  return Bytes(bytes, bytes + sizeof r);
}

// A NUL-terminated text.
Bytes Text(const std::string& text) {
  Bytes bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

// The standard category block of a Palm application: renamed flags, sixteen
// 16-byte names, their IDs, the last ID and a pad byte.
Bytes Categories(const std::vector<std::string>& names) {
  Bytes block(2 + 16 * 16 + 16 + 2, 0);
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::copy(names[i].begin(), names[i].end(), block.begin() + 2 + 16 * i);
    block[2 + 256 + i] = static_cast<std::uint8_t>(i);
  }
  block[2 + 256 + 16] = static_cast<std::uint8_t>(names.size() - 1);
  return block;
}

host::Database TaskDatabase(const std::string& name, std::uint32_t modificationNumber) {
  host::Database db;
  db.name = name;
  db.attributes = 0x0008;  // backup
  db.creationDate = kCreated;
  db.modificationDate = kModified;
  db.backupDate = kBackedUp;
  db.modificationNumber = modificationNumber;
  db.type = kTypeData;
  db.creator = kCreatorTkpl;
  db.appInfo = Categories({"Unfiled", "Office", "Home"});
  return db;
}

std::vector<std::pair<std::string, host::Database>> SampleHandheld() {
  std::vector<std::pair<std::string, host::Database>> files;

  host::Database kestrel = TaskDatabase("KestrelDB", 14);
  kestrel.uniqueIdSeed = 0x00B004;
  kestrel.records = {
      {0x00, 0x00B001, Task(1, {2026, 3, 2}, 5, {2026, 3, 6}, 0, 100, "Plan the layout", "Ann")},
      {0x80, 0x00B002, {}},  // deleted on the handheld, no data kept
      {0x02, 0x00B003, Task(2, {2026, 3, 9}, 10, {2026, 3, 20}, 1, 40, "Order cabinets", "Bob")},
      {0x02, 0x00B004,
       Task(3, {2026, 3, 23}, 2, {2026, 3, 24}, 2, 0, "Fit the worktop", "Ann and Bob")},
  };
  files.emplace_back("KestrelDB.pdb", kestrel);

  host::Database website = TaskDatabase("Website Relaunch", 6);
  website.uniqueIdSeed = 0x00C003;
  website.records = {
      // Deleted and archived: the data stays until the next backup.
      {0x88, 0x00C001, Task(1, {2026, 2, 2}, 3, {2026, 2, 4}, 0, 100, "Old brief", "Dee")},
      {0x11, 0x00C002, Task(2, {2026, 4, 6}, 15, {2026, 4, 24}, 0, 10, "New design", "Dee")},
      {0x41, 0x00C003, Task(3, {2026, 4, 27}, 5, {2026, 5, 1}, 2, 0, "Go live", "Eve")},
  };
  files.emplace_back("Website.pdb", website);

  host::Database import = TaskDatabase("Import", 2);
  import.uniqueIdSeed = 0x00D001;
  import.records = {
      {0x00, 0x00D001, Task(1, {2026, 5, 4}, 1, {2026, 5, 4}, 0, 0, "Pasted task", "Ann")},
  };
  files.emplace_back("Import.pdb", import);

  host::Database memo;
  memo.name = "MemoDB";
  memo.attributes = 0x0008;
  memo.creationDate = kCreated;
  memo.modificationDate = kModified;
  memo.modificationNumber = 3;
  memo.type = FourCharCode("DATA");
  memo.creator = FourCharCode("memo");
  memo.uniqueIdSeed = 0x00E002;
  memo.appInfo = Categories({"Unfiled", "Business", "Personal"});
  memo.records = {
      {0x01, 0x00E001, Text("Call the tiler about the splashback")},
      {0x02, 0x00E002, Text("Buy paint")},
  };
  files.emplace_back("MemoDB.pdb", memo);

  host::Database app;
  app.name = "Kestrelplan";
  app.attributes = host::kDbResource | 0x0008;
  app.version = 1;
  app.creationDate = kCreated;
  app.modificationDate = kCreated;
  app.type = FourCharCode("appl");
  app.creator = kCreatorTkpl;
  app.resources = {
      {FourCharCode("tAIN"), 1000, Text("Kestrelplan")},
      {FourCharCode("tver"), 1, Text("1.00")},
  };
  files.emplace_back("Kestrelplan.prc", app);
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample_handheld OUTPUT_DIR\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  for (const auto& [fileName, db] : SampleHandheld()) {
    std::string error;
    const auto bytes = handheld_folder::SavePdb(db, &error);
    if (!bytes) {
      std::fprintf(stderr, "make_sample_handheld: %s: %s\n", fileName.c_str(), error.c_str());
      return 1;
    }
    std::ofstream out(dir / fileName, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes->data()), std::streamsize(bytes->size()));
    out.close();
    if (!out) {
      std::fprintf(stderr, "make_sample_handheld: %s: cannot write\n", fileName.c_str());
      return 1;
    }
  }
  return 0;
}
