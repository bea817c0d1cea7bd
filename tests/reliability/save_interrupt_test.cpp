// SPDX-License-Identifier: MIT
// A save of the handheld folder that stops between writing the new files and
// renaming them over the old ones: the process dies there, or a rename fails
// half way. Every database file is then either the old one or the new one,
// whole, and the next sync starts from what is in place.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <system_error>
#include <vector>

#include "driver/file_names.h"
#include "handheld_folder/handheld_folder.h"
#include "handheld_folder/handheld_folder_save.h"
#include "handheld_folder/pdb_file.h"
#include "tests/conduit_fixture.h"

namespace kestrel::testing {
namespace {

namespace fs = std::filesystem;
using Snapshot = std::map<std::string, std::string>;

const fs::path kSampleHandheld = fs::path(KESTREL_ROOT_DIR) / "samples" / "handheld";

Snapshot Snap(const fs::path& folder) {
  Snapshot files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    files[entry.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

// Loads a handheld folder with every database's records held in memory, so
// that they can be changed and compared.
bool LoadWhole(const fs::path& folder, host::Handheld& handheld, std::string* error) {
  if (!handheld_folder::LoadHandheldFolder(folder, handheld, error)) return false;
  for (auto& slot : handheld.slots) {
    if (handheld.HoldRecords(slot) != StatusOk) {
      *error = slot.fileName + ": records cannot be read";
      return false;
    }
  }
  return true;
}

// The same files, each new file of a save named "NAME.*.kestrel-new"
// instead of by its unique part.
Snapshot WithNewFilesNamedAlike(const Snapshot& files) {
  static const std::regex kNewFile(R"((.*)\.[0-9a-f]{16}\.kestrel-new)");
  Snapshot named;
  for (const auto& [name, bytes] : files) {
    std::smatch match;
    named[std::regex_match(name, match, kNewFile) ? match[1].str() + ".*.kestrel-new" : name] =
        bytes;
  }
  return named;
}

std::string Saved(const host::Database& db) {
  const auto bytes = handheld_folder::SavePdb(db, nullptr);
  return bytes ? std::string(bytes->begin(), bytes->end()) : "<cannot be saved>";
}

class InterruptedSave : public ::testing::Test {
 protected:
  InterruptedSave() : folder_(temp_.Path()) {
    for (const auto& entry : fs::directory_iterator(kSampleHandheld)) {
      fs::copy_file(entry.path(), folder_ / entry.path().filename());
    }
    before_ = Snap(folder_);
  }

  // Loads the folder and changes three databases as a sync might: KestrelDB
  // refilled, a record added to "Website Relaunch" (Website.pdb), and a new
  // database "Fresh Plan".
  void LoadAndChange(host::Handheld& handheld) {
    std::string error;
    ASSERT_TRUE(LoadWhole(folder_, handheld, &error)) << error;
    host::Slot* kestrel = handheld.Find("KestrelDB");
    host::Slot* website = handheld.Find("Website Relaunch");
    ASSERT_TRUE(kestrel != nullptr && website != nullptr);
    kestrel->db.records = {Live(TaskBytes({.id = 1, .name = "New one"}))};
    kestrel->changed = true;
    website->db.records.push_back(Live(TaskBytes({.id = 9, .name = "Added"})));
    website->changed = true;
    host::Database fresh;
    fresh.name = "Fresh Plan";
    fresh.type = kTypeData;
    fresh.creator = kCreatorTkpl;
    fresh.records = {Live(TaskBytes({.id = 5, .name = "First"}))};
    host::Slot created;  // as a sync creates it: no file yet
    created.db = fresh;
    created.changed = true;
    newKestrel_ = Saved(kestrel->db);
    newWebsite_ = Saved(website->db);
    newFresh_ = Saved(fresh);
    handheld.slots.push_back(std::move(created));  // kestrel and website may move
  }

  TempFolder temp_;
  fs::path folder_;
  Snapshot before_;
  std::string newKestrel_, newWebsite_, newFresh_;
};

TEST_F(InterruptedSave, DyingBeforeTheFirstRenameLeavesEveryOldFileAndTheNextSyncStartsFromThem) {
  host::Handheld handheld;
  LoadAndChange(handheld);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::string error;
    handheld_folder::SaveHandheldFolder(
        folder_, handheld, BackupStem, &error,
        [](const fs::path&, const fs::path&, std::error_code&) { ::_exit(3); });
    ::_exit(4);  // the save went past its renames
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << "status " << status;

  // The old files untouched; the new ones whole beside them, each under a
  // name of its own.
  Snapshot expected = before_;
  expected["KestrelDB.pdb.*.kestrel-new"] = newKestrel_;
  expected["Website.pdb.*.kestrel-new"] = newWebsite_;
  expected["Fresh Plan.pdb.*.kestrel-new"] = newFresh_;
  EXPECT_EQ(WithNewFilesNamedAlike(Snap(folder_)), expected);

  // The next sync loads the old databases, none of the leftovers...
  host::Handheld fresh;
  std::string error;
  ASSERT_TRUE(LoadWhole(folder_, fresh, &error)) << error;
  host::Handheld original;
  ASSERT_TRUE(LoadWhole(kSampleHandheld, original, &error)) << error;
  ASSERT_EQ(fresh.slots.size(), original.slots.size());
  for (std::size_t i = 0; i < fresh.slots.size(); ++i) {
    EXPECT_EQ(fresh.slots[i].db, original.slots[i].db) << fresh.slots[i].fileName;
  }

  // ...and its save removes every leftover before it writes its own files.
  host::Handheld again;
  LoadAndChange(again);
  ASSERT_TRUE(handheld_folder::SaveHandheldFolder(folder_, again, BackupStem, &error)) << error;
  expected = before_;
  expected["KestrelDB.pdb"] = newKestrel_;
  expected["Website.pdb"] = newWebsite_;
  expected["Fresh Plan.pdb"] = newFresh_;
  EXPECT_EQ(Snap(folder_), expected);
}

TEST_F(InterruptedSave, ARenameFailingHalfWayLeavesEachFileOldOrNewAndASecondSaveFinishes) {
  host::Handheld handheld;
  LoadAndChange(handheld);
  int renames = 0;
  std::string error;
  EXPECT_FALSE(handheld_folder::SaveHandheldFolder(
      folder_, handheld, BackupStem, &error,
      [&renames](const fs::path& from, const fs::path& to, std::error_code& ec) {
        if (++renames == 2) {
          ec = std::make_error_code(std::errc::io_error);
        } else {
          fs::rename(from, to, ec);
        }
      }));
  EXPECT_EQ(error, (folder_ / "Website.pdb").string() + ": cannot replace: Input/output error");
  Snapshot expected = before_;
  expected["KestrelDB.pdb"] = newKestrel_;  // renamed before the failure
  EXPECT_EQ(Snap(folder_), expected);

  // What was saved is no longer marked changed; saving again puts the rest.
  ASSERT_TRUE(handheld_folder::SaveHandheldFolder(folder_, handheld, BackupStem, &error)) << error;
  expected["Website.pdb"] = newWebsite_;
  expected["Fresh Plan.pdb"] = newFresh_;
  EXPECT_EQ(Snap(folder_), expected);
}

}  // namespace
}  // namespace kestrel::testing
