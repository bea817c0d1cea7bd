// SPDX-License-Identifier: MIT
// Text files: what is written is what is read back, lines are read at most
// so many characters at a time, a backup replaces the old file only once it
// is whole, and the opens refuse what they must.
#include "platform/text_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "tests/conduit_fixture.h"
#include "tests/fault_plan.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kestrel::testing {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Store(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The new files in `folder`: names of the form "<name>.<16 hex>.kestrel-backup-new".
std::vector<std::string> NewFiles(const fs::path& folder) {
  static const std::regex kNewFile(R"(.*\.[0-9a-f]{16}\.kestrel-backup-new)");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (std::regex_match(name, kNewFile)) names.push_back(name);
  }
  return names;
}

// Reads the whole file `maxChars` at a time; the last entry is "<end>" or "<error>".
std::vector<std::string> ReadAll(const fs::path& path, std::size_t maxChars) {
  TextFile file;
  EXPECT_EQ(OpenTextFile(file, TextFileMode::Read, path.string()), 0);
  std::vector<std::string> lines;
  std::string line;
  for (;;) {
    const ReadOutcome outcome = file.ReadLine(line, maxChars);
    if (outcome != ReadOutcome::Line) {
      lines.push_back(outcome == ReadOutcome::End ? "<end>" : "<error>");
      return lines;
    }
    lines.push_back(line);
  }
}

TEST(TextFile, WritesTextInTheHostsLineBreaksAndReadsItBack) {
  TempFolder temp;
  const fs::path path = temp.Path() / "a.csv";
  TextFile file;
  ASSERT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, path.string()), 0);
  EXPECT_EQ(file.Write("one\ntwo"), 0);
  EXPECT_EQ(file.Write(""), 0);
  EXPECT_EQ(file.Write("\n\nthree"), 0);
  EXPECT_EQ(file.Close(), 0);
  EXPECT_EQ(file.Close(), 0);
  EXPECT_EQ(Contents(path), Joined({"one", "two", "", "three"}));
  EXPECT_EQ(ReadAll(path, 100),
            (std::vector<std::string>{"one\n", "two\n", "\n", "three", "<end>"}));
}

// Text runs through the file's buffer many times over, in writes of every
// size up to several times the buffer, and reaches the file whole, in order.
TEST(TextFile, LongTextReachesTheFileWhole) {
  TempFolder temp;
  const fs::path path = temp.Path() / "long.csv";
  TextFile file;
  ASSERT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, path.string()), 0);
  std::string expected;
  for (std::size_t size = 1; expected.size() < (std::size_t{3} << 20); size = size * 3 + 1) {
    const std::string text(size % 300000, static_cast<char>('a' + size % 26));
    ASSERT_EQ(file.Write(text), 0);
    ASSERT_EQ(file.Write("\n"), 0);
    expected += text;
    expected += kLineBreak;
  }
  EXPECT_EQ(file.Close(), 0);
  const std::string written = Contents(path);
  EXPECT_EQ(written.size(), expected.size());
  EXPECT_TRUE(written == expected);
}

// The new text goes to a file beside the old one, which stays as it was
// until the new one is closed and takes its place.
TEST(TextFile, ABackupReplacesTheOldFileOnlyWhenClosed) {
  TempFolder temp;
  const fs::path path = temp.Path() / "a.csv";
  Store(path, "old text that is longer");
  TextFile file;
  ASSERT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, path.string()), 0);
  EXPECT_EQ(file.Write("new\n"), 0);
  EXPECT_EQ(Contents(path), "old text that is longer");
  const std::vector<std::string> newFiles = NewFiles(temp.Path());
  ASSERT_EQ(newFiles.size(), 1u);
  EXPECT_EQ(newFiles[0].substr(0, 6), "a.csv.");
  EXPECT_EQ(file.Close(), 0);
  EXPECT_EQ(Contents(path), "new" + std::string(kLineBreak));
  EXPECT_TRUE(NewFiles(temp.Path()).empty());
}

enum class Ending { Close, Destroy };

struct FailedBackupCase {
  const char* name;
  FaultKind kind;  // the call that fails, its nth
  int nth;
  Ending ending;
};

void PrintTo(const FailedBackupCase& c, std::ostream* out) { *out << c.name; }

const FailedBackupCase kFailedBackupCases[] = {
    {"FirstWriteFails", FaultKind::FileWrite, 1, Ending::Close},
    {"LaterWriteFails", FaultKind::FileWrite, 3, Ending::Close},
    {"CloseFails", FaultKind::FileClose, 1, Ending::Close},
    {"RenameFails", FaultKind::FileRename, 1, Ending::Close},
    {"NeverClosed", FaultKind::FileWrite, 99, Ending::Destroy},
};

class FailedBackup : public ::testing::TestWithParam<FailedBackupCase> {};

