// SPDX-License-Identifier: MIT
// The backup history through OpenConduit on the simulated handheld: the old
// backup kept before a new one replaces it (by a hard link, or a copy where
// links are refused), nothing kept when the bytes are the same, 20
// generations a folder in the order of their names' times and numbers, the
// import file kept as a copy, and every way the history cannot be kept
// failing the backup rather than losing the old one.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "driver/generation_names.h"
#include "driver/sync_report.h"
#include "platform/file_store.h"
#include "tests/conduit_fixture.h"
#include "tests/fault_plan.h"
#include "tests/test_constants.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace kestrel::testing {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

const Task kFirst{.id = 1, .name = "First", .resources = "Ann"};
const Task kSecond{.id = 2, .name = "Second", .resources = "Bob"};
const std::string kFirstBackup = Joined({kHeader, "1,4/13/1998,5 days,4/17/1998,,0%,First,Ann"});
const std::string kSecondBackup = Joined({kHeader, "2,4/13/1998,5 days,4/17/1998,,0%,Second,Bob"});
const std::string kImportLine = "3,Wed 1/5/00,3 days,Fri 1/7/00,,10%,Test,Cy\n";
const std::string kGeneration = std::string(kTestGeneration) + ".csv";

// The sync clock of a test that moves it: one second per sync.
std::int64_t g_now = kTestSyncTime;
std::int64_t MovingClock() { return g_now; }

class BackupHistoryTest : public ConduitTest {
 protected:
  // Sets KestrelDB to hold just `task`.
  void Hold(const Task& task) {
    host::Slot* slot = handheld.Find(kImportDatabase);
    slot->db.records = {Live(TaskBytes(task))};
  }
  static constexpr char kImportDatabase[] = "KestrelDB";
};

TEST_F(BackupHistoryTest, TwoSyncsWithDifferentTasksKeepTheFirstBackup) {
  AddDatabase(kImportDatabase, {Live(TaskBytes(kFirst))});
  ASSERT_EQ(Run(), StatusFailed);  // no import file
  EXPECT_EQ(HistoryFiles(), Files{});
  ASSERT_EQ(LastSyncReport().backups.size(), 1u);
  EXPECT_EQ(LastSyncReport().backups[0].old, OldBackup::None);

  Hold(kSecond);
  ASSERT_EQ(Run(), StatusFailed);
  EXPECT_EQ(ReadFile("KestrelDB.csv"), kSecondBackup);
  EXPECT_EQ(HistoryFiles(), (Files{{"backups", kFolderEntry},
                                   {"backups/KestrelDB", kFolderEntry},
                                   {"backups/KestrelDB/" + kGeneration, kFirstBackup}}));
  const SyncReport& report = LastSyncReport();
  EXPECT_EQ(report.syncTime, kTestGeneration);
  ASSERT_EQ(report.backups.size(), 1u);
  EXPECT_EQ(report.backups[0].database, "KestrelDB");
  EXPECT_EQ(report.backups[0].old, OldBackup::Kept);
  EXPECT_TRUE(report.backups[0].replaced);
  EXPECT_EQ(fs::path(report.backups[0].generation),
            temp.Path() / "history" / "backups" / "KestrelDB" / kGeneration);
#ifndef _WIN32
  // A hard link: the file that was the backup, not a copy of it.
  struct stat kept {};
  ASSERT_EQ(::stat(report.backups[0].generation.c_str(), &kept), 0);
  EXPECT_EQ(kept.st_nlink, 1u);
#endif
}

TEST_F(BackupHistoryTest, IdenticalSyncsKeepNothing) {
  AddDatabase(kImportDatabase, {Live(TaskBytes(kFirst))});
  ASSERT_EQ(Run(), StatusFailed);
  ASSERT_EQ(Run(), StatusFailed);
  EXPECT_EQ(HistoryFiles(), Files{});
  ASSERT_EQ(LastSyncReport().backups.size(), 1u);
  EXPECT_EQ(LastSyncReport().backups[0].old, OldBackup::Unchanged);
}

