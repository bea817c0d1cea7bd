// SPDX-License-Identifier: MIT
// The backup pass: the bytes of the backup file for each shape of database,
// through OpenConduit and, for the status it hands back, called directly.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "platform/text_file.h"
#include "tests/conduit_fixture.h"
#include "tests/fault_plan.h"
#include "tests/test_constants.h"
#include "transfer/passes.h"

namespace kestrel::testing {
namespace {

namespace fs = std::filesystem;
using Journal = std::vector<std::string>;
using Log = std::vector<host::LogEntry>;

const Task kFirst{};
const Task kSecond{.id = -56,
                   .startMonth = 15,
                   .startDay = 0,
                   .duration = 65535,
                   .predecessor = 3,
                   .percent = 100,
                   .name = "Build, test",
                   .resources = "Ann \"A\""};
const Task kThird{.id = 3, .finishYear = 2031, .percent = -1, .name = "", .resources = ""};
const std::string kFirstLine = "1,4/13/1998,5 days,4/17/1998,,0%,Design,Bob";
const std::string kSecondLine = "-56,15/0/1998,65535 days,4/17/1998,3,100%,Build, test,Ann \"A\"";
const std::string kThirdLine = "3,4/13/1998,5 days,4/17/2031,,-1%,,";

struct BackupCase {
  const char* name;
  std::vector<host::Record> records;
  int failingRead;  // the read that fails with kRefused; 0 for none
  std::string file;
  Status status;  // of the pass
};

void PrintTo(const BackupCase& c, std::ostream* out) { *out << c.name; }

const BackupCase kBackupCases[] = {
    {"Empty", {}, 0, Joined({kHeader, ""}), StatusOk},
    {"ThreeLiveRecords",
     {Live(TaskBytes(kFirst)), Live(TaskBytes(kSecond)), Live(TaskBytes(kThird))},
     0,
     Joined({kHeader, kFirstLine, kSecondLine, kThirdLine}),
     StatusOk},
    {"FirstDeleted",
     {Deleted(TaskBytes(kFirst)), Live(TaskBytes(kSecond)), Live(TaskBytes(kThird))},
     0,
     Joined({kHeader, "", kSecondLine, kThirdLine}),
     StatusOk},
    {"MiddleDeleted",
     {Live(TaskBytes(kFirst)), Deleted(TaskBytes(kSecond)), Live(TaskBytes(kThird))},
     0,
     Joined({kHeader, kFirstLine, kThirdLine}),
     StatusOk},
    {"LastDeleted",
     {Live(TaskBytes(kFirst)), Live(TaskBytes(kSecond)), Deleted(TaskBytes(kThird))},
     0,
     Joined({kHeader, kFirstLine, kSecondLine}),
     StatusOk},
    {"AllDeleted",
     {Deleted(TaskBytes(kFirst)), Deleted(TaskBytes(kSecond))},
     0,
     Joined({kHeader, ""}),
     StatusOk},
    {"FirstReadFails",
     {Live(TaskBytes(kFirst)), Live(TaskBytes(kSecond))},
     1,
     Joined({kHeader, ""}),
     kRefused},
    {"MiddleReadFails",
     {Live(TaskBytes(kFirst)), Live(TaskBytes(kSecond)), Live(TaskBytes(kThird))},
     2,
     Joined({kHeader, kFirstLine}),
     kRefused},
};

class BackupTable : public ConduitTest, public ::testing::WithParamInterface<BackupCase> {};

TEST_P(BackupTable, ThroughTheConduit) {
  const BackupCase& c = GetParam();
  AddDatabase("Tasks", c.records);
  if (c.failingRead != 0) FailCall(host::Operation::Read, c.failingRead, kRefused);

  EXPECT_EQ(Run(), StatusFailed);  // no import file
  EXPECT_EQ(FileNames(), std::vector<std::string>{"Tasks.csv"});
  EXPECT_EQ(ReadFile("Tasks.csv"), c.file);
  EXPECT_EQ(handheld.log, Log({kStarted, kFinished}));
  EXPECT_EQ(handheld.journal, Journal({"open Tasks r", "close Tasks"}));
  EXPECT_TRUE(handheld.OpenDatabases().empty());
}

TEST_P(BackupTable, PassStatus) {
  const BackupCase& c = GetParam();
  AddDatabase("Tasks", c.records);
  if (c.failingRead != 0) FailCall(host::Operation::Read, c.failingRead, kRefused);
  host::AttachScope attached(handheld);
  std::uint8_t handle = 0;
  ASSERT_EQ(OpenDatabase("Tasks", 0, &handle, ModeRead), StatusOk);
  TextFile file;
  ASSERT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, FilePath("Tasks.csv").string()), 0);

  EXPECT_EQ(BackupDatabase(handle, file), c.status);
  EXPECT_EQ(file.Close(), StatusOk);
  EXPECT_EQ(ReadFile("Tasks.csv"), c.file);
  EXPECT_TRUE(handheld.log.empty());
  EXPECT_EQ(handheld.OpenDatabases(), std::vector<std::string>{"Tasks"});  // not the pass's
  CloseDatabase(handle);
}

