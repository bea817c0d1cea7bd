// SPDX-License-Identifier: MIT
// The backup history as a user sees it, through the kestrel-sync command on
// the sample handheld: what the data folder holds after a few syncs in a
// row, with the exit status of each. Generation names carry the time of the
// sync, so these tests compare what the history holds, not its names (the
// names and their order have tests through OpenConduit with a set clock).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "handheld_folder/pdb_file.h"
#include "tests/conduit_fixture.h"
#include "tests/reliability/run_command.h"
#include "tests/reliability/test_files.h"
#include "tests/test_constants.h"

namespace kestrel::testing {
namespace {

namespace fs = std::filesystem;


// The files of a history folder, by name.
std::map<std::string, std::string> FilesIn(const fs::path& folder) {
  std::map<std::string, std::string> files;
  if (!fs::is_directory(folder)) return files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    files[entry.path().filename().string()] = ReadBytes(entry.path());
  }
  return files;
}

std::multiset<std::string> Contents(const std::map<std::string, std::string>& files) {
  std::multiset<std::string> contents;
  for (const auto& [name, bytes] : files) contents.insert(bytes);
  return contents;
}

// An import file of one task named `name`, and the backup line it gives.
std::string ImportOf(const std::string& name) {
  return "1,Mon 3/2/26,5 days,Fri 3/6/26,,0%," + name + ",Ann\n";
}
std::string BackupOf(const std::string& name) {
  return std::string(kHeader) + "\n1,3/2/2026,5 days,3/6/2026,,0%," + name + ",Ann";
}

// The one file of a history folder, by name; empty when it holds another
// number of files.
std::string OnlyFileIn(const fs::path& folder) {
  const auto files = FilesIn(folder);
  return files.size() == 1 ? files.begin()->first : "";
}

// "2026-12-11 15:15:00 UTC" of a generation named "20261211-151500.csv".
std::string TimeOf(const std::string& generation) {
  return generation.substr(0, 4) + "-" + generation.substr(4, 2) + "-" + generation.substr(6, 2) +
         " " + generation.substr(9, 2) + ":" + generation.substr(11, 2) + ":" +
         generation.substr(13, 2) + " UTC";
}

// The summary's lines that begin with `start` (after the program name).
std::vector<std::string> LinesOf(const std::string& err, const std::string& start) {
  std::vector<std::string> lines;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("kestrel-sync: " + start)) lines.push_back(line);
  }
  return lines;
}

// A task database of one task, as a file of the handheld folder.
void WriteTaskDatabase(const fs::path& file, const std::string& name, const std::string& task) {
  host::Database db;
  db.name = name;
  db.type = kTypeData;
  db.creator = kCreatorTkpl;
  db.records = {Live(TaskBytes({.name = task}))};
  const auto bytes = handheld_folder::SavePdb(db, nullptr);
  ASSERT_TRUE(bytes.has_value());
  WriteBytes(file, std::string(bytes->begin(), bytes->end()));
}

class HistorySync : public ::testing::Test {
 protected:
  HistorySync() {
    fs::create_directory(handheld_);
    fs::create_directory(data_);
    for (const auto& entry : fs::directory_iterator(kRoot / "samples" / "handheld")) {
      fs::copy_file(entry.path(), handheld_ / entry.path().filename());
    }
  }

  // One sync as a user runs it, quiet unless `options` are given; its exit
  // status.
  int Sync(std::vector<std::string> options = {"--quiet"}) {
    options.insert(options.end(), {"--data-folder", data_.string(), handheld_.string()});
    const CommandResult result = RunCommand(KESTREL_SYNC, options, {}, temp_.Path());
    EXPECT_EQ(result.signal, 0);
    lastErr_ = result.err;
    return result.exitStatus;
  }
  fs::path KestrelHistory() const { return data_ / "history" / "backups" / "KestrelDB"; }
  fs::path ImportHistory() const { return data_ / "history" / "imports"; }

  TempFolder temp_;
  fs::path handheld_ = temp_.Path() / "handheld";
  fs::path data_ = temp_.Path() / "data";
  std::string lastErr_;
};

// A sync that changes KestrelDB's tasks keeps the backup it replaces; a
// sync that changes nothing keeps nothing.
TEST_F(HistorySync, TheFirstBackupIsKeptAndIdenticalSyncsKeepNothing) {
  ASSERT_EQ(Sync(), 0);
  ASSERT_EQ(Sync(), 0);
  EXPECT_FALSE(fs::exists(data_ / "history"));

  WriteBytes(data_ / "import.csv", ImportOf("Renovate"));
  ASSERT_EQ(Sync(), 0);  // backs up the sample's tasks, then imports
  fs::remove(data_ / "import.csv");
  ASSERT_EQ(Sync(), 0);  // backs up the imported task
  EXPECT_EQ(ReadBytes(data_ / "KestrelDB.csv"), BackupOf("Renovate"));
  EXPECT_EQ(Contents(FilesIn(KestrelHistory())),
            std::multiset<std::string>{ReadBytes(kExpected / "KestrelDB.csv")});
  EXPECT_EQ(Contents(FilesIn(data_ / "history" / "imports")),
            std::multiset<std::string>{ImportOf("Renovate")});
  ASSERT_EQ(Sync(), 0);
  EXPECT_EQ(FilesIn(KestrelHistory()).size(), 1u);
}