// A new file that could not be written whole replaces nothing and is
// removed; the old one stays, byte for byte.
TEST_P(FailedBackup, LeavesThePreviousBackupWhole) {
  const FailedBackupCase& c = GetParam();
  TempFolder temp;
  const fs::path path = temp.Path() / "a.csv";
  Store(path, "previous\r\nbackup");
  {
    TextFile file;
    ASSERT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, path.string()), 0);
    FailFileCall(c.kind, c.nth);
    bool failed = false;
    for (int i = 0; i < 4; ++i) failed |= file.Write("line\n") != 0;
    EXPECT_EQ(failed, c.kind == FaultKind::FileWrite && c.nth <= 4);
    if (c.ending == Ending::Close) {
      EXPECT_EQ(file.Close(), 1);
    }
    EXPECT_EQ(Faults().Fired(), c.ending == Ending::Close);
    Faults().Clear();
  }
  EXPECT_EQ(Contents(path), "previous\r\nbackup");
  EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(temp.Path()), {}),
            std::vector<fs::path>{path});
}

INSTANTIATE_TEST_SUITE_P(Backup, FailedBackup, ::testing::ValuesIn(kFailedBackupCases),
                         [](const auto& info) { return std::string(info.param.name); });

// New files left behind by runs that were stopped before their rename, of
// either form, do not block the next backup, which writes a file of its own
// (the sync removes leftovers: driver_test.cpp); one that is a link is never
// written through.
TEST(TextFile, ALeftoverNewFileDoesNotBlockTheNextBackup) {
  TempFolder temp;
  const fs::path path = temp.Path() / "a.csv";
  Store(temp.Path() / "a.csv.kestrel-new", "cut sho");
  Store(temp.Path() / "victim", "not ours");
  fs::create_symlink(temp.Path() / "victim",
                     temp.Path() / "a.csv.0123456789abcdef.kestrel-backup-new");
  Store(path, "previous");
  TextFile file;
  ASSERT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, path.string()), 0);
  EXPECT_EQ(file.Write("whole"), 0);
  EXPECT_EQ(file.Close(), 0);
  EXPECT_EQ(Contents(path), "whole");
  EXPECT_EQ(Contents(temp.Path() / "a.csv.kestrel-new"), "cut sho");
  EXPECT_EQ(Contents(temp.Path() / "victim"), "not ours");
  EXPECT_EQ(NewFiles(temp.Path()),
            std::vector<std::string>{"a.csv.0123456789abcdef.kestrel-backup-new"});
}

struct ReadCase {
  const char* name;
  std::string bytes;
  std::size_t maxChars;
  std::vector<std::string> lines;
};

void PrintTo(const ReadCase& c, std::ostream* out) { *out << c.name; }

const ReadCase kReadCases[] = {
    {"Empty", "", 10, {"<end>"}},
    {"LineOfMaxCharsWithItsBreak", "abc\nd", 4, {"abc\n", "d", "<end>"}},
    {"LongerLineIsSplit", "abcd\nef\n", 4, {"abcd", "\n", "ef\n", "<end>"}},
    {"OneCharacterAtATime", "ab\n", 1, {"a", "b", "\n", "<end>"}},
    {"CrLfIsOneBreak", "ab\r\ncd\r\n", 3, {"ab\n", "cd\n", "<end>"}},
    {"LoneCrIsKept", "a\rb\r", 10, {"a\rb\r", "<end>"}},
    {"NulIsKept", std::string("a\0b\n", 4), 10, {std::string("a\0b\n", 4), "<end>"}},
    {"OnlyBreaks", "\n\n", 10, {"\n", "\n", "<end>"}},
    // A UTF-8 byte-order mark at the very start is not text and does not
    // count toward the first line's characters; anywhere else it is text.
    {"ByteOrderMarkIsSkipped",
     "\xEF\xBB\xBF"
     "abcd\nef",
     4,
     {"abcd", "\n", "ef", "<end>"}},
    {"ByteOrderMarkAlone", "\xEF\xBB\xBF", 10, {"<end>"}},
    {"ByteOrderMarkOnlyOnce",
     "\xEF\xBB\xBF\xEF\xBB\xBF"
     "a",
     10,
     {"\xEF\xBB\xBF"
      "a",
      "<end>"}},
    {"PartOfAMarkIsText",
     "\xEF\xBB"
     "a\n",
     10,
     {"\xEF\xBB"
      "a\n",
      "<end>"}},
    {"MarkAfterTheStartIsText", "a\xEF\xBB\xBF\n", 10, {"a\xEF\xBB\xBF\n", "<end>"}},
};

class TextFileRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(TextFileRead, Lines) {
  const ReadCase& c = GetParam();
  TempFolder temp;
  Store(temp.Path() / "in.csv", c.bytes);
  EXPECT_EQ(ReadAll(temp.Path() / "in.csv", c.maxChars), c.lines);
}

