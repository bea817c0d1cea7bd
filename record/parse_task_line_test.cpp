// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "record/codec_test_support.h"
#include "record/task_record.h"

namespace {

using kestrel::testing::kUntouched;
using kestrel::testing::RecordBytes;
using kestrel::testing::TestTransfer;
using namespace std::string_view_literals;

constexpr std::uint32_t kEarlierSize = 0x1234;

struct ParseCase {
  const char* label;
  std::string_view line;
  int result;
  std::vector<std::uint8_t> bytes;  // the 74 buffer bytes afterwards
};

std::vector<std::uint8_t> Rejected(std::uint8_t idByte = kUntouched) {
  std::vector<std::uint8_t> bytes(kTaskRecordSize, kUntouched);
  bytes[0] = idByte;
  return bytes;
}

const std::vector<ParseCase>& Cases() {
  static const std::vector<ParseCase> cases = {
      {"a complete line", "1,Mon 4/13/98,5 days,Fri 4/17/98,,0%,Design,Bob"sv, 0,
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00},
                   {"Design", "Bob"})},
      {"predecessor and percent", "12,Tue 1/5/00,3 days,Thu 1/7/00,11,50%,Test,Ann"sv, 0,
       RecordBytes({0x0C, 0x00, 0xC0, 0x25, 0x00, 0x03, 0xC0, 0x27, 0x0B, 0x32}, {"Test", "Ann"})},
      {"CR LF line end", "1,Mon 4/13/98,5 days,Fri 4/17/98,,0%,Design,Bob\r\n"sv, 0,
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00},
                   {"Design", "Bob"})},

      // Years: two digits count from 1990 to 2089, longer ones are the year.
      {"years 89 and 90", "3,Mon 1/1/89,1 days,Tue 1/1/90,,0%,A,B"sv, 0,
       RecordBytes({0x03, 0x00, 0x72, 0x21, 0x00, 0x01, 0xAC, 0x21, 0x00, 0x00}, {"A", "B"})},
      {"years 99 and 100", "4,Mon 1/2/99,1 days,Tue 1/2/100,,0%,A,B"sv, 0,
       RecordBytes({0x04, 0x00, 0xBE, 0x22, 0x00, 0x01, 0xE8, 0x22, 0x00, 0x00}, {"A", "B"})},
      {"four-digit years", "2,Mon 4/13/1998,5 days,Fri 4/17/2031,,0%,X,Y"sv, 0,
       RecordBytes({0x02, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xFE, 0x91, 0x00, 0x00}, {"X", "Y"})},
      {"2032 wraps to 1904, 00 is 2000", "5,Thu 1/1/2032,1 days,Sat 1/1/00,,0%,X,Y"sv, 0,
       RecordBytes({0x05, 0x00, 0x00, 0x21, 0x00, 0x01, 0xC0, 0x21, 0x00, 0x00}, {"X", "Y"})},
      {"month and day modulo their widths", "6,Mon 17/33/98,1 days,Tue -1/-1/98,,0%,X,Y"sv, 0,
       RecordBytes({0x06, 0x00, 0xBC, 0x21, 0x00, 0x01, 0xBD, 0xFF, 0x00, 0x00}, {"X", "Y"})},

      // Numbers.
      {"duration unit ignored", "7,Mon 4/13/98,2 wks,Fri 4/17/98,,0%,X,Y"sv, 0,
       RecordBytes({0x07, 0x00, 0xBC, 0x8D, 0x00, 0x02, 0xBC, 0x91, 0x00, 0x00}, {"X", "Y"})},
      {"duration keeps its low 16 bits", "7,Mon 4/13/98,70000 days,Fri 4/17/98,,0%,X,Y"sv, 0,
       RecordBytes({0x07, 0x00, 0xBC, 0x8D, 0x11, 0x70, 0xBC, 0x91, 0x00, 0x00}, {"X", "Y"})},
      {"signs and leading space", "-56,Mon 4/13/98,+3 days,Fri 4/17/98, 200,-1%,X,Y"sv, 0,
       RecordBytes({0xC8, 0x00, 0xBC, 0x8D, 0x00, 0x03, 0xBC, 0x91, 0xC8, 0xFF}, {"X", "Y"})},
      {"ID of 300 keeps its low byte", "300,Mon 4/13/98,1 days,Fri 4/17/98,,0%,X,Y"sv, 0,
       RecordBytes({0x2C, 0x00, 0xBC, 0x8D, 0x00, 0x01, 0xBC, 0x91, 0x00, 0x00}, {"X", "Y"})},
      {"numbers past the range clamp high",
       "4294967297,Mon 4/13/98,4294967297 days,Fri 4/17/98,4294967297,4294967297%,X,Y"sv, 0,
       RecordBytes({0xFF, 0x00, 0xBC, 0x8D, 0xFF, 0xFF, 0xBC, 0x91, 0xFF, 0xFF}, {"X", "Y"})},
      {"numbers past the range clamp low",
       "-4294967297,Mon 4/13/98,-4294967297 days,Fri 4/17/98,-4294967297,-4294967297%,X,Y"sv, 0,
       RecordBytes({0x00, 0x00, 0xBC, 0x8D, 0x00, 0x00, 0xBC, 0x91, 0x00, 0x00}, {"X", "Y"})},
      {"words where numbers belong", "abc,Mon 4/13/98,many days,Fri 4/17/98,x,y%,X,Y"sv, 0,
       RecordBytes({0x00, 0x00, 0xBC, 0x8D, 0x00, 0x00, 0xBC, 0x91, 0x00, 0x00}, {"X", "Y"})},

      // Text fields.
      {"name over 31 characters, resources of exactly 31",
       "8,Mon 4/13/98,5 days,Fri 4/17/98,,0%,ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789,"
       "abcdefghijklmnopqrstuvwxyz01234"sv,
       0,
       RecordBytes({0x08, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00},
                   {"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", "abcdefghijklmnopqrstuvwxyz01234"})},
      {"name of 32 characters",
       "8,Mon 4/13/98,5 days,Fri 4/17/98,,0%,ABCDEFGHIJKLMNOPQRSTUVWXYZ012345,"
       "abcdefghijklmnopqrstuvwxyz0123456"sv,
       0,
       RecordBytes({0x08, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00},
                   {"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", "abcdefghijklmnopqrstuvwxyz01234"})},
      {"a comma ends the name", "1,Mon 4/13/98,5 days,Fri 4/17/98,,0%,Design, phase 2,Bob, Ann"sv,
       0,
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00},
                   {"Design", " phase 2,Bob, Ann"})},
      {"quotation marks mean nothing",
       "1,Mon 4/13/98,5 days,Fri 4/17/98,,0%,\"Design, phase 2\",Bob"sv, 0,
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00},
                   {"\"Design", " phase 2\",Bob"})},
      {"% in the name after the percent", "1,Mon 4/13/98,5 days,Fri 4/17/98,,10%,50% review,Bob"sv,
       0,
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x0A},
                   {"50% review", "Bob"})},
      {"white space kept inside, trimmed at the end",
       "1,Mon 4/13/98,5 days,Fri 4/17/98,,0%, De\tsign ,  Bob  \t \r\n"sv, 0,
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00},
                   {" De\tsign ", "  Bob"})},

      // Missing delimiters: later fields land earlier, the rest is not written.
      {"no % anywhere", "1,Mon 4/13/98,5 days,Fri 4/17/98,3,,Design,Bob"sv, 0,
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x03}, {"Design", "Bob"})},
      {"% inside the name ends the percent field",
       "1,Mon 4/13/98,5 days,Fri 4/17/98,3,,Cut 50% off,Bob"sv, 0,
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x03, 0x00}, {"Bob"})},
      {"line ends after the finish date", "1,Mon 4/13/98,5 days,Fri 4/17/98"sv, 0,
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0x00, 0x91}, {"98"})},
      {"start date without its leading word", "1,4/13/98,5 days,Fri 4/17/98,,0%,Design,Bob"sv, 0,
       RecordBytes({0x01, 0x00, 0xBC, 0x11, 0x00, 0x00, 0xC0, 0x00, 0x00}, {"Bob"})},
      {"no space after the start date", "9,Mon 4/13/98,5days"sv, 0,
       RecordBytes({0x09, 0x00, 0xBC, 0x8D, 0x00, 0x00, 0x00, 0x00}, {"5days"})},
      {"the column names", "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names"sv,
       0, RecordBytes({0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00}, {"Names"})},
      {"ID and seven commas and more", "7,,,,,,,x"sv, 0,
       RecordBytes({0x07, 0x00, 0xC0, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00}, {"", "x"})},
      {"ID and six commas", "7,,,,,,"sv, 0,
       RecordBytes({0x07, 0x00, 0xC0, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00}, {""})},
      {"bytes that are not text", "\x80\xFF,\xA0 1/2/3,\0\xFF"sv, 0,
       RecordBytes({0x00, 0x00, 0xC6, 0x22, 0x00, 0x00, 0x00, 0x00}, {"\0\xFF"sv})},

      // Rejected lines write at most the ID byte.
      {"starts with a comma", ",1,Mon 4/13/98,5 days,Fri 4/17/98,,0%,Design,Bob"sv, 1, Rejected()},
      {"only commas", ",,,,,,,,"sv, 1, Rejected()},
      {"no comma", "no comma here"sv, 1, Rejected()},
      {"empty", ""sv, 1, Rejected()},
      {"only white space", " \t\r\n"sv, 1, Rejected()},
      {"binary without a comma", "\0\x01\x80\xFF"sv, 1, Rejected()},
      {"empty row", "7,,,,,,,"sv, 1, Rejected(0x07)},
      {"empty row with trailing white space", "7,,,,,,,  \t\r\n"sv, 1, Rejected(0x07)},
      {"empty row keeps the ID's low byte", "300,,,,,,,"sv, 1, Rejected(0x2C)},
  };
  return cases;
}

