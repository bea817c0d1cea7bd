// Long lines, past the 4478 characters the import reads at a time, give the
// same record bytes as any other line: the parser reads every line in place.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "record/codec_test_support.h"
#include "record/task_record.h"

namespace {

using kestrel::testing::kUntouched;
using kestrel::testing::RecordBytes;
using kestrel::testing::TestTransfer;

const std::string kDates = "Mon 4/13/98,5 days,Fri 4/17/98,";
const std::vector<std::uint8_t> kHead = {0x01, 0x00, 0xBC, 0x8D, 0x00,
                                         0x05, 0xBC, 0x91, 0x00, 0x00};

struct LongCase {
  const char* label;
  std::string line;
  int result;
  std::vector<std::uint8_t> bytes;
};

std::vector<std::uint8_t> Expect(std::initializer_list<std::uint8_t> head, const std::string& name,
                                 const std::string& resources) {
  return RecordBytes(head, {name, resources});
}

TEST(ParseTaskLine, ReadsLongLinesLikeShortOnes) {
  const std::string many(5000, 'x');
  const std::string kept(31, 'x');  // what a text field keeps of it
  const std::vector<LongCase> cases = {
      {"a name of 5000 characters", "1," + kDates + ",0%," + many + ",Bob", 0,
       Expect({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00}, kept, "Bob")},
      {"resources of 5000 characters", "1," + kDates + ",0%,Design," + many, 0,
       Expect({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00}, "Design", kept)},
      {"an ID after 5000 zeros", std::string(5000, '0') + "12," + kDates + ",0%,A,B", 0,
       Expect({0x0C, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00}, "A", "B")},
      {"a duration of 5000 digits clamps",
       "1,Mon 4/13/98," + std::string(5000, '9') + " days,Fri 4/17/98,,0%,A,B", 0,
       Expect({0x01, 0x00, 0xBC, 0x8D, 0xFF, 0xFF, 0xBC, 0x91, 0x00, 0x00}, "A", "B")},
      {"no % in a long line", "1," + kDates + "3,," + many + ",Bob", 0,
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x03}, {kept, "Bob"})},
      {"a long line ending in its name's comma", "1," + kDates + ",0%," + many + ",", 0,
       Expect({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00}, kept, "")},
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

// Lengths around 4.5 KiB, where the parser's block-wise searches end in a
// partial block at every alignment: the same record whatever the length.
TEST(ParseTaskLine, ReadsTheSameAtEveryLongLength) {
  const std::string head = "1," + kDates + ",0%,";
  const std::vector<std::uint8_t> expected = Expect(
      {0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00}, std::string(31, 'n'), "Bob");
  for (std::size_t length = 4600; length <= 4620; ++length) {
    SCOPED_TRACE(length);
    const std::string line = head + std::string(length - head.size() - 4, 'n') + ",Bob";
    ASSERT_EQ(line.size(), length);
    TestTransfer t;
    t.Fill(kUntouched);
    EXPECT_EQ(ParseTaskLine(line + "\r\n", t.transfer), 0);
    EXPECT_EQ(t.Record(), expected);
  }
}

}  // namespace
