// SPDX-License-Identifier: MIT
#include "record/task_record.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(SwapBytes16, ExchangesTheTwoBytes) {
  EXPECT_EQ(SwapBytes16(0xBC8D), 0x8DBC);
  EXPECT_EQ(SwapBytes16(0x0001), 0x0100);
  EXPECT_EQ(SwapBytes16(0xFF00), 0x00FF);
  EXPECT_EQ(SwapBytes16(0x0000), 0x0000);
}

TEST(Field16, IsStoredMostSignificantByteFirst) {
  std::uint8_t field[2] = {};
  StoreField16(field, 0xBC8D);
  EXPECT_EQ(field[0], 0xBC);
  EXPECT_EQ(field[1], 0x8D);
  EXPECT_EQ(LoadField16(field), 0xBC8D);

  const std::uint8_t stored[2] = {0x01, 0x00};
  EXPECT_EQ(LoadField16(stored), 256);
}

TEST(PackedDate, PacksEachFieldModuloItsWidth) {
  struct Case {
    std::int32_t year, month, day;
    std::uint16_t value;
  };
  const Case cases[] = {
      {1998, 4, 13, 0xBC8D},                           // 13 April 1998
      {1904, 0, 0, 0x0000},                            // every field at its lowest
      {2031, 15, 31, 0xFFFF},                          // every field at its highest
      {2032, 1, 1, 0x0021},                            // the years wrap past 2031 ...
      {1903, 1, 1, 0xFE21},                            // ... and below 1904
      {2089, 1, 1, 0x7221},                            // 2089 is stored as 1961
      {2000, 16, 32, 0xC000},                          // month and day wrap to 0
      {2000, 17, 33, 0xC021}, {2000, -1, -1, 0xC1FF},  // negative values wrap as well
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.year << "/" << c.month << "/" << c.day);
    EXPECT_EQ(PackedDate::Pack(c.year, c.month, c.day).value, c.value);
  }
}

TEST(PackedDate, UnpacksTheStoredFields) {
  const PackedDate date{0xBC8D};
  EXPECT_EQ(date.Year(), 1998);
  EXPECT_EQ(date.Month(), 4);
  EXPECT_EQ(date.Day(), 13);

  // Month and day come back as stored, calendar date or not.
  const PackedDate odd{0xFFE0};
  EXPECT_EQ(odd.Year(), 2031);
  EXPECT_EQ(odd.Month(), 15);
  EXPECT_EQ(odd.Day(), 0);

  const PackedDate zero{0};
  EXPECT_EQ(zero.Year(), 1904);
  EXPECT_EQ(zero.Month(), 0);
  EXPECT_EQ(zero.Day(), 0);
}

}  // namespace