// 25 syncs, each importing other tasks: the 20 newest replaced backups stay
// (each sync's is kept by the next), and the 20 newest imports.
TEST_F(HistorySync, TwentyGenerationsOfChangingSyncs) {
  std::multiset<std::string> backups;
  std::multiset<std::string> imports;
  for (int i = 1; i <= 25; ++i) {
    const std::string name = "Task " + std::to_string(i);
    WriteBytes(data_ / "import.csv", ImportOf(name));
    ASSERT_EQ(Sync(), 0) << lastErr_;
    // Sync i keeps sync i-1's backup, which holds what sync i-2 imported;
    // syncs 6 to 25 are the newest 20.
    if (i >= 6) {
      backups.insert(BackupOf("Task " + std::to_string(i - 2)));
      imports.insert(ImportOf(name));
    }
  }
  EXPECT_EQ(Contents(FilesIn(KestrelHistory())), backups);
  EXPECT_EQ(Contents(FilesIn(data_ / "history" / "imports")), imports);
}

// An import that holds no task empties KestrelDB; its tasks are in the
// backup, and once the next sync replaces that, in the history.
TEST_F(HistorySync, AnEmptyImportThenASyncLosesNoTask) {
  WriteBytes(data_ / "import.csv", "");
  ASSERT_EQ(Sync(), 0);
  EXPECT_EQ(ReadBytes(data_ / "KestrelDB.csv"), ReadBytes(kExpected / "KestrelDB.csv"));
  fs::remove(data_ / "import.csv");
  ASSERT_EQ(Sync(), 0);
  EXPECT_EQ(ReadBytes(data_ / "KestrelDB.csv"), std::string(kHeader) + "\n");
  EXPECT_EQ(Contents(FilesIn(KestrelHistory())),
            std::multiset<std::string>{ReadBytes(kExpected / "KestrelDB.csv")});
}

// The import is kept as a copy: a redirect that rewrites import.csv in
// place afterwards leaves the kept one as it was imported.
TEST_F(HistorySync, ARedirectAfterASyncLeavesTheKeptImport) {
  WriteBytes(data_ / "import.csv", ImportOf("Survey"));
  ASSERT_EQ(Sync(), 0);
  {
    std::ofstream redirect(data_ / "import.csv", std::ios::binary | std::ios::trunc);
    redirect << ImportOf("Overwritten");
  }
  EXPECT_EQ(Contents(FilesIn(data_ / "history" / "imports")),
            std::multiset<std::string>{ImportOf("Survey")});
}

// A link at history/ is not followed: the backup that would keep a
// generation fails, KestrelDB is not emptied, nothing is made where the
// link leads, and the command says which backup failed.
TEST_F(HistorySync, ALinkAtHistoryFailsTheBackupAndIsNotFollowed) {
  ASSERT_EQ(Sync(), 0);
  const std::string pdbBefore = ReadBytes(handheld_ / "KestrelDB.pdb");
  fs::create_directory(temp_.Path() / "elsewhere");
  fs::create_directory_symlink(temp_.Path() / "elsewhere", data_ / "history");
  WriteBytes(data_ / "KestrelDB.csv", "an older backup");
  WriteBytes(data_ / "import.csv", ImportOf("Survey"));
  EXPECT_EQ(Sync(), 1);
  EXPECT_NE(lastErr_.find("\"KestrelDB\" was not backed up"), std::string::npos) << lastErr_;
  EXPECT_EQ(ReadBytes(data_ / "KestrelDB.csv"), "an older backup");
  EXPECT_EQ(ReadBytes(handheld_ / "KestrelDB.pdb"), pdbBefore);
  EXPECT_TRUE(fs::is_empty(temp_.Path() / "elsewhere"));
}

// Two task databases whose names differ only in the case of an accented
// letter get a backup each, as Windows tells file names apart.
TEST_F(HistorySync, AccentedNamesThatDifferInCaseGetABackupEach) {
  WriteTaskDatabase(handheld_ / "lower.pdb", "Caf\xe9", "Lower");
  WriteTaskDatabase(handheld_ / "upper.pdb", "CAF\xc9", "Upper");
  ASSERT_EQ(Sync(), 0) << lastErr_;
  EXPECT_EQ(ReadBytes(data_ / "Caf\xe9.csv"),
            std::string(kHeader) + "\n1,4/13/1998,5 days,4/17/1998,,0%,Lower,Bob");
  EXPECT_EQ(ReadBytes(data_ / "CAF\xc9-2.csv"),
            std::string(kHeader) + "\n1,4/13/1998,5 days,4/17/1998,,0%,Upper,Bob");
}

