// SPDX-License-Identifier: MIT
#include "tools/csv/plan/civil_date.h"

#include <gtest/gtest.h>

namespace kestrel::plan {
namespace {

TEST(CivilDate, DayNumbersWeekdaysAndCalendarDates) {
  EXPECT_EQ(DayNumber({1970, 1, 1}), 0);
  EXPECT_EQ(DayNumber({1904, 1, 1}), -24107);
  EXPECT_EQ(DateOfDayNumber(DayNumber({2000, 2, 29})), (CivilDate{2000, 2, 29}));
  for (std::int64_t day = -30000; day < 30000; day += 37) {
    EXPECT_EQ(DayNumber(DateOfDayNumber(day)), day);
  }
  EXPECT_STREQ(WeekdayName({1998, 4, 13}), "Mon");
  EXPECT_STREQ(WeekdayName({2031, 12, 31}), "Wed");
  EXPECT_TRUE(IsCalendarDate({2024, 2, 29}));
  EXPECT_FALSE(IsCalendarDate({2100, 2, 29}));
  EXPECT_FALSE(IsCalendarDate({2031, 15, 0}));
}

TEST(CivilDate, WorkingDays) {
  // Mon 13 Apr 2026 .. Fri 17 Apr: 5; to the next Monday: 6; a weekend: 0.
  EXPECT_EQ(WorkingDaysBetween({2026, 4, 13}, {2026, 4, 17}), 5);
  EXPECT_EQ(WorkingDaysBetween({2026, 4, 13}, {2026, 4, 20}), 6);
  EXPECT_EQ(WorkingDaysBetween({2026, 4, 18}, {2026, 4, 19}), 0);
  EXPECT_EQ(WorkingDaysBetween({2026, 4, 17}, {2026, 4, 13}), 0);
  EXPECT_EQ(WorkingDaysBetween({2026, 1, 1}, {2026, 12, 31}), 261);
  EXPECT_EQ(NextWorkingDay({2026, 4, 17}), (CivilDate{2026, 4, 20}));
  EXPECT_EQ(NextWorkingDay({2026, 4, 13}), (CivilDate{2026, 4, 14}));
}

TEST(CivilDate, IsoDates) {
  EXPECT_EQ(IsoDate({2026, 4, 3}), "2026-04-03");
  EXPECT_EQ(ParseIsoDate("2026-04-03"), (CivilDate{2026, 4, 3}));
  for (const char* bad : {"2026-4-03", "2026-02-30", "2026-04-03x", "20260403", "2026-0a-01"}) {
    EXPECT_FALSE(ParseIsoDate(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace kestrel::plan
