// SPDX-License-Identifier: MIT
#include "handheld_folder/handheld_folder.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "handheld_folder/folder_test_support.h"
#include "handheld_folder/handheld_folder_save.h"
#include "handheld_folder/pdb_file.h"

namespace kestrel::handheld_folder {
namespace {

namespace fs = std::filesystem;

std::string SameName(std::string_view name) { return std::string(name); }

class HandheldFolder : public ScratchFolderTest {};

TEST_F(HandheldFolder, LoadsDatabaseFilesInByteOrderOfTheirNames) {
  Put("beta.pdb", FileBytes(TaskDb("Beta")));
  Put("Zeta.pdb", FileBytes(TaskDb("Zeta")));
  Put("alpha.PRC", FileBytes(TaskDb("Alpha")));
  Put("Beta2.Pdb", FileBytes(TaskDb("Beta2", {host::Record{0x41, 9, {1, 2}}})));
  Put("notes.txt", {1, 2, 3});
  Put("Gamma.pdb" + std::string(kNewFileSuffix), {1, 2, 3});
  fs::create_directory(dir_ / "attic");

  host::Handheld h;
  std::string error;
  ASSERT_TRUE(LoadHandheldFolder(dir_, h, &error)) << error;
  std::vector<std::string> order;
  for (const auto& slot : h.slots) {
    order.push_back(slot.fileName + "=" + slot.db.name);
    EXPECT_FALSE(slot.changed);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"Beta2.Pdb=Beta2", "Zeta.pdb=Zeta", "alpha.PRC=Alpha",
                                             "beta.pdb=Beta"}));
  EXPECT_TRUE(h.slots[0].db.records.empty());  // kept in the file until opened
  ASSERT_EQ(h.HoldRecords(h.slots[0]), StatusOk);
  EXPECT_EQ(h.slots[0].db.records, (std::vector<host::Record>{host::Record{0x41, 9, {1, 2}}}));
}

TEST_F(HandheldFolder, RefusesAFolderItCannotUse) {
  Put("b.pdb", FileBytes(TaskDb("Tasks")));
  Put("c.pdb", {1, 2, 3});
  Put("a.pdb", FileBytes(TaskDb("Tasks")));
  struct Case {
    fs::path folder;
    std::string message;
  };
  const std::vector<Case> cases = {
      {dir_ / "missing", Path("missing") + ": no such folder"},
      {dir_ / "a.pdb", Path("a.pdb") + ": not a folder"},
      {dir_, Path("b.pdb") + ": holds the database \"Tasks\" as " + Path("a.pdb") + " does"},
  };
  for (const auto& c : cases) {
    host::Handheld h;
    std::string error;
    EXPECT_FALSE(LoadHandheldFolder(c.folder, h, &error));
    EXPECT_EQ(error, c.message);
    EXPECT_TRUE(h.slots.empty());
  }

  fs::remove(dir_ / "b.pdb");
  host::Handheld h;
  std::string error;
  EXPECT_FALSE(LoadHandheldFolder(dir_, h, &error));
  EXPECT_EQ(error, Path("c.pdb") + ": file too short: 3 bytes, a header needs 78");

  fs::remove(dir_ / "c.pdb");
  fs::create_directory(dir_ / "d.pdb");
  EXPECT_FALSE(LoadHandheldFolder(dir_, h, &error));
  EXPECT_EQ(error, Path("d.pdb") + ": not a regular file");
  EXPECT_TRUE(h.slots.empty());
}

// Opens a database as the conduit would; 0 when the open failed.
std::uint8_t OpenDb(host::Handheld& h, const char* name, std::uint8_t mode,
                    Status* status = nullptr) {
  std::uint8_t handle = 0;
  const Status s = h.Open(name, &handle, mode);
  if (status != nullptr) *status = s;
  return handle;
}

