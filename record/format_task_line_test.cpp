// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "record/codec_test_support.h"
#include "record/format_task_line_cases.h"
#include "record/task_record.h"

namespace {

using kestrel::testing::FormatCase;
using kestrel::testing::FormatCases;
using kestrel::testing::RecordBytes;
using kestrel::testing::TestTransfer;
using namespace std::string_view_literals;

TEST(FormatTaskLine, TurnsRecordBytesIntoExactLines) {
  for (const FormatCase& c : FormatCases()) {
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
