// Text files: what is written is what is read back, lines are read at most
// so many characters at a time, and the opens refuse what they must.
#include "platform/text_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "tests/conduit_fixture.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
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

TEST(TextFile, CreatingEmptiesAnExistingFile) {
  TempFolder temp;
  const fs::path path = temp.Path() / "a.csv";
  Store(path, "old text that is longer");
  TextFile file;
  ASSERT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, path.string()), 0);
  EXPECT_EQ(file.Write("new"), 0);
  EXPECT_EQ(file.Close(), 0);
  EXPECT_EQ(Contents(path), "new");
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
// The lock is advisory and exclusive: a second writer is refused at once and
// leaves the file as it was; once the first has closed, it gets through.
TEST(TextFile, ABackupFileIsHeldForExclusiveUse) {
  TempFolder temp;
  const std::string path = (temp.Path() / "a.csv").string();
  TextFile first;
  ASSERT_EQ(OpenTextFile(first, TextFileMode::CreateWrite, path), 0);
  EXPECT_EQ(first.Write("first"), 0);

  TextFile second;
  EXPECT_EQ(OpenTextFile(second, TextFileMode::CreateWrite, path), 1);
  const int probe = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(probe, 0);
  EXPECT_NE(::flock(probe, LOCK_SH | LOCK_NB), 0);  // held by `first`

  TextFile reader;  // reading takes no lock and is not kept out
  EXPECT_EQ(OpenTextFile(reader, TextFileMode::Read, path), 0);

  EXPECT_EQ(first.Close(), 0);
  EXPECT_EQ(Contents(path), "first");
  EXPECT_EQ(::flock(probe, LOCK_SH | LOCK_NB), 0);  // given up on close
  ::close(probe);
  EXPECT_EQ(OpenTextFile(second, TextFileMode::CreateWrite, path), 0);
  EXPECT_EQ(second.Close(), 0);
  EXPECT_EQ(Contents(path), "");
}
#endif

}  // namespace
}  // namespace kestrel::testing