TEST_F(HandheldFolder, RecordsStayInTheirFilesUntilOpened) {
  const std::vector<host::Record> alpha = {host::Record{0x40, 1, {1, 2}},
                                           host::Record{0x80, 2, {}}};
  Put("a.pdb", FileBytes(TaskDb("Alpha", alpha)));
  Put("b.pdb", FileBytes(TaskDb("Beta", {host::Record{0, 3, {3}}})));

  host::Handheld h;
  std::string error;
  ASSERT_TRUE(LoadHandheldFolder(dir_, h, &error)) << error;
  ASSERT_EQ(h.slots.size(), 2u);
  EXPECT_EQ(h.slots[0].db, TaskDb("Alpha"));
  EXPECT_EQ(h.slots[1].db, TaskDb("Beta"));

  const std::uint8_t handle = OpenDb(h, "Alpha", ModeRead);
  ASSERT_NE(handle, 0);
  ASSERT_NE(h.slots[0].image, nullptr);
  EXPECT_EQ(h.slots[0].image->size, Get("a.pdb").size());  // the file once, whole
  EXPECT_EQ(h.slots[1].image, nullptr);
  EXPECT_EQ(h.HoldRecords(h.slots[0]), StatusOk);
  EXPECT_EQ(h.slots[0].db.records, alpha);
  EXPECT_EQ(h.Close(handle), StatusOk);

  // A database written to keeps its records and is saved whole.
  const std::uint8_t rw = OpenDb(h, "Beta", ModeReadWrite);
  ASSERT_EQ(h.Clear(rw), StatusOk);
  EXPECT_EQ(h.Close(rw), StatusOk);
  ASSERT_TRUE(SaveHandheldFolder(dir_, h, SameName, &error)) << error;
  EXPECT_EQ(Get("b.pdb"), FileBytes(h.slots[1].db));
  EXPECT_TRUE(h.slots[1].db.records.empty());
  EXPECT_EQ(h.slots[1].db.modificationNumber, 1u);
  EXPECT_EQ(Get("a.pdb"), FileBytes(TaskDb("Alpha", alpha)));
}

// A file that changes between the load and the open of its database fails
// the open, and says why.
TEST_F(HandheldFolder, ReportsAFileThatChangedMeanwhile) {
  std::vector<std::string> names = {"Alpha", "Beta", "Gamma", "Delta", "Eps"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    const auto id = static_cast<std::uint32_t>(i + 1);
    Put(std::string(1, static_cast<char>('a' + i)) + ".pdb",
        FileBytes(TaskDb(names[i], {host::Record{0, id, {static_cast<std::uint8_t>(id)}}})));
  }
  host::Handheld h;
  std::string error;
  auto late = std::make_shared<std::vector<std::string>>();
  ASSERT_TRUE(LoadHandheldFolder(dir_, h, &error, late)) << error;

  host::Database other = TaskDb("Alpha", {host::Record{0, 1, {1}}});
  other.version = 2;
  Put("a.pdb", FileBytes(other));
  Put("b.pdb", {1, 2, 3});
  fs::remove(dir_ / "c.pdb");
  // Grown past what a Palm database can be: refused without being read.
  fs::resize_file(dir_ / "e.pdb", std::uintmax_t{1} << 32);
  std::vector<std::string> expected = {
      Path("a.pdb") + ": changed since the sync began",
      Path("b.pdb") + ": file too short: 3 bytes, a header needs 78",
      Path("c.pdb") + ": cannot read: ",  // and the system's reason
      Path("e.pdb") + ": file too large: 4294967296 bytes, a Palm database holds at most " +
          "4294967295",
  };
#ifndef _WIN32
  // A FIFO put in its place is refused at once, not waited on.
  fs::remove(dir_ / "d.pdb");
  ASSERT_EQ(::mkfifo(Path("d.pdb").c_str(), 0600), 0);
  expected.insert(expected.begin() + 3, Path("d.pdb") + ": not a regular file");
#else
  names.erase(names.begin() + 3);
#endif
  for (const auto& name : names) {
    Status status = StatusOk;
    EXPECT_EQ(OpenDb(h, name.c_str(), ModeRead, &status), 0) << name;
    EXPECT_EQ(status, host::kStatusUnreadable) << name;
  }
  ASSERT_EQ(late->size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const std::string& message = (*late)[i];
    EXPECT_EQ(i == 2 ? message.substr(0, expected[i].size()) : message, expected[i]);
  }
  EXPECT_GT((*late)[2].size(), expected[2].size());
  EXPECT_TRUE(h.OpenDatabases().empty());
}

}  // namespace
}  // namespace kestrel::handheld_folder
