#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "record/codec_test_support.h"
#include "record/task_record.h"

namespace {

using kestrel::testing::RecordBytes;
using kestrel::testing::TestTransfer;
using namespace std::string_view_literals;

struct FormatCase {
  const char* label;
  std::vector<std::uint8_t> bytes;
  std::string_view line;
};

const std::vector<FormatCase>& Cases() {
  static const std::vector<FormatCase> cases = {
      {"a complete record",
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00}, {"Design", "Bob"}),
       "1,4/13/1998,5 days,4/17/1998,,0%,Design,Bob"sv},
      {"negative ID, percent of 100",
       RecordBytes({0xC8, 0x00, 0xBC, 0x8D, 0x00, 0x01, 0xBC, 0x91, 0x00, 0x64}, {"X", "Y"}),
       "-56,4/13/1998,1 days,4/17/1998,,100%,X,Y"sv},
      {"ID 127",
       RecordBytes({0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, {"", ""}),
       "127,0/0/1904,0 days,0/0/1904,,0%,,"sv},
      {"ID 0x80",
       RecordBytes({0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, {"", ""}),
       "-128,0/0/1904,0 days,0/0/1904,,0%,,"sv},
      {"predecessor 1",
       RecordBytes({0x02, 0x00, 0xBC, 0x8D, 0x00, 0x01, 0xBC, 0x91, 0x01, 0x00}, {"X", "Y"}),
       "2,4/13/1998,1 days,4/17/1998,1,0%,X,Y"sv},
      {"predecessor 127",
       RecordBytes({0x02, 0x00, 0xBC, 0x8D, 0x00, 0x01, 0xBC, 0x91, 0x7F, 0x00}, {"X", "Y"}),
       "2,4/13/1998,1 days,4/17/1998,127,0%,X,Y"sv},
      {"predecessor 0x80 is none",
       RecordBytes({0x02, 0x00, 0xBC, 0x8D, 0x00, 0x01, 0xBC, 0x91, 0x80, 0x00}, {"X", "Y"}),
       "2,4/13/1998,1 days,4/17/1998,,0%,X,Y"sv},
      {"predecessor 0xFF is none",
       RecordBytes({0x02, 0x00, 0xBC, 0x8D, 0x00, 0x01, 0xBC, 0x91, 0xFF, 0x00}, {"X", "Y"}),
       "2,4/13/1998,1 days,4/17/1998,,0%,X,Y"sv},
      {"dates written as stored",
       RecordBytes({0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xE0, 0x00, 0x00}, {"X", "Y"}),
       "1,0/0/1904,1 days,15/0/2031,,0%,X,Y"sv},
      {"largest duration, percent 0xFF",
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0xFF, 0xFF, 0xBC, 0x91, 0x00, 0xFF}, {"X", "Y"}),
       "1,4/13/1998,65535 days,4/17/1998,,-1%,X,Y"sv},
      {"big-endian fields, reserved byte ignored",
       RecordBytes({0x01, 0xAB, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x21, 0x05, 0x32}, {"X", "Y"}),
       "1,15/31/2031,256 days,1/1/1904,5,50%,X,Y"sv},
      {"text copied unchanged",
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00},
                   {"Say \"hi\", ok", "50% \xE9t\xE9\t"}),
       "1,4/13/1998,5 days,4/17/1998,,0%,Say \"hi\", ok,50% \xE9t\xE9\t"sv},
      {"text ends at its NUL",
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00},
                   {"Bob\0junk"sv, "\0junk"sv}),
       "1,4/13/1998,5 days,4/17/1998,,0%,Bob,"sv},
      {"texts of 31 characters",
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00},
                   {"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", "abcdefghijklmnopqrstuvwxyz01234"}),
       "1,4/13/1998,5 days,4/17/1998,,0%,ABCDEFGHIJKLMNOPQRSTUVWXYZ01234,"
       "abcdefghijklmnopqrstuvwxyz01234"sv},
      {"texts without a NUL take their 32 bytes only",
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00},
                   {"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", "abcdefghijklmnopqrstuvwxyz012345"}),
       "1,4/13/1998,5 days,4/17/1998,,0%,ABCDEFGHIJKLMNOPQRSTUVWXYZ012345,"
       "abcdefghijklmnopqrstuvwxyz012345"sv},
  };
  return cases;
}

TEST(FormatTaskLine, TurnsRecordBytesIntoExactLines) {
  for (const FormatCase& c : Cases()) {
    SCOPED_TRACE(c.label);
    TestTransfer t;
    t.Fill('Z');  // what lies past the record must never reach the line
    t.Load(c.bytes);
    std::string line = "earlier contents";
    EXPECT_EQ(FormatTaskLine(t.transfer, line), 0);
    EXPECT_EQ(line, c.line);
  }
}

TEST(FormatTaskLine, OnlyTheDeletedBitDecides) {
  struct Case {
    std::uint8_t attributes;
    int result;
  };
  const Case cases[] = {{0x00, 0}, {0x40, 0}, {0x7F, 0}, {0x80, 1}, {0xC0, 1}, {0xFF, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "attributes " << int{c.attributes});
    TestTransfer t;
    t.Load(RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00},
                       {"Design", "Bob"}));
    t.transfer.attributes = c.attributes;
    // Neither the record ID, the category nor the record size is looked at.
    t.transfer.recordId = 0xFFFFFFFF;
    t.transfer.category = 0xFFFF;
    t.transfer.recordSize = 0;
    std::string line = "kept";
    EXPECT_EQ(FormatTaskLine(t.transfer, line), c.result);
    EXPECT_EQ(line, c.result == 0 ? "1,4/13/1998,5 days,4/17/1998,,0%,Design,Bob" : "kept");
  }
}

TEST(FormatTaskLine, SkipsATransferWithoutARecordBuffer) {
  const RecordTransfer none{};
  std::string line = "kept";
  EXPECT_EQ(FormatTaskLine(none, line), 1);
  EXPECT_EQ(line, "kept");
}

}  // namespace
