// The simulated handheld answers the eight operations as a device would.
#include "sim/handheld.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "handheld/record_buffer.h"

namespace {

sim::Database TaskDb(const char* name, std::vector<sim::Record> records = {}) {
  sim::Database db;
  db.name = name;
  db.type = kTypeData;
  db.creator = kCreatorTkpl;
  db.records = std::move(records);
  return db;
}

sim::Record RecordOf(std::vector<std::uint8_t> data, std::uint32_t id,
                     std::uint8_t attributes = 0) {
  return sim::Record{attributes, id, std::move(data)};
}

class HandheldTest : public testing::Test {
 protected:
  std::uint8_t OpenOrFail(const char* name, std::uint8_t mode) {
    std::uint8_t handle = 0;
    EXPECT_EQ(h.Open(name, &handle, mode), StatusOk);
    EXPECT_NE(handle, 0);
    return handle;
  }
  sim::Handheld h;
};

TEST_F(HandheldTest, HandlesAreRefusedAfterClose) {
  h.Add(TaskDb("A"));
  const std::uint8_t handle = OpenOrFail("A", ModeRead);
  EXPECT_EQ(h.OpenDatabases(), std::vector<std::string>{"A"});
  EXPECT_EQ(h.Close(handle), StatusOk);
  EXPECT_EQ(h.Close(handle), sim::kStatusBadHandle);
  EXPECT_EQ(h.Clear(handle), sim::kStatusBadHandle);
  EXPECT_TRUE(h.OpenDatabases().empty());
  EXPECT_EQ(h.journal, (std::vector<std::string>{"open A r", "close A"}));

  std::uint8_t missing = 0;
  EXPECT_EQ(h.Open("B", &missing, ModeRead), StatusNotFound);
  EXPECT_EQ(missing, 0);
}

// Opened read-only, or a database with the read-only attribute opened for
// writing: either way the device refuses to clear or write it.
TEST_F(HandheldTest, ReadOnlyOpenOrDatabaseRefusesWritesAndClears) {
  sim::Database locked = TaskDb("B", {RecordOf({3, 4}, 8)});
  locked.attributes = sim::kDbReadOnly;
  h.Add(TaskDb("A", {RecordOf({1, 2}, 7)}));
  h.Add(locked);
  for (const auto& [name, mode] : {std::pair{"A", ModeRead}, std::pair{"B", ModeReadWrite}}) {
    RecordTransfer t{};
    kestrel::RecordBuffer buffer(t, 16);
    t.handle = OpenOrFail(name, mode);
    t.recordSize = 2;
    EXPECT_EQ(h.Write(&t), sim::kStatusReadOnly) << name;
    EXPECT_EQ(h.Clear(t.handle), sim::kStatusReadOnly) << name;
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
  EXPECT_EQ(h.Read(&t), sim::kStatusTooLarge);
  t.recordIndex = 2;
  EXPECT_EQ(h.Read(&t), StatusNotFound);
}

TEST_F(HandheldTest, WritesGetFreshUniqueIdsAndTheDirtyBit) {
  sim::Database db = TaskDb("A", {RecordOf({1}, 2)});
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

  const sim::Slot& slot = *h.Find("A");
  ASSERT_EQ(slot.db.records.size(), 3u);
  EXPECT_EQ(slot.db.records[1], RecordOf({0x11, 0x22}, 3, sim::kRecordDirty | 3));
  EXPECT_EQ(slot.db.modificationNumber, 12u);
  EXPECT_EQ(slot.db.modificationDate, 3000000000u);
  EXPECT_TRUE(slot.changed);
}

TEST_F(HandheldTest, CreateRefusesAnExistingNameAndOpensTheNewDatabase) {
  h.Add(TaskDb("A"));
  NewDatabaseSpec newDb{};
  std::strcpy(newDb.name, "A");
  EXPECT_EQ(h.Create(&newDb), sim::kStatusExists);

  std::strcpy(newDb.name, "KestrelDB");
  newDb.type = kTypeData;
  newDb.creator = kCreatorTkpl;
  newDb.flags = 8;
  ASSERT_EQ(h.Create(&newDb), StatusOk);
  EXPECT_NE(newDb.handle, 0);
  const sim::Slot& slot = *h.Find("KestrelDB");
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

// A slot whose records are kept elsewhere: the loader counts its calls and
// fills in `records`, or answers `status`.
struct KeptElsewhere {
  std::vector<sim::Record> records;
  Status status = StatusOk;
  int loads = 0;

  sim::EntryLoader Loader() {
    return [this](sim::Database& db) {
      ++loads;
      if (status != StatusOk) return status;
      db.records = records;
      return StatusOk;
    };
  }
};

TEST_F(HandheldTest, EntriesKeptElsewhereAreReadOnOpenAndLetGoOnTheLastClose) {
  KeptElsewhere kept{{RecordOf({1, 2}, 7), RecordOf({3}, 8)}};
  h.Add(TaskDb("A"));
  h.slots[0].loadEntries = kept.Loader();
  EXPECT_TRUE(h.slots[0].db.records.empty());

  const std::uint8_t first = OpenOrFail("A", ModeRead);
  const std::uint8_t second = OpenOrFail("A", ModeRead);
  EXPECT_EQ(kept.loads, 1);
  EXPECT_EQ(h.slots[0].db.records, kept.records);
  RecordTransfer t{};
  kestrel::RecordBuffer buffer(t, 16);
  t.handle = second;
  t.recordIndex = 1;
  ASSERT_EQ(h.Read(&t), StatusOk);
  EXPECT_EQ(RecordBufferData(t)[0], 3);

  EXPECT_EQ(h.Close(first), StatusOk);
  EXPECT_EQ(h.slots[0].db.records, kept.records);  // still open once
  EXPECT_EQ(h.Close(second), StatusOk);
  EXPECT_TRUE(h.slots[0].db.records.empty());

  OpenOrFail("A", ModeRead);
  EXPECT_EQ(kept.loads, 2);
}

TEST_F(HandheldTest, AChangedDatabaseKeepsItsEntriesAfterClose) {
  KeptElsewhere kept{{RecordOf({1, 2}, 7)}};
  h.Add(TaskDb("A"));
  h.slots[0].loadEntries = kept.Loader();
  const std::uint8_t handle = OpenOrFail("A", ModeReadWrite);
  RecordTransfer t{};
  kestrel::RecordBuffer buffer(t, 16);
  t.handle = handle;
  t.recordSize = 1;
  ASSERT_EQ(h.Write(&t), StatusOk);
  EXPECT_EQ(h.Close(handle), StatusOk);
  ASSERT_EQ(h.slots[0].db.records.size(), 2u);
  EXPECT_EQ(h.slots[0].db.records[0], kept.records[0]);
  EXPECT_TRUE(h.slots[0].changed);
}

TEST_F(HandheldTest, EntriesThatCannotBeReadFailTheOpen) {
  KeptElsewhere kept;
  kept.status = sim::kStatusUnreadable;
  h.Add(TaskDb("A"));
  h.slots[0].loadEntries = kept.Loader();
  std::uint8_t handle = 0;
  EXPECT_EQ(h.Open("A", &handle, ModeRead), sim::kStatusUnreadable);
  EXPECT_EQ(handle, 0);
  EXPECT_TRUE(h.OpenDatabases().empty());
  EXPECT_TRUE(h.journal.empty());

  kept.status = StatusOk;
  OpenOrFail("A", ModeRead);
  EXPECT_EQ(kept.loads, 2);
}

}  // namespace