// Raw bytes are compared: other line breaks, or one byte of another
// character set, are a change.
TEST_F(BackupHistoryTest, AnyChangeOfBytesKeepsAGeneration) {
  AddDatabase(kImportDatabase, {Live(TaskBytes(kFirst))});
  for (const std::string& old :
       {std::string(kFirstBackup) + "\r", std::string("\r\n") + kFirstBackup,
        kFirstBackup.substr(0, kFirstBackup.size() - 1) + "\xf1"}) {
    WriteFile("KestrelDB.csv", old);
    fs::remove_all(FilePath("history"));
    ASSERT_EQ(Run(), StatusFailed);
    EXPECT_EQ(HistoryFiles().at("backups/KestrelDB/" + kGeneration), old);
  }
}

// 25 syncs that each change the backup, a second apart: the 20 newest old
// backups stay, and a name from a clock that was ahead is neither counted
// nor removed.
TEST_F(BackupHistoryTest, TwentyGenerationsAreKept) {
  AddDatabase(kImportDatabase);
  fs::create_directories(FilePath("history/backups/KestrelDB"));
  WriteFile("history/backups/KestrelDB/20991231-235959.csv", "ahead");
  WriteFile("history/backups/KestrelDB/notes.txt", "a user's notes");
  SetSyncClock(&MovingClock);
  for (int i = 1; i <= 26; ++i) {
    g_now = kTestSyncTime + i;
    Hold({.id = i, .name = "Task " + std::to_string(i)});
    Run();
  }
  Files expected = {{"backups", kFolderEntry},
                    {"backups/KestrelDB", kFolderEntry},
                    {"backups/KestrelDB/20991231-235959.csv", "ahead"},
                    {"backups/KestrelDB/notes.txt", "a user's notes"}};
  // The backup of sync i is kept by sync i + 1, under that sync's time.
  for (int i = 6; i <= 25; ++i) {
    expected["backups/KestrelDB/" + GenerationName(GenerationTime(kTestSyncTime + i + 1), 1)] =
        Joined({kHeader, std::to_string(i) + ",4/13/1998,5 days,4/17/1998,,0%,Task " +
                             std::to_string(i) + ",Bob"});
  }
  EXPECT_EQ(HistoryFiles(), expected);
}

// Twelve changing syncs in one second: numbered "-2" to "-12", in order.
TEST_F(BackupHistoryTest, GenerationsOfOneSecondAreNumbered) {
  AddDatabase(kImportDatabase);
  for (int i = 1; i <= 13; ++i) {
    Hold({.id = i});
    Run();
  }
  Files expected = {{"backups", kFolderEntry}, {"backups/KestrelDB", kFolderEntry}};
  for (int i = 1; i <= 12; ++i) {
    expected["backups/KestrelDB/" + GenerationName(kTestGeneration, i)] =
        Joined({kHeader, std::to_string(i) + ",4/13/1998,5 days,4/17/1998,,0%,Design,Bob"});
  }
  EXPECT_EQ(HistoryFiles(), expected);
}

// A stem that would name no folder of its own ("", ".", "..") keeps its
// generations in a folder named after its backup file, never in history/
// or history/backups/ themselves.
TEST_F(BackupHistoryTest, StemsThatNameNoFolderOfTheirOwn) {
  for (const char* name : {"", ".", ".."}) {
    AddDatabase(name, {Live(TaskBytes(kFirst))});
    WriteFile(std::string(name) + ".csv", "an older backup");
  }
  Run();
  EXPECT_EQ(HistoryFiles(), (Files{{"backups", kFolderEntry},
                                   {"backups/.csv", kFolderEntry},
                                   {"backups/.csv/" + kGeneration, "an older backup"},
                                   {"backups/..csv", kFolderEntry},
                                   {"backups/..csv/" + kGeneration, "an older backup"},
                                   {"backups/...csv", kFolderEntry},
                                   {"backups/...csv/" + kGeneration, "an older backup"}}));
}

// Where the file system makes no hard links the old backup is copied, and
// the copy is placed only whole: nothing else is left in the folder.
TEST_F(BackupHistoryTest, ACopyWhereHardLinksAreRefused) {
  AddDatabase(kImportDatabase, {Live(TaskBytes(kSecond))});
  const std::string big = std::string(200000, 'x') + "\r\n";
  WriteFile("KestrelDB.csv", big);
  Faults().RefuseLinks(true);
  ASSERT_EQ(Run(), StatusFailed);
  EXPECT_EQ(HistoryFiles(), (Files{{"backups", kFolderEntry},
                                   {"backups/KestrelDB", kFolderEntry},
                                   {"backups/KestrelDB/" + kGeneration, big}}));
  EXPECT_EQ(ReadFile("KestrelDB.csv"), kSecondBackup);
}