INSTANTIATE_TEST_SUITE_P(Read, TextFileRead, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TextFile, OpensThatFail) {
  TempFolder temp;
  TextFile file;
  EXPECT_EQ(OpenTextFile(file, TextFileMode::Read, (temp.Path() / "missing.csv").string()), 1);
  EXPECT_EQ(OpenTextFile(file, TextFileMode::Read, temp.Path().string()), 1);
  EXPECT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, temp.Path().string()), 1);
  EXPECT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, (temp.Path() / "no" / "a.csv").string()),
            1);
  EXPECT_EQ(OpenTextFile(file, TextFileMode::CreateWrite,
                         (temp.Path() / "a.csv").string() + std::string(1, '\0') + "x"),
            1);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.Write("x"), 1);
  std::string line = "kept?";
  EXPECT_EQ(file.ReadLine(line, 10), ReadOutcome::Error);
  EXPECT_EQ(file.Close(), 0);
  EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(temp.Path()), {}),
            std::vector<fs::path>{});
}

#ifndef _WIN32
// The lock is advisory and exclusive and taken on the new file while it is
// written, so that no sync takes it for a leftover; each writer has a new
// file of its own, and the one closed last is the backup.
TEST(TextFile, ABackupFileIsHeldForExclusiveUse) {
  TempFolder temp;
  const std::string path = (temp.Path() / "a.csv").string();
  TextFile first;
  ASSERT_EQ(OpenTextFile(first, TextFileMode::CreateWrite, path), 0);
  EXPECT_EQ(first.Write("first"), 0);
  TextFile second;
  ASSERT_EQ(OpenTextFile(second, TextFileMode::CreateWrite, path), 0);
  EXPECT_EQ(second.Write("second"), 0);

  const std::vector<std::string> newFiles = NewFiles(temp.Path());
  ASSERT_EQ(newFiles.size(), 2u);
  for (const std::string& name : newFiles) {
    const int probe = ::open((temp.Path() / name).c_str(), O_RDONLY);
    ASSERT_GE(probe, 0);
    EXPECT_NE(::flock(probe, LOCK_SH | LOCK_NB), 0) << name << " is not held";
    ::close(probe);
  }
  EXPECT_EQ(first.Close(), 0);
  EXPECT_EQ(Contents(path), "first");
  EXPECT_EQ(second.Close(), 0);
  EXPECT_EQ(Contents(path), "second");
  EXPECT_TRUE(NewFiles(temp.Path()).empty());
}

// A backup file that another program holds locked is not replaced.
TEST(TextFile, ABackupFileAnotherProgramHoldsIsNotReplaced) {
  TempFolder temp;
  const fs::path path = temp.Path() / "a.csv";
  Store(path, "kept");
  const int holder = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  TextFile file;
  EXPECT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, path.string()), 1);
  ::close(holder);
  EXPECT_EQ(Contents(path), "kept");
  EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(temp.Path()), {}),
            std::vector<fs::path>{path});
}

// Whatever stands at the backup's name is replaced by name: a link is never
// written through (its target stays as it was), a FIFO is never opened.
TEST(TextFile, ALinkOrFifoAtTheBackupNameIsReplacedNotWrittenThrough) {
  TempFolder temp;
  const fs::path victim = temp.Path() / "victim.pdb";
  Store(victim, "a handheld database");
  fs::create_symlink(victim, temp.Path() / "link.csv");
  fs::create_symlink(temp.Path() / "nowhere", temp.Path() / "dangling.csv");
  ASSERT_EQ(::mkfifo((temp.Path() / "fifo.csv").c_str(), 0666), 0);
  for (const char* name : {"link.csv", "dangling.csv", "fifo.csv"}) {
    TextFile file;
    ASSERT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, (temp.Path() / name).string()), 0)
        << name;
    EXPECT_EQ(file.Write("backup"), 0);
    EXPECT_EQ(file.Close(), 0);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(temp.Path() / name))) << name;
    EXPECT_EQ(Contents(temp.Path() / name), "backup") << name;
  }
  EXPECT_EQ(Contents(victim), "a handheld database");
  EXPECT_FALSE(fs::exists(temp.Path() / "nowhere"));
}

// The status of OpenTextFile in a child process that is killed after five
// minutes, so that an open that would wait for ever fails the test instead
// of hanging it: the exit status, or -1 when it did not finish.
int OpenInChild(TextFileMode mode, const std::string& path) {
  const pid_t child = ::fork();
  if (child == 0) {
    ::alarm(300);
    TextFile file;
    ::_exit(OpenTextFile(file, mode, path));
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The import file must be a regular file: a FIFO (which no program writes)
// counts as none, at once; a link to a regular file is read through.
TEST(TextFile, TheImportFileMustBeARegularFile) {
  TempFolder temp;
  const fs::path fifo = temp.Path() / "import.csv";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  EXPECT_EQ(OpenInChild(TextFileMode::Read, fifo.string()), 1);
  EXPECT_EQ(OpenInChild(TextFileMode::CreateWrite, (temp.Path() / "b.csv").string()), 0);

  const fs::path real = temp.Path() / "real.csv";
  Store(real, "1,a\n");
  fs::create_symlink(real, temp.Path() / "link.csv");
  EXPECT_EQ(ReadAll(temp.Path() / "link.csv", 100), (std::vector<std::string>{"1,a\n", "<end>"}));
  TextFile file;
  EXPECT_EQ(OpenTextFile(file, TextFileMode::Read, "/dev/null"), 1);
}
#endif

}  // namespace
}  // namespace kestrel::testing
