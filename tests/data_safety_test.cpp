// SPDX-License-Identifier: MIT
// Nothing lost without a word, through OpenConduit on the simulated handheld:
// a status of the host is never taken for the conduit's own out-of-memory, a
// backup that failed is never reported as success, KestrelDB is never
// emptied while its records are in no file, the import file is read whole
// before KestrelDB is cleared, and backup files never share a name.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "tests/conduit_fixture.h"
#include "tests/fault_plan.h"
#include "tests/test_constants.h"

namespace kestrel::testing {
namespace {

namespace fs = std::filesystem;
using Journal = std::vector<std::string>;
using Log = std::vector<host::LogEntry>;
using Records = std::vector<std::vector<std::uint8_t>>;

const Task kAlpha{};
const Task kBeta{.id = 2, .name = "Build", .resources = "Ann"};
const Task kOld{.id = 9, .name = "Old", .resources = "Zed"};
const std::string kAlphaBackup = Joined({kHeader, "1,4/13/1998,5 days,4/17/1998,,0%,Design,Bob"});
const std::string kBetaBackup = Joined({kHeader, "2,4/13/1998,5 days,4/17/1998,,0%,Build,Ann"});
const std::string kOldBackup = Joined({kHeader, "9,4/13/1998,5 days,4/17/1998,,0%,Old,Zed"});
const std::string kHeaderOnly = Joined({kHeader, ""});
const std::string kPrevious = "the previous backup";

// Two import lines and their records.
const std::string kImportText =
    "3,Wed 1/5/00,3 days,Fri 1/7/00,2,10%,Test,Cy\n4,Wed 1/5/00,3 days,Fri 1/7/00,2,10%,Ship,Cy\n";
Task Imported(int id, const char* name) {
  return {.id = id,
          .startYear = 2000,
          .startMonth = 1,
          .startDay = 5,
          .duration = 3,
          .finishYear = 2000,
          .finishMonth = 1,
          .finishDay = 7,
          .predecessor = 2,
          .percent = 10,
          .name = name,
          .resources = "Cy"};
}
const Records kImported = {TaskBytes(Imported(3, "Test")), TaskBytes(Imported(4, "Ship"))};
const Records kKept = {TaskBytes(kOld)};

const Journal kBackups = {"open Alpha r", "close Alpha",      "open Beta r",
                          "close Beta",   "open KestrelDB r", "close KestrelDB"};
const Journal kImport = {"open KestrelDB rw", "clear KestrelDB", "close KestrelDB"};
Journal Then(Journal a, const Journal& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Log kImportLog = {kStarted, kTransferred, kFinished};
const Log kNotBackedUpLog = {kStarted, kNotBackedUp, kFinished};

// Files of the data folder afterwards; a folder shows as kFolder.
constexpr char kFolder[] = "<folder>";
using Files = std::map<std::string, std::string>;
const Files kAllFiles = {{"Alpha.csv", kAlphaBackup},
                         {"Beta.csv", kBetaBackup},
                         {"KestrelDB.csv", kOldBackup},
                         {"import.csv", kImportText}};
Files With(Files files, const Files& changes) {
  for (const auto& [name, bytes] : changes) files[name] = bytes;
  return files;
}

// Every row starts from three task databases, KestrelDB the last of them,
// an import file of two lines, and an old backup of KestrelDB.
struct SafetyCase {
  const char* name;
  std::function<void(ConduitTest&)> setUp;
  Status status;
  Log log;
  Journal journal;
  Files files;
  Records kestrelDB;
};

void PrintTo(const SafetyCase& c, std::ostream* out) { *out << c.name; }

const SafetyCase kSafetyCases[] = {
    {"Road", [](ConduitTest&) {}, StatusOk, kImportLog, Then(kBackups, kImport), kAllFiles,
     kImported},
    // A 0x4001 from the host is its status like any other.
    {"ReadAnswers0x4001",
     [](ConduitTest&) { FailCall(host::Operation::Read, 1, StatusAllocFailed); }, StatusAllocFailed,
     kImportLog, Then(kBackups, kImport), With(kAllFiles, {{"Alpha.csv", kHeaderOnly}}), kImported},
    {"ClearAnswers0x4001",
     [](ConduitTest&) { FailCall(host::Operation::Clear, 1, StatusAllocFailed); },
     StatusAllocFailed, Log({kStarted, kClearFailed, kTransferred, kFinished}),
     Then(kBackups, {"open KestrelDB rw", "close KestrelDB"}), kAllFiles, kKept},
    {"WriteAnswers0x4001",
     [](ConduitTest&) { FailCall(host::Operation::Write, 2, StatusAllocFailed); },
     StatusAllocFailed, kImportLog, Then(kBackups, kImport), kAllFiles,
     Records{TaskBytes(Imported(3, "Test"))}},
    // A failed backup is the result when the import succeeds; the first
    // failure counts.
    {"BackupCannotBeCreated", [](ConduitTest& t) { fs::create_directory(t.FilePath("Beta.csv")); },
     StatusFailed, kImportLog, Then(kBackups, kImport), With(kAllFiles, {{"Beta.csv", kFolder}}),
     kImported},
    {"BackupReadFails", [](ConduitTest&) { FailCall(host::Operation::Read, 1, kRefused); },
     kRefused, kImportLog, Then(kBackups, kImport), With(kAllFiles, {{"Alpha.csv", kHeaderOnly}}),
     kImported},
    // Each backup reaches its file in one write: Alpha's is the first.
    {"BackupWriteFails", [](ConduitTest&) { FailFileCall(FaultKind::FileWrite, 1); }, StatusFailed,
     kImportLog, Then(kBackups, kImport),
     [] {
       Files files = kAllFiles;
       files.erase("Alpha.csv");
       return files;
     }(),
     kImported},
    {"TheFirstFailedBackupCounts",
     [](ConduitTest& t) {
       FailCall(host::Operation::Read, 1, kRefused);
       fs::create_directory(t.FilePath("Beta.csv"));
     },
     kRefused, kImportLog, Then(kBackups, kImport),
     With(kAllFiles, {{"Alpha.csv", kHeaderOnly}, {"Beta.csv", kFolder}}), kImported},
    {"AFailedImportKeepsItsStatus",
     [](ConduitTest& t) {
       fs::create_directory(t.FilePath("Beta.csv"));
       FailCall(host::Operation::Write, 1, kRefused);
     },
     kRefused, kImportLog, Then(kBackups, kImport), With(kAllFiles, {{"Beta.csv", kFolder}}),
     Records{}},
    {"NoImportFileIsStill1",
     [](ConduitTest& t) {
       fs::remove(t.FilePath("import.csv"));
       FailCall(host::Operation::Read, 1, kRefused);
     },
     StatusFailed, Log({kStarted, kFinished}), kBackups,
     [] {
       Files files = With(kAllFiles, {{"Alpha.csv", kHeaderOnly}});
       files.erase("import.csv");
       return files;
     }(),
     kKept},
    // KestrelDB is not replaced while its records are in no file.
    {"KestrelDBBackupCannotBeReplaced",
     [](ConduitTest& t) {
       fs::remove(t.FilePath("KestrelDB.csv"));
       fs::create_directory(t.FilePath("KestrelDB.csv"));
     },
     StatusFailed, kNotBackedUpLog, kBackups, With(kAllFiles, {{"KestrelDB.csv", kFolder}}), kKept},
    {"KestrelDBBackupReadFails",
     [](ConduitTest&) { FailCall(host::Operation::Read, 5, StatusAllocFailed); }, StatusAllocFailed,
     kNotBackedUpLog, kBackups, With(kAllFiles, {{"KestrelDB.csv", kHeaderOnly}}), kKept},
    // As on a full disk: the header of KestrelDB's backup cannot be written,
    // and the previous backup stays.
    {"KestrelDBBackupWriteFails",
     // Alpha's, Beta's, then KestrelDB's write.
     [](ConduitTest&) { FailFileCall(FaultKind::FileWrite, 3, true); }, StatusFailed,
     kNotBackedUpLog, kBackups, With(kAllFiles, {{"KestrelDB.csv", kPrevious}}), kKept},
    {"KestrelDBBackupCloseFails", [](ConduitTest&) { FailFileCall(FaultKind::FileClose, 3); },
     StatusFailed, kNotBackedUpLog, kBackups, With(kAllFiles, {{"KestrelDB.csv", kPrevious}}),
     kKept},
    {"KestrelDBBackupFailsWithoutImportFile",
     [](ConduitTest& t) {
       fs::remove(t.FilePath("import.csv"));
       FailCall(host::Operation::Read, 5, kRefused);
     },
     StatusFailed, Log({kStarted, kFinished}), kBackups,
     [] {
       Files files = With(kAllFiles, {{"KestrelDB.csv", kHeaderOnly}});
       files.erase("import.csv");
       return files;
     }(),
     kKept},
    // A KestrelDB that could not be opened for its backup is in no file: the
    // import does not empty it, as when its backup failed.
    {"KestrelDBCannotBeOpenedForItsBackup",
     [](ConduitTest&) { FailCall(host::Operation::Open, 3, kRefused); }, kRefused, kNotBackedUpLog,
     Journal({"open Alpha r", "close Alpha", "open Beta r", "close Beta"}),
     With(kAllFiles, {{"KestrelDB.csv", kPrevious}}), kKept},
    {"KestrelDBCannotBeOpenedForItsBackupWithoutImportFile",
     [](ConduitTest& t) {
       fs::remove(t.FilePath("import.csv"));
       FailCall(host::Operation::Open, 3, StatusNotFound);
     },
     StatusFailed, Log({kStarted, kFinished}),
     Journal({"open Alpha r", "close Alpha", "open Beta r", "close Beta"}),
     [] {
       Files files = With(kAllFiles, {{"KestrelDB.csv", kPrevious}});
       files.erase("import.csv");
       return files;
     }(),
     kKept},
    // The import file is read whole before KestrelDB is cleared.
    {"ImportFileReadFails", [](ConduitTest&) { FailFileCall(FaultKind::FileRead, 2); },
     StatusFailed, kImportLog, Then(kBackups, {"open KestrelDB rw", "close KestrelDB"}), kAllFiles,
     kKept},
    {"ImportFileStartsWithAByteOrderMark",
     [](ConduitTest& t) { t.WriteFile("import.csv", "\xEF\xBB\xBF" + kImportText); }, StatusOk,
     kImportLog, Then(kBackups, kImport),
     With(kAllFiles, {{"import.csv", "\xEF\xBB\xBF" + kImportText}}), kImported},
    // An empty data folder value is no value: no file is written or read.
    {"EmptyDataFolderValue",
     [](ConduitTest& t) { t.UseDataFolder(""); },
     StatusOk,
     Log({kStarted, kFinished}),
     kBackups,
     {{"KestrelDB.csv", kPrevious}, {"import.csv", kImportText}},
     kKept},
};

class SafetyTable : public ConduitTest, public ::testing::WithParamInterface<SafetyCase> {};

TEST_P(SafetyTable, StatusLogDatabasesAndFiles) {
  const SafetyCase& c = GetParam();
  AddDatabase("Alpha", {Live(TaskBytes(kAlpha))});
  AddDatabase("Beta", {Live(TaskBytes(kBeta))});
  AddDatabase("KestrelDB", {Live(TaskBytes(kOld))});
  WriteFile("import.csv", kImportText);
  WriteFile("KestrelDB.csv", kPrevious);
  c.setUp(*this);

  const Status status = Run();
  Faults().Clear();

  EXPECT_EQ(status, c.status);
  EXPECT_EQ(handheld.log, c.log);
  EXPECT_EQ(handheld.journal, c.journal);
  EXPECT_TRUE(handheld.OpenDatabases().empty());
  Files files;
  for (const std::string& name : FileNames()) {
    files[name] = fs::is_directory(FilePath(name)) ? kFolder : ReadFile(name);
  }
  EXPECT_EQ(files, c.files);
  EXPECT_EQ(RecordData(handheld.Find("KestrelDB")->db), c.kestrelDB);
}

INSTANTIATE_TEST_SUITE_P(Safety, SafetyTable, ::testing::ValuesIn(kSafetyCases),
                         [](const auto& info) { return std::string(info.param.name); });

using BackupNamesTest = ConduitTest;

// Within one sync no two databases share a backup file, whatever the letter
// case (over the Windows-1252 letters): the first keeps the plain stem, each
// later one the smallest "-N" that is free. The same on every system.
TEST_F(BackupNamesTest, NamesThatWouldCollideGetANumber) {
  const std::vector<std::pair<std::string, std::string>> names = {
      {"Plan/A", "Plan_A.csv"},
      {"Plan_A", "Plan_A-2.csv"},
      {"Import", "ImportFromPilot.csv"},
      {"ImportFromPilot", "ImportFromPilot-2.csv"},
      {"CON", "_CON.csv"},
      {"_CON", "_CON-2.csv"},
      {"Tasks", "Tasks.csv"},
      {"TASKS", "TASKS-2.csv"},
      {"tasks-2", "tasks-2-2.csv"},
      {"tAsKs", "tAsKs-3.csv"},
      // Accented letters fold as Windows folds them; sharp s has no capital.
      {"Caf\xe9", "Caf\xe9.csv"},
      {"CAF\xc9", "CAF\xc9-2.csv"},
      {"Caf\xe8", "Caf\xe8.csv"},
      {"\x9a\x9c\x9e\xff", "\x9a\x9c\x9e\xff.csv"},
      {"\x8a\x8c\x8e\x9f", "\x8a\x8c\x8e\x9f-2.csv"},
      {"\xdf\xf7", "\xdf\xf7.csv"},
      {"\xdf\xd7", "\xdf\xd7.csv"},
  };
  std::vector<std::string> expected = {"import.csv"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    AddDatabase(names[i].first, {Live(TaskBytes({.id = static_cast<int>(i + 1)}))});
    expected.push_back(names[i].second);
  }
  WriteFile("import.csv", "");
  ASSERT_EQ(Run(), StatusOk);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FileNames(), expected);
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(
        ReadFile(names[i].second),
        Joined({kHeader, std::to_string(i + 1) + ",4/13/1998,5 days,4/17/1998,,0%,Design,Bob"}))
        << names[i].first;
  }
}

// A backup that is already there is replaced whole, and nothing else of the
// new file is left beside it.
TEST_F(BackupNamesTest, AnExistingBackupIsReplaced) {
  AddDatabase("Tasks", {Live(TaskBytes(kAlpha))});
  WriteFile("Tasks.csv", "an older and much longer backup\r\nof two lines\r\n");
  ASSERT_EQ(Run(), StatusFailed);  // no import file
  EXPECT_EQ(FileNames(), std::vector<std::string>{"Tasks.csv"});
  EXPECT_EQ(ReadFile("Tasks.csv"), kAlphaBackup);
}

}  // namespace
}  // namespace kestrel::testing
