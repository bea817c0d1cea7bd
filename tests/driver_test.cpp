// SPDX-License-Identifier: MIT
// One synchronisation through OpenConduit on the simulated handheld: the
// road, every failure of the driver, and the data folder and file names.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include "driver/conduit.h"
#include "platform/text_file.h"
#include "tests/conduit_fixture.h"
#include "tests/fault_plan.h"
#include "tests/test_constants.h"

namespace kestrel::testing {
namespace {

namespace fs = std::filesystem;
using Journal = std::vector<std::string>;
using Log = std::vector<host::LogEntry>;
using Records = std::vector<std::vector<std::uint8_t>>;

const std::uint32_t kOtherCreator = FourCharCode("Kdb0");

const Task kAlpha{};  // 1,4/13/1998,5 days,4/17/1998,,0%,Design,Bob
const Task kBeta{.id = 2, .predecessor = 1, .percent = 50, .name = "Build", .resources = "Ann"};
const Task kOld{.id = 9, .name = "Old", .resources = "Zed"};
const std::string kAlphaLine = "1,4/13/1998,5 days,4/17/1998,,0%,Design,Bob";
const std::string kBetaLine = "2,4/13/1998,5 days,4/17/1998,1,50%,Build,Ann";
const std::string kAlphaBackup = Joined({kHeader, kAlphaLine});
const std::string kBetaBackup = Joined({kHeader, kBetaLine});

// One import line and the record it becomes.
const std::string kImportText = "3,Wed 1/5/00,3 days,Fri 1/7/00,2,10%,Test,Cy\n";
const Task kImported{.id = 3,
                     .startYear = 2000,
                     .startMonth = 1,
                     .startDay = 5,
                     .duration = 3,
                     .finishYear = 2000,
                     .finishMonth = 1,
                     .finishDay = 7,
                     .predecessor = 2,
                     .percent = 10,
                     .name = "Test",
                     .resources = "Cy"};

const Journal kBackupJournal = {"open Alpha r", "close Alpha", "open Beta r", "close Beta"};
const Journal kImportJournal = {"open KestrelDB rw", "clear KestrelDB", "close KestrelDB"};

Journal Concat(const Journal& a, const Journal& b) {
  Journal all = a;
  all.insert(all.end(), b.begin(), b.end());
  return all;
}

// What a file in the data folder holds; a folder shows as kFolder.
constexpr char kFolder[] = "<folder>";
std::map<std::string, std::string> FolderContents(const ConduitTest& test) {
  std::map<std::string, std::string> contents;
  for (const std::string& name : test.FileNames()) {
    contents[name] = fs::is_directory(test.FilePath(name)) ? kFolder : test.ReadFile(name);
  }
  return contents;
}

enum class Target { Old, Imported, Empty, Missing };

// The handheld of every row: two task databases and a KestrelDB of another
// creator (so it is not backed up), and an import file of one line.
struct DriverCase {
  const char* name;
  std::function<void(ConduitTest&)> setUp;
  Status status;
  Log log;
  Journal journal;
  std::map<std::string, std::string> files;
  Target target;
};

void PrintTo(const DriverCase& c, std::ostream* out) { *out << c.name; }

const std::map<std::string, std::string> kAllFiles = {
    {"Alpha.csv", kAlphaBackup}, {"Beta.csv", kBetaBackup}, {"import.csv", kImportText}};

const DriverCase kDriverCases[] = {
    {"Road",
     [](ConduitTest&) {},
     StatusOk,
     {kStarted, kTransferred, kFinished},
     Concat(kBackupJournal, kImportJournal),
     kAllFiles,
     Target::Imported},
    {"ListAllocationFails",
     [](ConduitTest&) { FailAllocation(100 * sizeof(DatabaseInfo)); },
     StatusAllocFailed,
     {kStarted, kOutOfMemory},
     {},
     {{"import.csv", kImportText}},
     Target::Old},
    {"ListDatabasesFails",
     [](ConduitTest&) { FailCall(host::Operation::List, 1, kRefused); },
     StatusOk,
     {kStarted, kTransferred, kFinished},
     kImportJournal,
     {{"import.csv", kImportText}},
     Target::Imported},
    {"TaskDatabaseCannotBeOpened",
     [](ConduitTest&) { FailCall(host::Operation::Open, 1, kRefused); },
     StatusOk,
     {kStarted, kTransferred, kFinished},
     Concat({"open Beta r", "close Beta"}, kImportJournal),
     {{"Beta.csv", kBetaBackup}, {"import.csv", kImportText}},
     Target::Imported},
    {"NoDataFolder",
     [](ConduitTest& t) { t.UseNoDataFolder(); },
     StatusOk,
     {kStarted, kFinished},
     kBackupJournal,
     {{"import.csv", kImportText}},
     Target::Old},
    // The import still runs (KestrelDB is not a task database), but the
    // failed backup is not reported as success.
    {"BackupFileCannotBeCreated",
     [](ConduitTest& t) { fs::create_directory(t.FilePath("Alpha.csv")); },
     StatusFailed,
     {kStarted, kTransferred, kFinished},
     Concat(kBackupJournal, kImportJournal),
     {{"Alpha.csv", kFolder}, {"Beta.csv", kBetaBackup}, {"import.csv", kImportText}},
     Target::Imported},
    {"BackupBufferCannotBeAllocated",
     [](ConduitTest&) { FailAllocation(kRecordBufferSize); },
     StatusAllocFailed,
     {kStarted, kOutOfMemory},
     {"open Alpha r", "close Alpha"},
     {{"import.csv", kImportText}},
     Target::Old},
    {"NoImportFile",
     [](ConduitTest& t) { fs::remove(t.FilePath("import.csv")); },
     StatusFailed,
     {kStarted, kFinished},
     kBackupJournal,
     {{"Alpha.csv", kAlphaBackup}, {"Beta.csv", kBetaBackup}},
     Target::Old},
    {"ImportFileIsAFolder",
     [](ConduitTest& t) {
       fs::remove(t.FilePath("import.csv"));
       fs::create_directory(t.FilePath("import.csv"));
     },
     StatusFailed,
     {kStarted, kFinished},
     kBackupJournal,
     {{"Alpha.csv", kAlphaBackup}, {"Beta.csv", kBetaBackup}, {"import.csv", kFolder}},
     Target::Old},
    {"KestrelDBIsCreated",
     [](ConduitTest& t) { t.handheld.slots.pop_back(); },
     StatusOk,
     {kStarted, kTransferred, kFinished},
     Concat(kBackupJournal, {"create KestrelDB", "clear KestrelDB", "close KestrelDB"}),
     kAllFiles,
     Target::Imported},
    {"KestrelDBCannotBeCreated",
     [](ConduitTest& t) {
       t.handheld.slots.pop_back();
       FailCall(host::Operation::Create, 1, kRefused);
     },
     kRefused,
     {kStarted, kCannotCreate},
     kBackupJournal,
     kAllFiles,
     Target::Missing},
    {"KestrelDBCannotBeOpened",
     [](ConduitTest&) { FailCall(host::Operation::Open, 3, kRefused); },
     kRefused,
     {kStarted, kCannotCreate, kFinished},
     kBackupJournal,
     kAllFiles,
     Target::Old},
    // Everything the import pass needs is had before KestrelDB is cleared.
    {"ImportBufferCannotBeAllocated",
     [](ConduitTest&) { FailAllocation(kRecordBufferSize, 3); },
     StatusAllocFailed,
     {kStarted, kOutOfMemory},
     Concat(kBackupJournal, {"open KestrelDB rw", "close KestrelDB"}),
     kAllFiles,
     Target::Old},
};

class DriverTable : public ConduitTest, public ::testing::WithParamInterface<DriverCase> {};

TEST_P(DriverTable, StatusLogDatabasesAndFiles) {
  const DriverCase& c = GetParam();
  AddDatabase("Alpha", {Live(TaskBytes(kAlpha))});
  AddDatabase("Beta", {Live(TaskBytes(kBeta))});
  AddDatabase("KestrelDB", {Live(TaskBytes(kOld))}, kTypeData, kOtherCreator);
  WriteFile("import.csv", kImportText);
  c.setUp(*this);

  const Status status = Run();
  Faults().Clear();

  EXPECT_EQ(status, c.status);
  EXPECT_EQ(handheld.log, c.log);
  EXPECT_EQ(handheld.journal, c.journal);
  EXPECT_TRUE(handheld.OpenDatabases().empty());
  EXPECT_EQ(FolderContents(*this), c.files);

  const host::Slot* target = handheld.Find("KestrelDB");
  ASSERT_EQ(target == nullptr, c.target == Target::Missing);
  if (target == nullptr) return;
  switch (c.target) {
    case Target::Old:
      EXPECT_EQ(RecordData(target->db), Records{TaskBytes(kOld)});
      break;
    case Target::Imported:
      EXPECT_EQ(RecordData(target->db), Records{TaskBytes(kImported)});
      break;
    case Target::Empty:
      EXPECT_EQ(RecordData(target->db), Records{});
      break;
    case Target::Missing:
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(Driver, DriverTable, ::testing::ValuesIn(kDriverCases),
                         [](const auto& info) { return std::string(info.param.name); });

using DriverTest = ConduitTest;

TEST_F(DriverTest, CreatedKestrelDBIsATaskDatabaseWithFlags8) {
  WriteFile("import.csv", kImportText);
  ASSERT_EQ(Run(), StatusOk);
  const host::Slot* target = handheld.Find("KestrelDB");
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(target->db.type, kTypeData);
  EXPECT_EQ(target->db.creator, kCreatorTkpl);
  EXPECT_EQ(target->db.attributes, 8);
  EXPECT_EQ(target->db.version, 0);
  EXPECT_EQ(RecordData(target->db), Records{TaskBytes(kImported)});
  EXPECT_EQ(handheld.journal, Journal({"create KestrelDB", "clear KestrelDB", "close KestrelDB"}));
}

TEST_F(DriverTest, OnlyDatabasesOfTypeDataAndCreatorTkplAreBackedUp) {
  AddDatabase("Memo", {Live(TaskBytes(kAlpha))}, FourCharCode("DATA"), kCreatorTkpl);
  AddDatabase("Other", {Live(TaskBytes(kAlpha))}, kTypeData, FourCharCode("tkpl"));
  AddDatabase("Tasks", {Live(TaskBytes(kAlpha))});
  ASSERT_EQ(Run(), StatusFailed);  // no import file
  EXPECT_EQ(FileNames(), std::vector<std::string>{"Tasks.csv"});
  EXPECT_EQ(handheld.journal, Journal({"open Tasks r", "close Tasks"}));
  EXPECT_EQ(handheld.log, Log({kStarted, kFinished}));
}

TEST_F(DriverTest, KestrelDBIsBackedUpBeforeItIsReplaced) {
  AddDatabase("KestrelDB", {Live(TaskBytes(kOld))});
  WriteFile("import.csv", kImportText);
  ASSERT_EQ(Run(), StatusOk);
  EXPECT_EQ(ReadFile("KestrelDB.csv"),
            Joined({kHeader, "9,4/13/1998,5 days,4/17/1998,,0%,Old,Zed"}));
  EXPECT_EQ(RecordData(handheld.Find("KestrelDB")->db), Records{TaskBytes(kImported)});
  EXPECT_EQ(handheld.journal, Journal({"open KestrelDB r", "close KestrelDB", "open KestrelDB rw",
                                       "clear KestrelDB", "close KestrelDB"}));
  EXPECT_EQ(handheld.log, Log({kStarted, kTransferred, kFinished}));
}

TEST_F(DriverTest, OnlyTheFirstHundredListedDatabasesAreExamined) {
  for (int i = 0; i < 101; ++i) {
    std::string name = "T";  // appended, not "T" + ...: GCC 12 -O3 -Wrestrict
    name += std::to_string(i);
    AddDatabase(name, {Live(TaskBytes(kAlpha))});
  }
  ASSERT_EQ(Run(), StatusFailed);
  const std::vector<std::string> files = FileNames();
  EXPECT_EQ(files.size(), 100u);
  EXPECT_FALSE(fs::exists(FilePath("T100.csv")));
  EXPECT_EQ(ReadFile("T99.csv"), kAlphaBackup);
  EXPECT_EQ(handheld.journal.size(), 200u);
  EXPECT_EQ(handheld.journal.back(), "close T99");
}

// Names from the device become safe file names; "import" in any case never
// takes the import file's place.
TEST_F(DriverTest, BackupFilesAreNamedSafelyAfterTheirDatabases) {
  const std::vector<std::pair<std::string, std::string>> names = {
      {"KestrelDB", "KestrelDB.csv"},
      {"Import", "ImportFromPilot.csv"},
      {"a/../b", "a_.._b.csv"},
      {"x:y*z?", "x_y_z_.csv"},
      {"NUL", "_NUL.csv"},
      {"com1.old", "_com1.old.csv"},
      {"COM10", "COM10.csv"},
      {"Lpt9 ", "_Lpt9 .csv"},
  };
  std::vector<std::string> expected = {"import.csv"};
  for (const auto& [name, file] : names) {
    AddDatabase(name, {Live(TaskBytes(kAlpha))});
    expected.push_back(file);
  }
  WriteFile("import.csv", kImportText);
  ASSERT_EQ(Run(), StatusOk);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FileNames(), expected);
  for (const auto& [name, file] : names) EXPECT_EQ(ReadFile(file), kAlphaBackup) << name;
}

TEST_F(DriverTest, ADatabaseNamedImportInAnyCaseLeavesTheImportFileAlone) {
  AddDatabase("import", {Live(TaskBytes(kAlpha))});
  AddDatabase("IMPORT", {Live(TaskBytes(kBeta))});
  WriteFile("import.csv", kImportText);
  ASSERT_EQ(Run(), StatusOk);
  EXPECT_EQ(ReadFile("import.csv"), kImportText);
  // Both have the same stem; the later one's backup gets a file of its own.
  EXPECT_EQ(ReadFile("ImportFromPilot.csv"), kAlphaBackup);
  EXPECT_EQ(ReadFile("ImportFromPilot-2.csv"), kBetaBackup);
  EXPECT_EQ(RecordData(handheld.Find("KestrelDB")->db), Records{TaskBytes(kImported)});
}

TEST_F(DriverTest, AFolderEndingInASeparatorGivesADoubledOne) {
  UseDataFolder(folder + kPathSeparator);
  AddDatabase("Tasks", {Live(TaskBytes(kAlpha))});
  WriteFile("import.csv", kImportText);
  ASSERT_EQ(Run(), StatusOk);
  EXPECT_EQ(ReadFile("Tasks.csv"), kAlphaBackup);
  EXPECT_EQ(handheld.log, Log({kStarted, kTransferred, kFinished}));
}

// `base` and further folders below it, `length` characters in all.
std::string FolderOfLength(std::string base, std::size_t length) {
  while (base.size() < length) {
    const std::size_t remaining = length - base.size();
    std::size_t name = std::min<std::size_t>(remaining - 1, 60);
    if (remaining - 1 - name == 1) --name;  // a lone separator could not follow
    base += kPathSeparator;
    base += std::string(name, 'f');
  }
  return base;
}

// A folder of 254 characters is read; one of 255 is not, and then no file is
// written or read.
TEST_F(DriverTest, TheFolderValueHoldsAtMost254Characters) {
  const std::string longest = FolderOfLength(folder, 254);
  ASSERT_EQ(longest.size(), 254u);
  const std::string tooLong = longest + "g";
  fs::create_directories(longest);
  fs::create_directories(tooLong);
  AddDatabase("Tasks", {Live(TaskBytes(kAlpha))});

  UseDataFolder(longest);
  EXPECT_EQ(Run(), StatusFailed);  // read: there is no import file there
  EXPECT_EQ(handheld.log, Log({kStarted, kFinished}));
  EXPECT_TRUE(fs::exists(fs::path(longest) / "Tasks.csv"));
  fs::remove(fs::path(longest) / "Tasks.csv");

  handheld.log.clear();
  UseDataFolder(tooLong);
  EXPECT_EQ(Run(), StatusOk);  // not read: no backup and no import phase
  EXPECT_EQ(handheld.log, Log({kStarted, kFinished}));
  EXPECT_FALSE(fs::exists(fs::path(longest) / "Tasks.csv"));
  EXPECT_FALSE(fs::exists(fs::path(tooLong) / "Tasks.csv"));
}

TEST_F(DriverTest, WithNoRegistryValueOnlyStartAndFinishAreLogged) {
  UseNoDataFolder();
  WriteFile("import.csv", kImportText);
  EXPECT_EQ(Run(), StatusOk);
  EXPECT_EQ(handheld.log, Log({kStarted, kFinished}));
  EXPECT_TRUE(handheld.journal.empty());
  EXPECT_EQ(handheld.Find("KestrelDB"), nullptr);
}

#ifndef _WIN32
// A backup file that another program holds locked is neither waited for nor
// emptied; the next database is still backed up.
TEST_F(DriverTest, ALockedBackupFileIsNeitherWaitedForNorEmptied) {
  AddDatabase("Alpha", {Live(TaskBytes(kAlpha))});
  AddDatabase("Beta", {Live(TaskBytes(kBeta))});
  WriteFile("Alpha.csv", "kept");
  const int holder = ::open(FilePath("Alpha.csv").c_str(), O_RDONLY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);

  EXPECT_EQ(Run(), StatusFailed);  // no import file
  ::close(holder);
  EXPECT_EQ(ReadFile("Alpha.csv"), "kept");
  EXPECT_EQ(ReadFile("Beta.csv"), kBetaBackup);
  EXPECT_EQ(handheld.journal, kBackupJournal);
  EXPECT_EQ(handheld.log, Log({kStarted, kFinished}));
  EXPECT_TRUE(handheld.OpenDatabases().empty());
}
#endif

struct NameCase {
  std::uint16_t length;
  std::string expected;  // the first `length` bytes
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << "length " << c.length; }

class ConduitName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ConduitName, IsCutToTheBufferAndAlwaysTerminated) {
  const NameCase& c = GetParam();
  std::string buffer(40, 'x');
  EXPECT_EQ(GetConduitName(buffer.data(), c.length), StatusOk);
  EXPECT_EQ(buffer.substr(0, c.length), c.expected);
  EXPECT_EQ(buffer.substr(c.length), std::string(40 - c.length, 'x'));
}

INSTANTIATE_TEST_SUITE_P(Lengths, ConduitName,
                         ::testing::Values(NameCase{0, ""}, NameCase{1, std::string(1, '\0')},
                                           NameCase{5, std::string("Kest\0", 5)},
                                           NameCase{11, std::string("Kestrelpla\0", 11)},
                                           NameCase{12, std::string("Kestrelplan\0", 12)},
                                           NameCase{20, std::string("Kestrelplan\0\0\0\0\0\0\0\0\0",
                                                                    20)}));

TEST(ConduitVersion, Is0x101) { EXPECT_EQ(GetConduitVersion(), 0x101u); }

}  // namespace
}  // namespace kestrel::testing
