// SPDX-License-Identifier: MIT
// The simulated handheld answers the eight operations as a device would.
#include "host/handheld.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "handheld/record_buffer.h"

namespace host = kestrel::host;

namespace {

host::Database TaskDb(const char* name, std::vector<host::Record> records = {}) {
  host::Database db;
  db.name = name;
  db.type = kTypeData;
  db.creator = kCreatorTkpl;
  db.records = std::move(records);
  return db;
}

host::Record RecordOf(std::vector<std::uint8_t> data, std::uint32_t id,
                      std::uint8_t attributes = 0) {
  return host::Record{attributes, id, std::move(data)};
}

class HandheldTest : public testing::Test {
 protected:
  std::uint8_t OpenOrFail(const char* name, std::uint8_t mode) {
    std::uint8_t handle = 0;
    EXPECT_EQ(h.Open(name, &handle, mode), StatusOk);
    EXPECT_NE(handle, 0);
    return handle;
  }
  host::Handheld h;
};

TEST_F(HandheldTest, HandlesAreRefusedAfterClose) {
  h.Add(TaskDb("A"));
  const std::uint8_t handle = OpenOrFail("A", ModeRead);
  EXPECT_EQ(h.OpenDatabases(), std::vector<std::string>{"A"});
  EXPECT_EQ(h.Close(handle), StatusOk);
  EXPECT_EQ(h.Close(handle), host::kStatusBadHandle);
  EXPECT_EQ(h.Clear(handle), host::kStatusBadHandle);
  EXPECT_TRUE(h.OpenDatabases().empty());
  EXPECT_EQ(h.journal, (std::vector<std::string>{"open A r", "close A"}));

  std::uint8_t missing = 0;
  EXPECT_EQ(h.Open("B", &missing, ModeRead), StatusNotFound);
  EXPECT_EQ(missing, 0);
}

// Opened read-only, or a database with the read-only attribute opened for
// writing: either way the device refuses to clear or write it.
TEST_F(HandheldTest, ReadOnlyOpenOrDatabaseRefusesWritesAndClears) {
  host::Database locked = TaskDb("B", {RecordOf({3, 4}, 8)});
  locked.attributes = host::kDbReadOnly;
  h.Add(TaskDb("A", {RecordOf({1, 2}, 7)}));
  h.Add(locked);
  for (const auto& [name, mode] : {std::pair{"A", ModeRead}, std::pair{"B", ModeReadWrite}}) {
    RecordTransfer t{};
    kestrel::RecordBuffer buffer(t, 16);
    t.handle = OpenOrFail(name, mode);
    t.recordSize = 2;
    EXPECT_EQ(h.Write(&t), host::kStatusReadOnly) << name;
    EXPECT_EQ(h.Clear(t.handle), host::kStatusReadOnly) << name;
    EXPECT_EQ(h.Find(name)->db.records.size(), 1u) << name;
    EXPECT_FALSE(h.Find(name)->changed) << name;
    EXPECT_EQ(h.Close(t.handle), StatusOk);
  }
}

TEST_F(HandheldTest, ReadsByIndexUntilNotFoundAndRefusesTooSmallBuffer) {
  h.Add(TaskDb("A", {RecordOf({0xAA, 0xBB, 0xCC}, 0x123456, kRecordDeleted | 0x05),
                     RecordOf(std::vector<std::uint8_t>(17, 1), 9)}));
  RecordTransfer t{};
  kestrel::RecordBuffer buffer(t, 16);
  t.handle = OpenOrFail("A", ModeRead);

  ASSERT_EQ(h.Read(&t), StatusOk);
  EXPECT_EQ(t.attributes, kRecordDeleted);
  EXPECT_EQ(std::uint16_t{t.category}, 5);
  EXPECT_EQ(std::uint32_t{t.recordId}, 0x123456u);
  EXPECT_EQ(std::uint32_t{t.recordSize}, 3u);
  EXPECT_EQ(std::memcmp(buffer.Data(), "\xAA\xBB\xCC", 3), 0);

  t.recordIndex = 1;
  EXPECT_EQ(h.Read(&t), host::kStatusTooLarge);
  t.recordIndex = 2;
  EXPECT_EQ(h.Read(&t), StatusNotFound);
}

// Through the host's ReadRecordAt, the observer is told of each read with
// the index asked for, or, when it wants only those, of the failed ones.
TEST_F(HandheldTest, ObserverIsToldOfReadsByIndexOrOfTheFailedOnesOnly) {
  h.Add(TaskDb("A", {RecordOf({1}, 1, kRecordDeleted | 0x03),
                     RecordOf(std::vector<std::uint8_t>(17, 1), 2), RecordOf({3}, 3, 0x40)}));
  std::vector<std::string> seen;
  h.observer = [&seen](const host::OperationEvent& e) {
    if (e.op != host::Operation::Read) return;
    seen.push_back(std::string(e.database) + " " + std::to_string(e.record) + " " +
                   std::to_string(e.status) + " " + std::to_string(e.attributes));
  };
  const host::AttachScope attached(h);
  const Status answers[] = {StatusOk, host::kStatusTooLarge, StatusOk, StatusNotFound};
  const std::vector<std::string> every = {"A 0 0 128", "A 1 16392 0", "A 2 0 64", "A 3 16387 0"};
  const std::vector<std::string> failed = {"A 1 16392 0", "A 3 16387 0"};
  for (const bool failedOnly : {false, true}) {
    h.observeFailedReadsOnly = failedOnly;
    seen.clear();
    RecordTransfer t{};
    kestrel::RecordBuffer buffer(t, 16);
    t.handle = OpenOrFail("A", ModeRead);
    for (std::uint16_t i = 0; i < 4; ++i) {
      t.recordIndex = i;
      EXPECT_EQ(ReadRecordAt(&t), answers[i]) << i;
    }
    EXPECT_EQ(std::uint32_t{t.recordId}, 3u) << failedOnly;
    EXPECT_EQ(h.Close(t.handle), StatusOk);
    EXPECT_EQ(seen, failedOnly ? failed : every) << failedOnly;
  }
}

TEST_F(HandheldTest, WritesGetFreshUniqueIdsAndTheDirtyBit) {
  host::Database db = TaskDb("A", {RecordOf({1}, 2)});
  db.uniqueIdSeed = 1;
  db.modificationNumber = 10;
  h.Add(std::move(db));
  h.clock = 3000000000u;
  RecordTransfer t{};
  kestrel::RecordBuffer buffer(t, 16);
  t.handle = OpenOrFail("A", ModeReadWrite);
  t.recordSize = 2;
  t.category = 3;
  buffer.Data()[0] = 0x11;
  buffer.Data()[1] = 0x22;

  ASSERT_EQ(h.Write(&t), StatusOk);
  EXPECT_EQ(std::uint32_t{t.recordId}, 3u) << "seed 2 is taken by a loaded record";
  t.recordId = 0;
  ASSERT_EQ(h.Write(&t), StatusOk);
  EXPECT_EQ(std::uint32_t{t.recordId}, 4u);

  const host::Slot& slot = *h.Find("A");
  ASSERT_EQ(slot.db.records.size(), 3u);
  EXPECT_EQ(slot.db.records[1], RecordOf({0x11, 0x22}, 3, host::kRecordDirty | 3));
  EXPECT_EQ(slot.db.modificationNumber, 12u);
  EXPECT_EQ(slot.db.modificationDate, 3000000000u);
  EXPECT_TRUE(slot.changed);
}

TEST_F(HandheldTest, CreateRefusesAnExistingNameAndOpensTheNewDatabase) {
  h.Add(TaskDb("A"));
  NewDatabaseSpec newDb{};
  std::strcpy(newDb.name, "A");
  EXPECT_EQ(h.Create(&newDb), host::kStatusExists);

  std::strcpy(newDb.name, "KestrelDB");
  newDb.type = kTypeData;
  newDb.creator = kCreatorTkpl;
  newDb.flags = 8;
  ASSERT_EQ(h.Create(&newDb), StatusOk);
  EXPECT_NE(newDb.handle, 0);
  const host::Slot& slot = *h.Find("KestrelDB");
  EXPECT_EQ(slot.db.attributes, 8);
  EXPECT_EQ(slot.db.type, kTypeData);
  EXPECT_EQ(slot.db.creator, kCreatorTkpl);
  EXPECT_TRUE(slot.changed);
  EXPECT_EQ(h.OpenDatabases(), std::vector<std::string>{"KestrelDB"});
}

TEST_F(HandheldTest, ListFillsAtMostTheCapacity) {
  for (const char* name : {"A", "B", "C"}) h.Add(TaskDb(name));
  std::vector<DatabaseInfo> list(3);
  std::int32_t count = 2;
  ASSERT_EQ(h.List(list.data(), &count), StatusOk);
  EXPECT_EQ(count, 2);
  EXPECT_STREQ(list[0].name, "A");
  EXPECT_STREQ(list[1].name, "B");
  EXPECT_EQ(list[1].type, kTypeData);
  EXPECT_EQ(list[1].creator, kCreatorTkpl);
}

// A slot whose records are kept in a file: the source counts its calls and
// lays `records` out as a file's bytes with a view each, or answers `status`.
struct KeptInAFile {
  std::vector<host::Record> records;
  Status status = StatusOk;
  int loads = 0;

