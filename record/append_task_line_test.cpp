// SPDX-License-Identifier: MIT
// AppendTaskLine writes what FormatTaskLine writes, after the text already
// there.
#include <gtest/gtest.h>

#include <string>

#include "record/codec_test_support.h"
#include "record/task_record.h"

namespace {

using kestrel::testing::RecordBytes;
using kestrel::testing::TestTransfer;

TEST(AppendTaskLine, AddsTheLineAfterTheText) {
  TestTransfer t;
  t.Load(
      RecordBytes({0xC8, 0x00, 0xFF, 0xE0, 0xFF, 0xFF, 0x00, 0x21, 0x05, 0x64}, {"Design", "Bob"}));
  std::string text = "\nbefore,";
  EXPECT_EQ(AppendTaskLine(t.transfer, text), 0);
  EXPECT_EQ(text, "\nbefore,-56,15/0/2031,65535 days,1/1/1904,5,100%,Design,Bob");

  std::string line = "replaced";
  EXPECT_EQ(FormatTaskLine(t.transfer, line), 0);
  EXPECT_EQ("\nbefore," + line, text);
}

TEST(AppendTaskLine, LeavesTheTextAsItWasForARecordItSkips) {
  TestTransfer t;
  t.Load(RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00}, {"A", "B"}));
  t.transfer.attributes = 0x80;
  std::string text = "kept";
  EXPECT_EQ(AppendTaskLine(t.transfer, text), 1);
  EXPECT_EQ(text, "kept");

  const RecordTransfer none{};
  EXPECT_EQ(AppendTaskLine(none, text), 1);
  EXPECT_EQ(text, "kept");
}

}  // namespace