// A full disk while the copy is made: the backup fails, the old one stays
// in place, no part of a generation is left, and KestrelDB, whose backup
// failed, is not emptied by the import.
TEST_F(BackupHistoryTest, AFullDiskDuringTheCopyFailsTheBackup) {
  AddDatabase(kImportDatabase, {Live(TaskBytes(kSecond))});
  WriteFile("KestrelDB.csv", kFirstBackup);
  WriteFile("import.csv", kImportLine);
  Faults().RefuseLinks(true);
  FailFileCall(FaultKind::StoreWrite, 1, true);
  EXPECT_EQ(Run(), StatusFailed);
  EXPECT_EQ(handheld.log, (std::vector<host::LogEntry>{kStarted, kNotBackedUp, kFinished}));
  EXPECT_EQ(ReadFile("KestrelDB.csv"), kFirstBackup);
  EXPECT_EQ(RecordData(handheld.Find("KestrelDB")->db),
            std::vector<std::vector<std::uint8_t>>{TaskBytes(kSecond)});
  EXPECT_EQ(HistoryFiles(),
            (Files{{"backups", kFolderEntry}, {"backups/KestrelDB", kFolderEntry}}));
  EXPECT_EQ(FileNames(), (std::vector<std::string>{"KestrelDB.csv", "import.csv"}));
  ASSERT_EQ(LastSyncReport().backups.size(), 1u);
  EXPECT_EQ(LastSyncReport().backups[0].old, OldBackup::NotKept);
  EXPECT_FALSE(LastSyncReport().backups[0].replaced);
  EXPECT_EQ(LastSyncReport().importCopy, ImportCopy::NotImported);
}

struct BlockedCase {
  const char* name;
  std::function<void(ConduitTest&)> setUp;
  Files history;  // afterwards
};

void PrintTo(const BlockedCase& c, std::ostream* out) { *out << c.name; }

// What stands where a history folder goes and is not a folder of its own
// is never followed or replaced: the backup fails, the old one stays.
const BlockedCase kBlockedCases[] = {
    {"HistoryIsALinkToAFolder",
     [](ConduitTest& t) {
       fs::create_directory(t.FilePath("elsewhere"));
       fs::create_directory_symlink(t.FilePath("elsewhere"), t.FilePath("history"));
     },
     {}},
    {"HistoryIsAFile", [](ConduitTest& t) { t.WriteFile("history", "a file"); }, {{"", "a file"}}},
    {"BackupsIsALink",
     [](ConduitTest& t) {
       fs::create_directories(t.FilePath("history"));
       fs::create_directory(t.FilePath("elsewhere"));
       fs::create_directory_symlink(t.FilePath("elsewhere"), t.FilePath("history/backups"));
     },
     {{"backups", kLinkEntry}}},
    {"StemFolderIsAFile",
     [](ConduitTest& t) {
       fs::create_directories(t.FilePath("history/backups"));
       t.WriteFile("history/backups/KestrelDB", "a file");
     },
     {{"backups", kFolderEntry}, {"backups/KestrelDB", "a file"}}},
};

class BlockedHistory : public ConduitTest, public ::testing::WithParamInterface<BlockedCase> {};

TEST_P(BlockedHistory, FailsTheBackup) {
  const BlockedCase& c = GetParam();
  AddDatabase("KestrelDB", {Live(TaskBytes(kSecond))});
  WriteFile("KestrelDB.csv", kFirstBackup);
  WriteFile("import.csv", kImportLine);
  c.setUp(*this);
  EXPECT_EQ(Run(), StatusFailed);
  EXPECT_EQ(handheld.log, (std::vector<host::LogEntry>{kStarted, kNotBackedUp, kFinished}));
  EXPECT_EQ(ReadFile("KestrelDB.csv"), kFirstBackup);
  // Through a link at history/ nothing was made where it leads.
  EXPECT_EQ(HistoryFiles(), c.history);
  if (fs::exists(FilePath("elsewhere"))) {
    EXPECT_TRUE(fs::is_empty(FilePath("elsewhere")));
  }
}