TEST(ParseTaskLine, TurnsLinesIntoExactRecordBytes) {
  for (const ParseCase& c : Cases()) {
    SCOPED_TRACE(c.label);
    TestTransfer t;
    t.Fill(kUntouched);
    t.transfer.recordSize = kEarlierSize;
    EXPECT_EQ(ParseTaskLine(c.line, t.transfer), c.result);
    EXPECT_EQ(std::uint32_t{t.transfer.recordSize}, c.result == 0 ? kTaskRecordSize : kEarlierSize);
    EXPECT_EQ(t.Record(), c.bytes);
  }
}

TEST(ParseTaskLine, KeepsBufferBytesALaterLineDoesNotWrite) {
  TestTransfer t;
  t.Fill(kUntouched);
  ASSERT_EQ(ParseTaskLine("1,Mon 4/13/98,5 days,Fri 4/17/98,3,40%,Design,Bob", t.transfer), 0);
  // Ends after its finish date: the resources land at offset 8 and nothing
  // from offset 40 on is written.
  ASSERT_EQ(ParseTaskLine("2,Tue 1/5/00,3 days,Thu 1/7/00", t.transfer), 0);

  std::vector<std::uint8_t> expected =
      RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x03, 0x28}, {"Design", "Bob"});
  const std::vector<std::uint8_t> second =
      RecordBytes({0x02, 0x00, 0xC0, 0x25, 0x00, 0x03, 0x00, 0x27}, {"00"});
  std::copy(second.begin(), second.begin() + 40, expected.begin());
  EXPECT_EQ(t.Record(), expected);
  EXPECT_EQ(std::uint32_t{t.transfer.recordSize}, kTaskRecordSize);

  // A rejected line changes nothing past the ID byte.
  ASSERT_EQ(ParseTaskLine("9,,,,,,,", t.transfer), 1);
  expected[0] = 0x09;
  EXPECT_EQ(t.Record(), expected);
}