// The summary names the generation each changed backup kept, and only
// those: the unchanged backups of the other databases keep none.
TEST_F(HistorySync, TheSummaryNamesTheGenerationKept) {
  WriteBytes(data_ / "import.csv", ImportOf("Renovate"));
  ASSERT_EQ(Sync({}), 0) << lastErr_;
  EXPECT_EQ(LinesOf(lastErr_, "kept"), std::vector<std::string>{});
  fs::remove(data_ / "import.csv");
  ASSERT_EQ(Sync({}), 0) << lastErr_;
  const std::string kept = OnlyFileIn(KestrelHistory());
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(LinesOf(lastErr_, "kept"),
            std::vector<std::string>{"kestrel-sync: kept the previous KestrelDB.csv as " +
                                     (KestrelHistory() / kept).string()});
}

// The same import file a second time: the summary says when it was first
// imported, that the handheld's changes since were replaced, and where
// they are kept.
TEST_F(HistorySync, AnImportFileImportedAgainIsSaidSo) {
  WriteBytes(data_ / "import.csv", ImportOf("Survey"));
  ASSERT_EQ(Sync({}), 0) << lastErr_;
  EXPECT_EQ(LinesOf(lastErr_, data_.string() + "/import.csv was"), std::vector<std::string>{});
  ASSERT_EQ(Sync({}), 0) << lastErr_;
  const std::string imported = OnlyFileIn(ImportHistory());
  const std::string kept = OnlyFileIn(KestrelHistory());
  ASSERT_FALSE(imported.empty());
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(
      LinesOf(lastErr_, data_.string() + "/import.csv was"),
      std::vector<std::string>{
          "kestrel-sync: " + data_.string() + "/import.csv was imported before, at the sync of " +
          TimeOf(imported) + " (" + (ImportHistory() / imported).string() +
          "): importing it again replaced the handheld's changes to \"KestrelDB\" since; "
          "they are in " +
          (data_ / "KestrelDB.csv").string() + " and " + (KestrelHistory() / kept).string() +
          "; remove or rename the file after a sync unless it is to be imported again"});
}

// No copy of the import file can be made (a file stands where the imports
// folder goes): the summary says so, and the import runs all the same.
TEST_F(HistorySync, AnImportCopyThatCannotBeKeptIsSaid) {
  fs::create_directory(data_ / "history");
  WriteBytes(ImportHistory(), "not a folder");
  WriteBytes(data_ / "import.csv", ImportOf("Survey"));
  ASSERT_EQ(Sync({}), 0) << lastErr_;
  EXPECT_EQ(
      LinesOf(lastErr_, "the copy of"),
      std::vector<std::string>{
          "kestrel-sync: the copy of " + (data_ / "import.csv").string() +
          " could not be kept in " + ImportHistory().string() +
          "; the import ran all the same; make room there, or remove what stands in the way"});
  fs::remove(data_ / "import.csv");
  ASSERT_EQ(Sync(), 0) << lastErr_;
  EXPECT_EQ(ReadBytes(data_ / "KestrelDB.csv"), BackupOf("Survey"));
  EXPECT_EQ(ReadBytes(ImportHistory()), "not a folder");
}

// With --charset ASCII, "Caf\xe9" and "Caf\xe8" are both written "Caf?":
// the names are told apart as written, so each gets a backup, and the
// characters lost in the names are said.
TEST_F(HistorySync, NamesAreToldApartAsTheyAreWrittenInTheDesktopSet) {
  WriteTaskDatabase(handheld_ / "acute.pdb", "Caf\xe9", "Acute");
  WriteTaskDatabase(handheld_ / "grave.pdb", "Caf\xe8", "Grave");
  ASSERT_EQ(Sync({"--charset", "ASCII"}), 0) << lastErr_;
  EXPECT_EQ(ReadBytes(data_ / "Caf?.csv"),
            std::string(kHeader) + "\n1,4/13/1998,5 days,4/17/1998,,0%,Acute,Bob");
  EXPECT_EQ(ReadBytes(data_ / "Caf?-2.csv"),
            std::string(kHeader) + "\n1,4/13/1998,5 days,4/17/1998,,0%,Grave,Bob");
  EXPECT_EQ(LinesOf(lastErr_, "1 character of the name"),
            (std::vector<std::string>{
                "kestrel-sync: 1 character of the name of " + (data_ / "Caf?.csv").string() +
                    " that ASCII cannot hold was written as \"?\"",
                "kestrel-sync: 1 character of the name of " + (data_ / "Caf?-2.csv").string() +
                    " that ASCII cannot hold was written as \"?\""}));
}

}  // namespace
}  // namespace kestrel::testing
