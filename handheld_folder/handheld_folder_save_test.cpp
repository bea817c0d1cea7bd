// SPDX-License-Identifier: MIT
// Writing a handheld folder back: only what changed, under safe new names,
// leftovers of a stopped save removed, and one sync per folder.
#include "handheld_folder/handheld_folder_save.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "handheld_folder/file_sync.h"
#include "handheld_folder/folder_lock.h"
#include "handheld_folder/folder_test_support.h"
#include "handheld_folder/handheld_folder.h"
#include "handheld_folder/pdb_file.h"

namespace kestrel::handheld_folder {
namespace {

namespace fs = std::filesystem;
#ifdef _WIN32
constexpr bool kLinks = false;  // no symbolic links for the tests to make there
constexpr char kExists[] = "cannot create the new file: system error 80";  // ERROR_FILE_EXISTS
#else
constexpr bool kLinks = true;
constexpr char kExists[] = "cannot create the new file: File exists";
#endif

// A naming rule of the test's own: "/" and ":" become "_".
std::string Stem(std::string_view name) {
  std::string stem(name);
  std::replace_if(
      stem.begin(), stem.end(), [](char c) { return c == '/' || c == ':'; }, '_');
  return stem;
}

class HandheldFolderSave : public ScratchFolderTest {};

TEST_F(HandheldFolderSave, SavesOnlyWhatChangedAndKeepsTheRest) {
  Bytes odd = FileBytes(TaskDb("Other"));
  odd[78] = 0xEE;  // a gap that is not two zeros: kept since never rewritten
  Put("other.pdb", odd);
  Put("tasks.pdb", FileBytes(TaskDb("Tasks", {host::Record{0x80, 1, {}}})));
  auto age = [this](const std::string& name) {
    fs::last_write_time(dir_ / name, fs::file_time_type::clock::now() - std::chrono::hours(24));
    return fs::last_write_time(dir_ / name);
  };
  const auto old = age("other.pdb");

  host::Handheld h;
  std::string error;
  ASSERT_TRUE(LoadHandheldFolder(dir_, h, &error)) << error;
  host::Slot& tasks = h.slots[1];
  tasks.db.records = {host::Record{0x40, 7, {'x'}}};
  tasks.changed = true;
  ASSERT_TRUE(SaveHandheldFolder(dir_, h, Stem, &error)) << error;

  EXPECT_EQ(Get("tasks.pdb"), FileBytes(tasks.db));
  EXPECT_FALSE(tasks.changed);
  EXPECT_EQ(Get("other.pdb"), odd);
  EXPECT_EQ(fs::last_write_time(dir_ / "other.pdb"), old);
  EXPECT_EQ(Names(), (std::vector<std::string>{"other.pdb", "tasks.pdb"}));

  // Nothing changed since: a second save writes nothing.
  const auto saved = age("tasks.pdb");
  ASSERT_TRUE(SaveHandheldFolder(dir_, h, Stem, &error)) << error;
  EXPECT_EQ(fs::last_write_time(dir_ / "tasks.pdb"), saved);
}

TEST_F(HandheldFolderSave, ACreatedDatabaseIsNamedByTheGivenRuleAndTakesAFreeName) {
  Put("kestreldb.PDB", FileBytes(TaskDb("Not the one")));
  Put("KestrelDB-2.pdb", FileBytes(TaskDb("Nor this one")));
  host::Handheld h;
  std::string error;
  ASSERT_TRUE(LoadHandheldFolder(dir_, h, &error)) << error;
  h.slots.push_back(host::Slot{TaskDb("KestrelDB", {host::Record{0x40, 1, {1}}}), "", true});
  h.slots.push_back(host::Slot{TaskDb("a/b:c"), "", true});
  ASSERT_TRUE(SaveHandheldFolder(dir_, h, Stem, &error)) << error;

  EXPECT_EQ(h.slots[2].fileName, "KestrelDB-3.pdb");
  EXPECT_EQ(Get("KestrelDB-3.pdb"), FileBytes(h.slots[2].db));
  EXPECT_EQ(h.slots[3].fileName, "a_b_c.pdb");
  EXPECT_EQ(Get("a_b_c.pdb"), FileBytes(h.slots[3].db));

  host::Handheld again;
  ASSERT_TRUE(LoadHandheldFolder(dir_, again, &error)) << error;
  EXPECT_EQ(again.slots.size(), 4u);
}

// What a killed save left is removed, through no link and never a folder;
// the link's target is not touched.
TEST_F(HandheldFolderSave, LeftoversOfAStoppedSaveAreRemovedAndNeverFollowed) {
  const Bytes a = FileBytes(TaskDb("A", {host::Record{0, 1, {1}}}));
  Put("a.pdb", a);
  Put("a.pdb.kestrel-new", {1, 2, 3});
  Put("a.pdb.0123456789abcdef.kestrel-new", {4, 5});
  const fs::path outside = dir_.string() + "-outside";
  { std::ofstream(outside) << "keep"; }
  if (kLinks) {
    fs::create_symlink(outside, dir_ / "b.pdb.kestrel-new");
  }
  fs::create_directory(dir_ / "c.pdb.kestrel-new");

  host::Handheld h;
  std::string error;
  ASSERT_TRUE(LoadHandheldFolder(dir_, h, &error)) << error;
  h.slots[0].db.records.clear();
  h.slots[0].changed = true;
  ASSERT_TRUE(SaveHandheldFolder(dir_, h, Stem, &error)) << error;
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.pdb", "c.pdb.kestrel-new"}));
  EXPECT_EQ(Get("a.pdb"), FileBytes(h.slots[0].db));
  EXPECT_EQ(Get(outside), (Bytes{'k', 'e', 'e', 'p'}));
  fs::remove(outside);
}

TEST_F(HandheldFolderSave, ANewFileIsNeverAnExistingFileOrLink) {
  const Bytes old = {9, 9};
  Put("taken", old);
  const fs::path outside = dir_.string() + "-target";
  { std::ofstream(outside) << "keep"; }
  std::vector<const char*> names = {"taken"};
  if (kLinks) {
    fs::create_symlink(outside, dir_ / "link");
    names.push_back("link");
  }
  for (const char* name : names) {
    std::string error;
    bool exists = false;
    EXPECT_FALSE(WriteNewFile(dir_ / name, Bytes{1, 2, 3}, &error, &exists)) << name;
    EXPECT_TRUE(exists) << name;
    EXPECT_EQ(error, kExists) << name;
  }
  EXPECT_EQ(Get("taken"), old);
  EXPECT_EQ(Get(outside), (Bytes{'k', 'e', 'e', 'p'}));
  fs::remove(outside);

  std::string error;
  bool exists = true;
  ASSERT_TRUE(WriteNewFile(dir_ / "fresh", Bytes{1, 2, 3}, &error, &exists)) << error;
  EXPECT_FALSE(exists);
  EXPECT_EQ(Get("fresh"), (Bytes{1, 2, 3}));
}

TEST_F(HandheldFolderSave, ADatabaseNoFileCanHoldIsRefusedBeforeAnythingIsWritten) {
  const Bytes a = FileBytes(TaskDb("A", {host::Record{0, 1, {1}}}));
  const Bytes b = FileBytes(TaskDb("B", {host::Record{0, 2, {2}}}));
  Put("a.pdb", a);
  Put("b.pdb", b);
  host::Handheld h;
  std::string error;
  ASSERT_TRUE(LoadHandheldFolder(dir_, h, &error)) << error;
  for (auto& slot : h.slots) {
    slot.db.records.clear();
    slot.changed = true;
  }
  h.slots[1].db.name = std::string(40, 'B');
  EXPECT_FALSE(SaveHandheldFolder(dir_, h, Stem, &error));
  EXPECT_EQ(error, Path("b.pdb") + ": cannot be saved: database name \"" + std::string(40, 'B') +
                       "\" is longer than 31 characters");
  EXPECT_EQ(Get("a.pdb"), a);
  EXPECT_EQ(Get("b.pdb"), b);
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.pdb", "b.pdb"}));
  EXPECT_TRUE(h.slots[0].changed && h.slots[1].changed);
}

TEST_F(HandheldFolderSave, OneLockPerFolder) {
  FolderLock first;
  FolderLock second;
  std::string error;
  ASSERT_EQ(first.Lock(dir_, &error), FolderLock::Result::Locked) << error;
  EXPECT_EQ(second.Lock(dir_, &error), FolderLock::Result::Busy);
  first.Release();
  EXPECT_EQ(second.Lock(dir_, &error), FolderLock::Result::Locked) << error;

  FolderLock other;
  EXPECT_EQ(other.Lock(dir_ / "missing", &error), FolderLock::Result::Failed);
  EXPECT_EQ(error, "no such folder");
  Put("file", {1});
  EXPECT_EQ(other.Lock(dir_ / "file", &error), FolderLock::Result::Failed);
  EXPECT_EQ(error, "not a folder");
}

}  // namespace
}  // namespace kestrel::handheld_folder