INSTANTIATE_TEST_SUITE_P(Backup, BackupTable, ::testing::ValuesIn(kBackupCases),
                         [](const auto& info) { return std::string(info.param.name); });

using BackupTest = ConduitTest;

// Record indexes are 16 bits: after index 65535 the pass ends as at the end
// of the database instead of wrapping round to index 0.
TEST_F(BackupTest, TheRecordIndexNeverWraps) {
  std::vector<host::Record> records(65536, Deleted(TaskBytes(kSecond)));
  records.front() = Live(TaskBytes(kFirst));
  records.back() = Live(TaskBytes(kThird));
  AddDatabase("Tasks", std::move(records));
  // A pass that wrapped would read on; this read would stop it.
  FailCall(host::Operation::Read, 65537, kRefused, true);
  host::AttachScope attached(handheld);
  std::uint8_t handle = 0;
  ASSERT_EQ(OpenDatabase("Tasks", 0, &handle, ModeRead), StatusOk);
  TextFile file;
  ASSERT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, FilePath("Tasks.csv").string()), 0);

  EXPECT_EQ(BackupDatabase(handle, file), StatusOk);
  EXPECT_EQ(Calls(host::Operation::Read), 65536);
  EXPECT_EQ(file.Close(), StatusOk);
  EXPECT_EQ(ReadFile("Tasks.csv"), Joined({kHeader, kFirstLine, kThirdLine}));
  CloseDatabase(handle);
}

// The lines reach the file in pieces of 64 KiB, not one by one, and a read
// that fails part way still leaves every line formatted before it: here
// the header (69 bytes with its break), the first line (43) and 1,487 more
// of 44 fill the first piece of 65,540 bytes; the next 512 lines are
// written when the 2,001st read fails.
TEST_F(BackupTest, LinesGoToTheFileInLargePiecesAndAllOfThemBeforeAFailedRead) {
  AddDatabase("Tasks", std::vector<host::Record>(3000, Live(TaskBytes(kFirst))));
  FailCall(host::Operation::Read, 2001, kRefused);
  host::AttachScope attached(handheld);
  std::uint8_t handle = 0;
  ASSERT_EQ(OpenDatabase("Tasks", 0, &handle, ModeRead), StatusOk);
  TextFile file;
  ASSERT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, FilePath("Tasks.csv").string()), 0);

  std::vector<std::size_t> writes;  // the size of each write to the file
  Faults().Observe([&writes](const CallEvent& call) {
    if (call.kind == FaultKind::FileWrite) writes.push_back(call.subject.size());
  });
  const Status status = BackupDatabase(handle, file);
  Faults().Observe(nullptr);
  EXPECT_EQ(status, kRefused);
  // Where a line break is CR LF, each piece grows by one byte a break: 1,488
  // in the first, 512 in the second.
  const std::size_t extra = kLineBreak.size() - 1;
  EXPECT_EQ(writes, (std::vector<std::size_t>{65540 + 1488 * extra, 512 * 44 + 512 * extra}));
  EXPECT_EQ(file.Close(), StatusOk);
  std::string lines = Joined({kHeader, kFirstLine});
  for (int i = 1; i < 2000; ++i) lines.append(kLineBreak).append(kFirstLine);
  EXPECT_EQ(ReadFile("Tasks.csv"), lines);
  CloseDatabase(handle);
}

// A write that fails (as on a full disk) ends the pass with 1: it reads no
// further, and the new file replaces nothing when it is closed.
TEST_F(BackupTest, AFailedWriteEndsThePass) {
  WriteFile("Tasks.csv", "previous");
  AddDatabase("Tasks", std::vector<host::Record>(2000, Live(TaskBytes(kFirst))));
  host::AttachScope attached(handheld);
  std::uint8_t handle = 0;
  ASSERT_EQ(OpenDatabase("Tasks", 0, &handle, ModeRead), StatusOk);
  TextFile file;
  ASSERT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, FilePath("Tasks.csv").string()), 0);
  // The lines go to the file in pieces of 64 KiB: the first piece, the
  // header's 69 bytes and the 44 of each line, fills with the 1,488th line,
  // and its write fails. No record is read after it.
  FailFileCall(FaultKind::FileWrite, 1, true);

  EXPECT_EQ(BackupDatabase(handle, file), StatusFailed);
  EXPECT_EQ(Calls(host::Operation::Read), 1488);
  EXPECT_EQ(file.Close(), StatusFailed);
  Faults().Clear();
  EXPECT_EQ(FileNames(), std::vector<std::string>{"Tasks.csv"});
  EXPECT_EQ(ReadFile("Tasks.csv"), "previous");
  CloseDatabase(handle);
}

}  // namespace
}  // namespace kestrel::testing