INSTANTIATE_TEST_SUITE_P(History, BlockedHistory, ::testing::ValuesIn(kBlockedCases),
                         [](const auto& info) { return std::string(info.param.name); });

#ifndef _WIN32
// A link or a FIFO where the old backup is: replaced, nothing kept, nothing
// waits, and what the link led to stays as it was.
TEST_F(BackupHistoryTest, ALinkOrAFifoAtTheBackupIsReplacedAndNotKept) {
  AddDatabase("Linked", {Live(TaskBytes(kFirst))});
  AddDatabase("Piped", {Live(TaskBytes(kSecond))});
  WriteFile("victim", "not a backup");
  fs::create_symlink(FilePath("victim"), FilePath("Linked.csv"));
  ASSERT_EQ(::mkfifo(FilePath("Piped.csv").c_str(), 0666), 0);
  ASSERT_EQ(Run(), StatusFailed);  // no import file
  EXPECT_EQ(ReadFile("Linked.csv"), kFirstBackup);
  EXPECT_EQ(ReadFile("Piped.csv"), kSecondBackup);
  EXPECT_EQ(ReadFile("victim"), "not a backup");
  EXPECT_EQ(HistoryFiles(), Files{});
  ASSERT_EQ(LastSyncReport().backups.size(), 2u);
  EXPECT_EQ(LastSyncReport().backups[0].old, OldBackup::NotAFile);
  EXPECT_EQ(LastSyncReport().backups[1].old, OldBackup::NotAFile);
}

// Leftovers of stopped syncs, of either form and for a database that is
// gone, are removed; one that a running sync holds stays, and so does every
// file of another form.
TEST_F(BackupHistoryTest, LeftoversGoAndNothingElse) {
  AddDatabase("KestrelDB", {Live(TaskBytes(kFirst))});
  const std::vector<std::string> leftovers = {"Gone.csv.0123456789abcdef.kestrel-backup-new",
                                              "KestrelDB.csv.kestrel-new",
                                              "Caf\xe9.csv.kestrel-new"};
  const std::vector<std::string> others = {
      "photo.kestrel-new", "Gone.csv.0123456789ABCDEF.kestrel-backup-new",
      "Gone.csv.0123456789abcde.kestrel-backup-new", "Gone.txt.kestrel-new", "held"};
  for (const auto& name : leftovers) WriteFile(name, "leftover");
  for (const auto& name : others) WriteFile(name, "not ours");
  const std::string held = "Held.csv.fedcba9876543210.kestrel-backup-new";
  WriteFile(held, "a running sync's");
  const int holder = ::open(FilePath(held).c_str(), O_RDONLY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  Run();
  ::close(holder);
  std::vector<std::string> expected = others;
  expected.push_back(held);
  expected.push_back("KestrelDB.csv");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FileNames(), expected);
}
#endif

// The import file is kept as a copy: a later rewrite in place (a redirect)
// leaves the kept one as it was, and the same bytes again add none.
TEST_F(BackupHistoryTest, TheImportFileIsKeptAsACopy) {
  AddDatabase("KestrelDB", {Live(TaskBytes(kFirst))});
  WriteFile("import.csv", kImportLine);
  ASSERT_EQ(Run(), StatusOk);
  EXPECT_EQ(LastSyncReport().importCopy, ImportCopy::Kept);
  EXPECT_EQ(fs::path(LastSyncReport().importGeneration),
            temp.Path() / "history" / "imports" / kGeneration);
  ASSERT_EQ(Run(), StatusOk);
  EXPECT_EQ(LastSyncReport().importCopy, ImportCopy::Unchanged);
  {
    std::ofstream rewrite(FilePath("import.csv"), std::ios::binary | std::ios::in | std::ios::out);
    rewrite << "9";  // in place, as a redirect or an editor does
  }
  const Files history = HistoryFiles();
  EXPECT_EQ(history.at("imports/" + kGeneration), kImportLine);
  EXPECT_EQ(history.count("imports/" + GenerationName(kTestGeneration, 2)), 0u);
  ASSERT_EQ(Run(), StatusOk);
  EXPECT_EQ(HistoryFiles().at("imports/" + GenerationName(kTestGeneration, 2)),
            "9" + kImportLine.substr(1));
}

