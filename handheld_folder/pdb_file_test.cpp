// SPDX-License-Identifier: MIT
#include "handheld_folder/pdb_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "handheld_folder/handheld_folder.h"

namespace kestrel::handheld_folder {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Appends big-endian fields, to spell out files byte by byte.
struct Builder {
  Bytes b;
  Builder& U8(std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  Builder& U16(std::uint32_t v) { return U8(v >> 8).U8(v); }
  Builder& U24(std::uint32_t v) { return U8(v >> 16).U16(v & 0xFFFF); }
  Builder& U32(std::uint32_t v) { return U16(v >> 16).U16(v & 0xFFFF); }
  // `s` in a field of `width` bytes, NUL-padded; cut to the width.
  Builder& Text(const std::string& s, std::size_t width) {
    const std::size_t start = b.size();
    b.resize(start + width, 0);
    for (std::size_t i = 0; i < s.size() && i < width; ++i) {
      b[start + i] = static_cast<std::uint8_t>(s[i]);
    }
    return *this;
  }
};

// A record database in the usual layout: three entries (102 bytes with the
// header), the two-byte gap, appInfo "AI01" at 104, sortInfo "S1" at 108,
// then records of 3, 0 and 2 bytes at 110, 113 and 113; 115 bytes in all.
Bytes TaskFile() {
  Builder f;
  f.Text("Tasks", 32).U16(0x0008).U16(1);
  f.U32(0xD0000001).U32(0xD0000002).U32(0xD0000003).U32(7);
  f.U32(104).U32(108).U32(0x44617461).U32(0x546B706C).U32(0x1234).U32(0).U16(3);
  f.U32(110).U8(0x42).U24(0x000101);
  f.U32(113).U8(0x80).U24(0x000102);
  f.U32(113).U8(0x1F).U24(0xABCDEF);
  f.U16(0);
  f.Text("AI01", 4).Text("S1", 2);
  f.U8(1).U8(2).U8(3).U8(0xFE).U8(0xFF);
  return f.b;
}

// A resource database: two 10-byte entries, the gap, no appInfo or
// sortInfo, resources of 3 and 4 bytes at 100 and 103; 107 bytes.
Bytes ResourceFile() {
  Builder f;
  f.Text("KestrelApp", 32).U16(0x0001).U16(3);
  f.U32(10).U32(20).U32(0).U32(2).U32(0).U32(0);
  f.U32(0x6170706C).U32(0x546B706C).U32(0).U32(0).U16(2);
  f.Text("code", 4).U16(1).U32(100);
  f.Text("tAIN", 4).U16(1000).U32(103);
  f.U16(0);
  f.Text("abc", 3).Text("Kstl", 4);
  return f.b;
}

void Patch32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

TEST(PdbFile, LoadsEveryFieldOfARecordDatabase) {
  std::string error;
  const auto db = LoadPdb(TaskFile(), &error);
  ASSERT_TRUE(db) << error;
  EXPECT_EQ(db->name, "Tasks");
  EXPECT_EQ(db->attributes, 0x0008);
  EXPECT_EQ(db->version, 1);
  EXPECT_EQ(db->creationDate, 0xD0000001u);
  EXPECT_EQ(db->modificationDate, 0xD0000002u);
  EXPECT_EQ(db->backupDate, 0xD0000003u);
  EXPECT_EQ(db->modificationNumber, 7u);
  EXPECT_EQ(db->type, kTypeData);
  EXPECT_EQ(db->creator, kCreatorTkpl);
  EXPECT_EQ(db->uniqueIdSeed, 0x1234u);
  EXPECT_EQ(db->appInfo, (Bytes{'A', 'I', '0', '1'}));
  EXPECT_EQ(db->sortInfo, (Bytes{'S', '1'}));
  const std::vector<host::Record> records = {
      {0x42, 0x000101, {1, 2, 3}}, {0x80, 0x000102, {}}, {0x1F, 0xABCDEF, {0xFE, 0xFF}}};
  EXPECT_EQ(db->records, records);
  EXPECT_TRUE(db->resources.empty());
}

TEST(PdbFile, LoadsAResourceDatabase) {
  std::string error;
  const auto db = LoadPdb(ResourceFile(), &error);
  ASSERT_TRUE(db) << error;
  EXPECT_TRUE(db->IsResourceDb());
  EXPECT_EQ(db->type, FourCharCode("appl"));
  EXPECT_FALSE(db->appInfo);
  EXPECT_FALSE(db->sortInfo);
  const std::vector<host::Resource> resources = {
      {FourCharCode("code"), 1, {'a', 'b', 'c'}},
      {FourCharCode("tAIN"), 1000, {'K', 's', 't', 'l'}}};
  EXPECT_EQ(db->resources, resources);
  EXPECT_TRUE(db->records.empty());
}

TEST(PdbFile, SaveGivesBackTheBytesLoaded) {
  for (const Bytes& file : {TaskFile(), ResourceFile()}) {
    std::string error;
    const auto db = LoadPdb(file, &error);
    ASSERT_TRUE(db) << error;
    const auto saved = SavePdb(*db, &error);
    ASSERT_TRUE(saved) << error;
    EXPECT_EQ(*saved, file);
  }
}

TEST(PdbFile, EmptyBlocksAndEmptyDatabasesRoundTrip) {
  host::Database db;
  db.name = std::string(31, 'n');
  db.type = kTypeData;
  std::string error;
  auto saved = SavePdb(db, &error);
  ASSERT_TRUE(saved) << error;
  ASSERT_EQ(saved->size(), 80u);  // header and gap only
  EXPECT_EQ(LoadPdb(*saved, &error), db);

  db.appInfo = Bytes{};
  db.sortInfo = Bytes{};
  db.records = {host::Record{0x80, 5, {}}, host::Record{0, 6, {}}};
  saved = SavePdb(db, &error);
  ASSERT_TRUE(saved) << error;
  const auto loaded = LoadPdb(*saved, &error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_EQ(*loaded, db);
  EXPECT_EQ(SavePdb(*loaded, &error), saved);
}

TEST(PdbFile, OddLayoutsLoadAndSaveInTheUsualLayout) {
  // No gap at all after an empty entry list.
  const Bytes task = TaskFile();
  Bytes bare(task.begin(), task.begin() + 78);
  bare[77] = 0;
  Patch32(bare, 52, 0);
  Patch32(bare, 56, 0);
  std::string error;
  auto db = LoadPdb(bare, &error);
  ASSERT_TRUE(db) << error;
  EXPECT_TRUE(db->records.empty());
  EXPECT_EQ(SavePdb(*db, &error)->size(), 80u);

  // A four-byte gap of nonzero bytes, and junk after the name's NUL: the
  // offsets are what count, and the save writes the usual two zeros.
  Bytes odd = TaskFile();
  odd.insert(odd.begin() + 102, {0xAA, 0xBB});
  odd[20] = 'x';
  Patch32(odd, 52, 106);
  Patch32(odd, 56, 110);
  for (std::size_t entry = 78; entry < 102; entry += 8) {
    Patch32(odd, entry, (odd[entry + 2] << 8 | odd[entry + 3]) + 2);
  }
  db = LoadPdb(odd, &error);
  ASSERT_TRUE(db) << error;
  EXPECT_EQ(*db, *LoadPdb(TaskFile(), &error));
  EXPECT_EQ(SavePdb(*db, &error), TaskFile());
}

// LoadPdbHeader as the folder loader uses it: reads as far as
// PdbCheckedExtent asks, never further; *read says how far that was.
std::optional<host::Database> LoadHeaderAsTheLoaderDoes(const Bytes& file, std::string* error,
                                                        std::size_t* read = nullptr) {
  std::size_t have = 0;
  for (std::size_t needed = PdbCheckedExtent({}, file.size()); needed > have;
       needed = PdbCheckedExtent(std::span(file).first(have), file.size())) {
    EXPECT_LE(needed, file.size());
    have = needed;
  }
  if (read != nullptr) *read = have;
  return LoadPdbHeader(std::span(file).first(have), file.size(), error);
}

// The file alone in a handheld folder, loaded as kestrel-sync loads it: the
// message without the file's path, or "loaded".
std::string FolderLoadError(const Bytes& file) {
  const fs::path dir = fs::temp_directory_path() / ("kestrel-pdb-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  {
    std::ofstream out(dir / "x.pdb", std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  }
  host::Handheld h;
  std::string error;
  if (LoadHandheldFolder(dir, h, &error)) error = "loaded";
  fs::remove_all(dir);
  const std::string prefix = (dir / "x.pdb").string() + ": ";
  return error.rfind(prefix, 0) == 0 ? error.substr(prefix.size()) : error;
}

// Every malformed file is refused alike by each way of loading it: whole,
// as the folder loader reads it (only its start), with records as views, and
// through a handheld folder.
TEST(PdbFile, RefusesMalformedFiles) {
  struct Case {
    const char* what;
    Bytes bytes;
    std::string message;
  };
  auto patched = [](Bytes b, std::size_t at, std::uint32_t v) {
    Patch32(b, at, v);
    return b;
  };
  auto withCount = [](Bytes b, std::uint16_t n) {
    b[76] = static_cast<std::uint8_t>(n >> 8);
    b[77] = static_cast<std::uint8_t>(n);
    return b;
  };
  Bytes noNul = TaskFile();
  std::fill(noNul.begin(), noNul.begin() + 32, 'A');
  Bytes emptyName = TaskFile();
  emptyName[0] = 0;
  const Bytes task = TaskFile();
  const std::string text =
      "Things to do before the handover: order the cabinets, book the tiler.\n"
      "Ask the electrician about the extra sockets in the kitchen.\n";
  const std::vector<Case> cases = {
      {"empty file", {}, "file too short: 0 bytes, a header needs 78"},
      {"short header", Bytes(task.begin(), task.begin() + 77),
       "file too short: 77 bytes, a header needs 78"},
      {"text named like a database", Bytes(text.begin(), text.end()),
       "database name has no terminating NUL"},
      {"name without NUL", noNul, "database name has no terminating NUL"},
      {"empty name", emptyName, "database name is empty"},
      {"cut inside the entries", Bytes(task.begin(), task.begin() + 90),
       "more entries than the file can hold: 3 entries of 8 bytes need 102 bytes, the file has "
       "90"},
      {"entries past the end", withCount(task, 5),
       "more entries than the file can hold: 5 entries of 8 bytes need 118 bytes, the file has "
       "115"},
      {"entries far past the end", withCount(task, 0xFFFF),
       "more entries than the file can hold: 65535 entries of 8 bytes need 524358 bytes, the "
       "file has 115"},
      {"appInfo outside", patched(task, 52, 0xFFFFFFFF),
       "appInfo offset 4294967295 lies outside the file of 115 bytes"},
      {"appInfo in the entries", patched(task, 52, 90),
       "appInfo offset 90 lies inside the header and entries, which end at 102"},
      {"appInfo after sortInfo", patched(task, 52, 111),
       "sortInfo offset 108 lies before the appInfo block at 111"},
      {"sortInfo before appInfo", patched(task, 56, 103),
       "sortInfo offset 103 lies before the appInfo block at 104"},
      {"sortInfo outside", patched(task, 56, 116),
       "sortInfo offset 116 lies outside the file of 115 bytes"},
      {"record before sortInfo", patched(task, 78, 107),
       "record 0 offset 107 lies before the sortInfo block at 108"},
      {"records overlap", patched(task, 86, 109),
       "record 1 offset 109 lies before record 0 at 110"},
      {"record offsets decrease", patched(task, 94, 111),
       "record 2 offset 111 lies before record 1 at 113"},
      {"record outside", patched(task, 94, 116),
       "record 2 offset 116 lies outside the file of 115 bytes"},
      {"first record outside", patched(task, 78, 0x7FFFFFFF),
       "record 0 offset 2147483647 lies outside the file of 115 bytes"},
      {"record in the entries", patched(task, 78, 100),
       "record 0 offset 100 lies inside the header and entries, which end at 102"},
      {"resource entries past the end", withCount(ResourceFile(), 3),
       "more entries than the file can hold: 3 entries of 10 bytes need 108 bytes, the file has "
       "107"},
      {"resource offsets decrease", patched(ResourceFile(), 94, 99),
       "resource 1 offset 99 lies before resource 0 at 100"},
      {"resource outside", patched(ResourceFile(), 84, 108),
       "resource 0 offset 108 lies outside the file of 107 bytes"},
  };
  for (const auto& c : cases) {
    std::string whole, header, views;
    std::vector<host::RecordView> records;
    EXPECT_FALSE(LoadPdb(c.bytes, &whole)) << c.what;
    EXPECT_EQ(whole, c.message) << c.what;
    EXPECT_FALSE(LoadHeaderAsTheLoaderDoes(c.bytes, &header)) << c.what;
    EXPECT_EQ(header, c.message) << c.what;
    EXPECT_FALSE(LoadPdbViews(c.bytes, &records, &views)) << c.what;
    EXPECT_EQ(views, c.message) << c.what;
    EXPECT_EQ(FolderLoadError(c.bytes), c.message) << c.what;
  }
}

TEST(PdbFile, ATruncatedFileLoadsOnlyWhileEveryOffsetIsInside) {
  // The last record starts at 113 and runs to the end of the file, so every
  // cut from 113 on is a shorter but well-formed last record.
  const Bytes file = TaskFile();
  for (std::size_t size = 0; size < file.size(); ++size) {
    std::string error;
    const auto db = LoadPdb(std::span(file).first(size), &error);
    EXPECT_EQ(db.has_value(), size >= 113) << size << ": " << error;
    if (db) {
      EXPECT_EQ(db->records[2].data.size(), size - 113);
    }
  }
}

// The start of a file that the loader reads checks it as fully as the whole
// file: the same files refused with the same messages, and the same database
// but for its records and resources; records as views are the same records.
TEST(PdbFile, TheStartOfAFileAndViewsCheckTheWholeFile) {
  std::vector<Bytes> files;
  for (const Bytes& file : {TaskFile(), ResourceFile()}) {
    for (std::size_t size = 0; size <= file.size(); ++size) {
      files.emplace_back(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size));
    }
    for (std::size_t at = 32; at < 102 && at < file.size(); ++at) {
      Bytes patched = file;
      patched[at] = 0xFF;
      files.push_back(patched);
    }
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::string fullError, headerError, viewsError;
    auto full = LoadPdb(files[i], &fullError);
    const auto header = LoadHeaderAsTheLoaderDoes(files[i], &headerError);
    std::vector<host::RecordView> views;
    const auto viewed = LoadPdbViews(files[i], &views, &viewsError);
    ASSERT_EQ(full.has_value(), header.has_value()) << i;
    ASSERT_EQ(full.has_value(), viewed.has_value()) << i;
    EXPECT_EQ(fullError, headerError) << i;
    EXPECT_EQ(fullError, viewsError) << i;
    if (full) {
      std::vector<host::Record> asRecords;
      for (const host::RecordView& v : views) {
        const auto data = std::span(files[i]).subspan(v.offset, v.size);
        asRecords.push_back(
            host::Record{v.attributes, v.uniqueId, Bytes(data.begin(), data.end())});
      }
      EXPECT_EQ(asRecords, full->records) << i;
      full->records.clear();
      full->resources.clear();
      EXPECT_EQ(*full, *header) << i;
      EXPECT_EQ(*full, *viewed) << i;
    }
  }
}

// The loader reads a file only up to its first record's data, or to the end
// of its entries when it has no appInfo or sortInfo block.
TEST(PdbFile, TheLoaderReadsOnlyTheStartOfAFile) {
  std::string error;
  std::size_t read = 0;
  ASSERT_TRUE(LoadHeaderAsTheLoaderDoes(TaskFile(), &error, &read)) << error;
  EXPECT_EQ(read, 110u);
  ASSERT_TRUE(LoadHeaderAsTheLoaderDoes(ResourceFile(), &error, &read)) << error;
  EXPECT_EQ(read, 98u);
  Bytes noRecords = TaskFile();
  noRecords[77] = 0;  // appInfo and sortInfo then run to the end of the file
  ASSERT_TRUE(LoadHeaderAsTheLoaderDoes(noRecords, &error, &read)) << error;
  EXPECT_EQ(read, noRecords.size());
}

TEST(PdbFile, SaveRefusesWhatAFileCannotHold) {
  struct Case {
    const char* what;
    host::Database db;
    std::string message;
  };
  auto named = [](std::string name) {
    host::Database db;
    db.name = std::move(name);
    return db;
  };
  host::Database wideId = named("Tasks");
  wideId.records = {host::Record{0, 0x1000000, {}}};
  host::Database tooMany = named("Tasks");
  tooMany.records.resize(65536);
  host::Database resourceWithRecords = named("App");
  resourceWithRecords.attributes = host::kDbResource;
  resourceWithRecords.records.resize(1);
  host::Database recordWithResources = named("Tasks");
  recordWithResources.resources.resize(1);
  const std::vector<Case> cases = {
      {"empty name", named(""), "database name is empty"},
      {"long name", named(std::string(32, 'x')),
       "database name \"" + std::string(32, 'x') + "\" is longer than 31 characters"},
      {"NUL in the name", named(std::string("a\0b", 3)), "database name holds a NUL"},
      {"wide unique ID", wideId, "record 0 has a unique ID wider than 24 bits"},
      {"too many records", tooMany, "65536 entries, a file holds at most 65535"},
      {"records in a resource database", resourceWithRecords, "a resource database holds records"},
      {"resources in a record database", recordWithResources, "a record database holds resources"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(SavePdb(c.db, &error)) << c.what;
    EXPECT_EQ(error, c.message) << c.what;
  }
}

}  // namespace
}  // namespace kestrel::handheld_folder
