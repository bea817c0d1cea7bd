// SPDX-License-Identifier: MIT
// Calendar dates as planners count them: a proleptic Gregorian day, its
// weekday, and working days Monday to Friday. Pure arithmetic, no clock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel::plan {

struct CivilDate {
  std::int32_t year = 0;
  std::int32_t month = 0;  // 1-12 for a calendar date
  std::int32_t day = 0;    // 1-31 for a calendar date

  friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

// True when month and day form a day of that year's calendar.
bool IsCalendarDate(const CivilDate& date);

// Days since 1970-01-01 (negative before it) of a calendar date.
std::int64_t DayNumber(const CivilDate& date);
CivilDate DateOfDayNumber(std::int64_t days);

// 0 for Sunday to 6 for Saturday, of a calendar date.
int Weekday(const CivilDate& date);
// "Sun" .. "Sat".
const char* WeekdayName(const CivilDate& date);
bool IsWorkingDay(const CivilDate& date);

// The first working day after `date`.
CivilDate NextWorkingDay(const CivilDate& date);

// Monday-to-Friday days from `first` to `last`, both counted; 0 when `last`
// is before `first`.
std::int32_t WorkingDaysBetween(const CivilDate& first, const CivilDate& last);

// "YYYY-MM-DD", the form of --today and of project XML dates.
std::string IsoDate(const CivilDate& date);
// A calendar date from exactly "YYYY-MM-DD", or nothing.
std::optional<CivilDate> ParseIsoDate(std::string_view text);

}  // namespace kestrel::plan