// When the import file cannot be kept the import runs all the same, and
// the report says so.
TEST_F(BackupHistoryTest, AnImportThatCannotBeKeptStillRuns) {
  AddDatabase("KestrelDB", {Live(TaskBytes(kFirst))});
  WriteFile("import.csv", kImportLine);
  fs::create_directory(FilePath("history"));
  WriteFile("history/imports", "a file");
  ASSERT_EQ(Run(), StatusOk);
  EXPECT_EQ(handheld.log, (std::vector<host::LogEntry>{kStarted, kTransferred, kFinished}));
  EXPECT_EQ(LastSyncReport().importCopy, ImportCopy::Failed);
  EXPECT_EQ(RecordData(handheld.Find("KestrelDB")->db).size(), 1u);
  EXPECT_NE(RecordData(handheld.Find("KestrelDB")->db)[0], TaskBytes(kFirst));
}

// An import of no task empties KestrelDB; its tasks are in the backup, and
// after the next sync in the history: every task is still in a file.
TEST_F(BackupHistoryTest, EveryTaskOfAnEmptiedKestrelDBStaysInAFile) {
  AddDatabase("KestrelDB", {Live(TaskBytes(kFirst))});
  WriteFile("import.csv", "");
  ASSERT_EQ(Run(), StatusOk);
  EXPECT_TRUE(RecordData(handheld.Find("KestrelDB")->db).empty());
  EXPECT_EQ(ReadFile("KestrelDB.csv"), kFirstBackup);
  fs::remove(FilePath("import.csv"));
  Run();
  EXPECT_EQ(ReadFile("KestrelDB.csv"), Joined({kHeader, ""}));
  EXPECT_EQ(HistoryFiles().at("backups/KestrelDB/" + kGeneration), kFirstBackup);
}

#ifdef _WIN32
// The history's calls get their paths in the long form, which is what lets
// a data folder of 254 characters hold history\\backups\\<stem>\\<name>
// past MAX_PATH (Wine does not enforce the limit, so the paths handed to
// the calls are what is checked); the doubled backslash of a folder value
// that ends in one is collapsed.
std::vector<std::wstring> g_folders;
decltype(FileStoreCalls::makeFolder)::Function g_nextMakeFolder = nullptr;
bool RecordFolder(const SystemPath& path) {
  g_folders.push_back(path);
  return g_nextMakeFolder(path);
}

TEST_F(BackupHistoryTest, LongPathsGoToTheWideCallsInTheLongForm) {
  std::string longFolder = folder;
  while (longFolder.size() < 253) {
    longFolder += '\\';
    longFolder += std::string(std::min<std::size_t>(40, 253 - longFolder.size()), 'd');
  }
  ASSERT_EQ(longFolder.size(), 253u);
  fs::create_directories(longFolder);
  UseDataFolder(longFolder + "\\");  // 254 characters
  AddDatabase(kImportDatabase, {Live(TaskBytes(kSecond))});
  { std::ofstream(fs::path(longFolder) / "KestrelDB.csv", std::ios::binary) << kFirstBackup; }
  g_folders.clear();
  g_nextMakeFolder = FileStore().makeFolder.Set(&RecordFolder);
  const Status status = Run();
  FileStore().makeFolder.Set(g_nextMakeFolder);
  EXPECT_EQ(status, StatusFailed);  // no import file
  const std::wstring base = L"\\\\?\\" + std::wstring(longFolder.begin(), longFolder.end());
  EXPECT_EQ(g_folders, (std::vector<std::wstring>{base + L"\\history", base + L"\\history\\backups",
                                                  base + L"\\history\\backups\\KestrelDB"}));
  const fs::path kept = fs::path(longFolder) / "history" / "backups" / "KestrelDB" / kGeneration;
  EXPECT_GT(kept.wstring().size(), 260u);
  std::ifstream in(kept, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), kFirstBackup);
  ASSERT_EQ(LastSyncReport().backups.size(), 1u);
  EXPECT_EQ(LastSyncReport().backups[0].old, OldBackup::Kept);
}
#endif

}  // namespace
}  // namespace kestrel::testing