TEST(ParseTaskLine, RejectsATransferWithoutRoomForARecord) {
  RecordTransfer none{};
  EXPECT_EQ(ParseTaskLine("1,Mon 4/13/98,5 days,Fri 4/17/98,,0%,Design,Bob", none), 1);
  EXPECT_EQ(std::uint32_t{none.recordSize}, 0u);

  TestTransfer small;
  small.Fill(kUntouched);
  small.transfer.bufferCapacity = kTaskRecordSize - 1;
  EXPECT_EQ(ParseTaskLine("1,Mon 4/13/98,5 days,Fri 4/17/98,,0%,Design,Bob", small.transfer), 1);
  EXPECT_EQ(small.Record(), Rejected());
  small.transfer.bufferCapacity = kRecordBufferSize;  // lets the buffer be released
}

// Long lines, past the 4478 characters the import reads at a time, give the
// same record bytes as any other line: the parser reads every line in place.
const std::string kLongLineDates = "Mon 4/13/98,5 days,Fri 4/17/98,";

TEST(ParseTaskLine, ReadsLongLinesLikeShortOnes) {
  const std::string& dates = kLongLineDates;
  const std::string many(5000, 'x');
  const std::string kept(31, 'x');  // what a text field keeps of it
  struct LongCase {
    const char* label;
    std::string line;
    int result;
    std::vector<std::uint8_t> bytes;
  };
  const std::vector<LongCase> cases = {
      {"a name of 5000 characters", "1," + dates + ",0%," + many + ",Bob", 0,
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00}, {kept, "Bob"})},
      {"resources of 5000 characters", "1," + dates + ",0%,Design," + many, 0,
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00}, {"Design", kept})},
      {"an ID after 5000 zeros", std::string(5000, '0') + "12," + dates + ",0%,A,B", 0,
       RecordBytes({0x0C, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00}, {"A", "B"})},
      {"a duration of 5000 digits clamps",
       "1,Mon 4/13/98," + std::string(5000, '9') + " days,Fri 4/17/98,,0%,A,B", 0,
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0xFF, 0xFF, 0xBC, 0x91, 0x00, 0x00}, {"A", "B"})},
      {"no % in a long line", "1," + dates + "3,," + many + ",Bob", 0,
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x03}, {kept, "Bob"})},
      {"a long line ending in its name's comma", "1," + dates + ",0%," + many + ",", 0,
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00}, {kept, ""})},
      {"no comma in a long line", many, 1, RecordBytes({kUntouched}, {})},
  };
  for (const LongCase& c : cases) {
    SCOPED_TRACE(c.label);
    TestTransfer t;
    t.Fill(kUntouched);
    EXPECT_EQ(ParseTaskLine(c.line, t.transfer), c.result);
    EXPECT_EQ(t.Record(), c.bytes);
  }
}

// Every length from 4600 to 4620 characters, a line break after it: the same
// record whatever the length.
TEST(ParseTaskLine, ReadsTheSameAtEveryLongLength) {
  const std::string start = "1," + kLongLineDates + ",0%,";
  const std::vector<std::uint8_t> expected = RecordBytes(
      {0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00}, {std::string(31, 'n'), "Bob"});
  for (std::size_t length = 4600; length <= 4620; ++length) {
    SCOPED_TRACE(length);
    const std::string line = start + std::string(length - start.size() - 4, 'n') + ",Bob";
    ASSERT_EQ(line.size(), length);
    TestTransfer t;
    t.Fill(kUntouched);
    EXPECT_EQ(ParseTaskLine(line + "\r\n", t.transfer), 0);
    EXPECT_EQ(t.Record(), expected);
  }
}

}  // namespace