  host::RecordSource Source() {
    return [this](const host::Database&, host::RecordImage& image) {
      ++loads;
      if (status != StatusOk) return status;
      std::vector<std::uint8_t> bytes(5, 0xEE);  // something before the first record
      image.records.clear();
      for (const auto& r : records) {
        image.records.push_back(host::RecordView{static_cast<std::uint32_t>(bytes.size()),
                                                 static_cast<std::uint32_t>(r.data.size()),
                                                 r.uniqueId, r.attributes});
        bytes.insert(bytes.end(), r.data.begin(), r.data.end());
      }
      image.bytes = std::make_unique<std::uint8_t[]>(bytes.size());
      std::copy(bytes.begin(), bytes.end(), image.bytes.get());
      image.size = bytes.size();
      return StatusOk;
    };
  }
};

TEST_F(HandheldTest, RecordsKeptInAFileAreServedFromItWhileOpenAndLetGoOnTheLastClose) {
  KeptInAFile kept{{RecordOf({1, 2}, 7, host::kRecordDirty | 3), RecordOf({3}, 8, 0x80)}};
  h.Add(TaskDb("A"));
  h.slots[0].source = kept.Source();

  const std::uint8_t first = OpenOrFail("A", ModeRead);
  const std::uint8_t second = OpenOrFail("A", ModeRead);
  EXPECT_EQ(kept.loads, 1);
  EXPECT_TRUE(h.slots[0].db.records.empty());  // served from the file, not copied
  RecordTransfer t{};
  kestrel::RecordBuffer buffer(t, 4);
  std::memset(RecordBufferData(t), 0xAA, 4);
  t.handle = second;
  struct Read {
    std::uint16_t index;
    std::vector<std::uint8_t> buffer;  // a short record leaves the bytes after it
    std::uint32_t id, size;
    std::uint8_t attributes, category;
  };
  for (const Read& r : {Read{0, {1, 2, 0xAA, 0xAA}, 7, 2, host::kRecordDirty, 3},
                        Read{1, {3, 2, 0xAA, 0xAA}, 8, 1, 0x80, 0}}) {
    t.recordIndex = r.index;
    ASSERT_EQ(h.Read(&t), StatusOk) << r.index;
    EXPECT_EQ(std::vector<std::uint8_t>(RecordBufferData(t), RecordBufferData(t) + 4), r.buffer);
    EXPECT_EQ(std::uint32_t{t.recordId}, r.id);
    EXPECT_EQ(std::uint32_t{t.recordSize}, r.size);
    EXPECT_EQ(std::uint8_t{t.attributes}, r.attributes);
    EXPECT_EQ(std::uint16_t{t.category}, r.category);
  }
  t.recordIndex = 2;
  EXPECT_EQ(h.Read(&t), StatusNotFound);
  RecordTransfer tooSmall{};
  kestrel::RecordBuffer small(tooSmall, 1);
  tooSmall.handle = second;
  EXPECT_EQ(h.Read(&tooSmall), host::kStatusTooLarge);

  EXPECT_EQ(h.Close(first), StatusOk);
  EXPECT_NE(h.slots[0].image, nullptr);  // still open once
  EXPECT_EQ(h.Close(second), StatusOk);
  EXPECT_EQ(h.slots[0].image, nullptr);

  OpenOrFail("A", ModeRead);
  EXPECT_EQ(kept.loads, 2);
  EXPECT_FALSE(h.slots[0].changed);
}

TEST_F(HandheldTest, WritingMovesTheRecordsOutOfTheFile) {
  KeptInAFile kept{{RecordOf({1, 2}, 7), RecordOf({3}, 9, 0x80)}};
  h.Add(TaskDb("A")).uniqueIdSeed = 6;
  h.slots[0].source = kept.Source();
  const std::uint8_t reader = OpenOrFail("A", ModeRead);
  const std::uint8_t handle = OpenOrFail("A", ModeReadWrite);
  RecordTransfer t{};
  kestrel::RecordBuffer buffer(t, 16);
  t.handle = handle;
  t.recordSize = 1;
  RecordBufferData(t)[0] = 5;
  ASSERT_EQ(h.Write(&t), StatusOk);
  EXPECT_EQ(std::uint32_t{t.recordId}, 8u);  // the seed's next free ID
  EXPECT_EQ(h.Close(handle), StatusOk);
  EXPECT_EQ(h.slots[0].db.records,
            (std::vector<host::Record>{kept.records[0], kept.records[1],
                                       RecordOf({5}, 8, host::kRecordDirty)}));
  EXPECT_TRUE(h.slots[0].changed);
  EXPECT_FALSE(h.slots[0].source);
  EXPECT_EQ(h.slots[0].image, nullptr);
  // The handle still open reads the records where they now are.
  t.handle = reader;
  t.recordIndex = 2;
  ASSERT_EQ(h.Read(&t), StatusOk);
  EXPECT_EQ(std::uint32_t{t.recordId}, 8u);
  EXPECT_EQ(h.Close(reader), StatusOk);
  EXPECT_EQ(h.slots[0].db.records.size(), 3u);
  EXPECT_EQ(kept.loads, 1);
}

TEST_F(HandheldTest, ClearingDropsTheRecordsOfTheFileWithoutMakingThem) {
  KeptInAFile kept{{RecordOf({1, 2}, 7)}};
  for (const char* name : {"Full", "Empty"}) {
    h.Add(TaskDb(name));
    h.slots.back().source = kept.Source();
  }
  KeptInAFile none;
  h.slots[1].source = none.Source();
  for (const char* name : {"Full", "Empty"}) {
    const std::uint8_t handle = OpenOrFail(name, ModeReadWrite);
    ASSERT_EQ(h.Clear(handle), StatusOk);
    EXPECT_EQ(h.Close(handle), StatusOk);
  }
  for (const auto& slot : h.slots) {
    EXPECT_TRUE(slot.db.records.empty()) << slot.db.name;
    EXPECT_FALSE(slot.source) << slot.db.name;
    EXPECT_EQ(slot.image, nullptr) << slot.db.name;
  }
  // Only a database that held records has changed.
  EXPECT_TRUE(h.slots[0].changed);
  EXPECT_EQ(h.slots[0].db.modificationNumber, 1u);
  EXPECT_FALSE(h.slots[1].changed);
  EXPECT_EQ(h.slots[1].db.modificationNumber, 0u);
}

TEST_F(HandheldTest, RecordsThatCannotBeReadFailTheOpen) {
  KeptInAFile kept;
  kept.status = host::kStatusUnreadable;
  h.Add(TaskDb("A"));
  h.slots[0].source = kept.Source();
  std::uint8_t handle = 0;
  EXPECT_EQ(h.Open("A", &handle, ModeRead), host::kStatusUnreadable);
  EXPECT_EQ(handle, 0);
  EXPECT_TRUE(h.OpenDatabases().empty());
  EXPECT_TRUE(h.journal.empty());
  EXPECT_EQ(h.HoldRecords(h.slots[0]), host::kStatusUnreadable);

  kept.status = StatusOk;
  kept.records = {RecordOf({4}, 3)};
  OpenOrFail("A", ModeRead);
  EXPECT_EQ(kept.loads, 3);
  EXPECT_EQ(h.HoldRecords(h.slots[0]), StatusOk);
  EXPECT_EQ(kept.loads, 3);  // taken from the open database's image
  EXPECT_EQ(h.slots[0].db.records, kept.records);
  EXPECT_FALSE(h.slots[0].source);
  EXPECT_FALSE(h.slots[0].changed);
}

}  // namespace
