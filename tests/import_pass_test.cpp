// SPDX-License-Identifier: MIT
// The import pass through OpenConduit: which records KestrelDB holds
// afterwards, for each shape of import file and each failure of the handheld.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/conduit_fixture.h"
#include "tests/fault_plan.h"
#include "tests/test_constants.h"

namespace kestrel::testing {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Journal = std::vector<std::string>;
using Log = std::vector<host::LogEntry>;

const std::string kLineA = "1,Mon 4/13/98,5 days,Fri 4/17/98,,0%,Design,Bob";
const Task kTaskA{};
const std::string kLineB = "2,Tue 1/5/00,3 days,Thu 1/7/00,11,50%,Test,Ann";
const Task kTaskB{.id = 2,
                  .startYear = 2000,
                  .startMonth = 1,
                  .startDay = 5,
                  .duration = 3,
                  .finishYear = 2000,
                  .finishMonth = 1,
                  .finishDay = 7,
                  .predecessor = 11,
                  .percent = 50,
                  .name = "Test",
                  .resources = "Ann"};
const Task kOld{.id = 9, .name = "Old"};

// Line n of a long file, and its record.
std::string Numbered(int n) {
  return std::to_string(n) + ",Mon 4/13/98,5 days,Fri 4/17/98,,0%,Task " + std::to_string(n) +
         ",Bob\n";
}
Bytes NumberedRecord(int n) { return TaskBytes({.id = n, .name = "Task " + std::to_string(n)}); }

std::string NumberedLines(int first, int last) {
  std::string text;
  for (int n = first; n <= last; ++n) text += Numbered(n);
  return text;
}
std::vector<Bytes> NumberedRecords(int first, int last) {
  std::vector<Bytes> records;
  for (int n = first; n <= last; ++n) records.push_back(NumberedRecord(n));
  return records;
}

// A line of `length` characters (its line break not counted) whose
// resource text runs to the end.
std::string LongLine(std::size_t length) {
  std::string line = kLineA.substr(0, kLineA.size() - 3);  // "...,Design,"
  line.resize(length, 'R');
  return line;
}
const Bytes kLongRecord = TaskBytes({.resources = std::string(31, 'R')});

// The header line of a backup file is parsed like any line: ID 0, the year
// 2000 from "Complete", and "Names" as resources at offset 8.
Bytes HeaderRecord() {
  Bytes bytes(74, 0);
  bytes[2] = 0xC0;
  std::copy_n("Names", 5, &bytes[8]);
  return bytes;
}

// The record buffer is zeroed once, not between lines: "5,x" writes the
// first 40 bytes only, and the rest stays from the line before.
Bytes ShortAfterA() {
  Bytes bytes = TaskBytes(kTaskA);
  std::fill(bytes.begin(), bytes.begin() + 40, 0);
  bytes[0] = 5;
  bytes[8] = 'x';
  return bytes;
}

// "7,,,,,,,x": empty years read as 2000, no "%", so the name lands at
// offset 9 and the resources at 41.
Bytes EmptyRowWithX() {
  Bytes bytes(74, 0);
  bytes[0] = 7;
  bytes[2] = 0xC0;
  bytes[6] = 0xC0;
  bytes[41] = 'x';
  return bytes;
}

struct ImportCase {
  const char* name;
  std::string file;
  std::optional<host::Operation> failing;  // fails with kRefused
  int failingCall;
  Status status;
  std::vector<host::LogEntry> log;  // between the start and the end of the import phase
  std::vector<Bytes> records;
};

void PrintTo(const ImportCase& c, std::ostream* out) { *out << c.name; }

std::vector<Bytes> Concat(std::vector<Bytes> a, const std::vector<Bytes>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const ImportCase kImportCases[] = {
    {"TwoLines",
     kLineA + "\n" + kLineB + "\n",
     {},
     0,
     StatusOk,
     {},
     {TaskBytes(kTaskA), TaskBytes(kTaskB)}},
    {"LastLineWithoutLineBreak",
     kLineA + "\n" + kLineB,
     {},
     0,
     StatusOk,
     {},
     {TaskBytes(kTaskA), TaskBytes(kTaskB)}},
    {"WindowsLineBreaks",
     kLineA + "\r\n" + kLineB + "\r\n",
     {},
     0,
     StatusOk,
     {},
     {TaskBytes(kTaskA), TaskBytes(kTaskB)}},
    {"EmptyFile", "", {}, 0, StatusOk, {}, {}},
    {"EmptyAndAllSpaceLinesAreSkipped",
     kLineA + "\n\n   \n" + kLineB + "\n",
     {},
     0,
     StatusOk,
     {kSkippedLine, kSkippedLine},
     {TaskBytes(kTaskA), TaskBytes(kTaskB)}},
    {"EmptyRowIsSkipped",
     "7,,,,,,,\n7,,,,,,,x\n",
     {},
     0,
     StatusOk,
     {kSkippedLine},
     {EmptyRowWithX()}},
    {"HeaderLineBecomesARecordWithId0",
     std::string(kHeader) + "\n" + kLineA + "\n",
     {},
     0,
     StatusOk,
     {},
     {HeaderRecord(), TaskBytes(kTaskA)}},
    {"AtMostHundredLines", NumberedLines(1, 150), {}, 0, StatusOk, {}, NumberedRecords(1, 100)},
    {"SkippedLinesCountTowardTheHundred",
     "\n" + NumberedLines(1, 104),
     {},
     0,
     StatusOk,
     {kSkippedLine},
     NumberedRecords(1, 99)},
    {"LineOf4478CharactersLeavesItsBreakAsALine",
     LongLine(4478) + "\n" + NumberedLines(1, 99),
     {},
     0,
     StatusOk,
     {kSkippedLine},
     Concat({kLongRecord}, NumberedRecords(1, 98))},
    {"LineOf4477CharactersIsReadWhole",
     LongLine(4477) + "\n" + kLineB + "\n",
     {},
     0,
     StatusOk,
     {},
     {kLongRecord, TaskBytes(kTaskB)}},
    {"BufferIsNotClearedBetweenLines",
     kLineA + "\n5,x\n",
     {},
     0,
     StatusOk,
     {},
     {TaskBytes(kTaskA), ShortAfterA()}},
    {"FifthWriteFails",
     NumberedLines(1, 8),
     host::Operation::Write,
     5,
     kRefused,
     {},
     NumberedRecords(1, 4)},
    {"ClearFails",
     kLineA + "\n",
     host::Operation::Clear,
     1,
     kRefused,
     {kClearFailed},
     {TaskBytes(kOld), TaskBytes(kOld)}},
};

class ImportTable : public ConduitTest, public ::testing::WithParamInterface<ImportCase> {};

// KestrelDB is of another creator, so it is not backed up but still replaced.
TEST_P(ImportTable, RecordsInKestrelDB) {
  const ImportCase& c = GetParam();
  AddDatabase("KestrelDB", {Live(TaskBytes(kOld)), Live(TaskBytes(kOld))}, kTypeData,
              FourCharCode("Kdb0"));
  WriteFile("import.csv", c.file);
  if (c.failing) FailCall(*c.failing, c.failingCall, kRefused);

  EXPECT_EQ(Run(), c.status);

  Log log = {kStarted};
  log.insert(log.end(), c.log.begin(), c.log.end());
  log.push_back(kTransferred);
  log.push_back(kFinished);
  EXPECT_EQ(handheld.log, log);
  Journal journal = {"open KestrelDB rw", "clear KestrelDB", "close KestrelDB"};
  if (c.failing == host::Operation::Clear) journal.erase(journal.begin() + 1);
  EXPECT_EQ(handheld.journal, journal);
  EXPECT_TRUE(handheld.OpenDatabases().empty());
  EXPECT_EQ(RecordData(handheld.Find("KestrelDB")->db), c.records);
  EXPECT_EQ(FileNames(), std::vector<std::string>{"import.csv"});
  EXPECT_EQ(ReadFile("import.csv"), c.file);
}

INSTANTIATE_TEST_SUITE_P(Import, ImportTable, ::testing::ValuesIn(kImportCases),
                         [](const auto& info) { return std::string(info.param.name); });

#ifdef __linux__
// A read of the import file that fails other than at its end stops the pass
// with 1. Reading this process's memory at address 0 fails on every read.
TEST_F(ConduitTest, AFailedReadOfTheImportFileStopsThePassWith1) {
  AddDatabase("KestrelDB", {Live(TaskBytes(kOld))}, kTypeData, FourCharCode("Kdb0"));
  fs::create_symlink("/proc/self/mem", FilePath("import.csv"));

  EXPECT_EQ(Run(), StatusFailed);
  EXPECT_EQ(handheld.log, Log({kStarted, kTransferred, kFinished}));
  // The file is read before KestrelDB is cleared: it stays as it was.
  EXPECT_EQ(handheld.journal, Journal({"open KestrelDB rw", "close KestrelDB"}));
  EXPECT_EQ(RecordData(handheld.Find("KestrelDB")->db), std::vector<Bytes>{TaskBytes(kOld)});
}
#endif

}  // namespace
}  // namespace kestrel::testing
