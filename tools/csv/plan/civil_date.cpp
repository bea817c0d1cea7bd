// SPDX-License-Identifier: MIT
#include "tools/csv/plan/civil_date.h"

#include <cstdio>

// Day numbers follow the well-known days-from-civil reckoning: years start
// in March, so that the leap day ends a year, and eras of 400 years repeat.

namespace kestrel::plan {
namespace {

bool IsLeapYear(std::int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(std::int32_t year, std::int32_t month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }

}  // namespace

bool IsCalendarDate(const CivilDate& date) {
  return date.month >= 1 && date.month <= 12 && date.day >= 1 &&
         date.day <= DaysInMonth(date.year, date.month);
}

std::int64_t DayNumber(const CivilDate& date) {
  const std::int64_t year = date.year - (date.month <= 2 ? 1 : 0);
  const std::int64_t era = FloorDiv(year, 400);
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t monthFromMarch = (date.month + 9) % 12;
  const std::int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + date.day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

CivilDate DateOfDayNumber(std::int64_t days) {
  days += 719468;
  const std::int64_t era = FloorDiv(days, 146097);
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  const auto day = static_cast<std::int32_t>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  const auto month =
      static_cast<std::int32_t>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
  const auto year = static_cast<std::int32_t>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
  return CivilDate{year, month, day};
}

int Weekday(const CivilDate& date) {
  // 1970-01-01 was a Thursday.
  return static_cast<int>((DayNumber(date) % 7 + 7 + 4) % 7);
}

const char* WeekdayName(const CivilDate& date) {
  static constexpr const char* kNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  return kNames[Weekday(date)];
}

bool IsWorkingDay(const CivilDate& date) {
  const int weekday = Weekday(date);
  return weekday != 0 && weekday != 6;
}

CivilDate NextWorkingDay(const CivilDate& date) {
  CivilDate next = DateOfDayNumber(DayNumber(date) + 1);
  while (!IsWorkingDay(next)) next = DateOfDayNumber(DayNumber(next) + 1);
  return next;
}

std::int32_t WorkingDaysBetween(const CivilDate& first, const CivilDate& last) {
  const std::int64_t from = DayNumber(first);
  const std::int64_t to = DayNumber(last);
  if (to < from) return 0;
  // Whole weeks hold five working days each; the days left over are counted.
  const std::int64_t span = to - from + 1;
  std::int64_t count = span / 7 * 5;
  for (std::int64_t day = from + span / 7 * 7; day <= to; ++day) {
    if (IsWorkingDay(DateOfDayNumber(day))) ++count;
  }
  return static_cast<std::int32_t>(count);
}

std::string IsoDate(const CivilDate& date) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", static_cast<int>(date.year),
                static_cast<int>(date.month), static_cast<int>(date.day));
  return text;
}

std::optional<CivilDate> ParseIsoDate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  std::int32_t parts[3] = {};
  const std::size_t starts[3] = {0, 5, 8};
  const std::size_t lengths[3] = {4, 2, 2};
  for (int i = 0; i < 3; ++i) {
    for (std::size_t k = starts[i]; k < starts[i] + lengths[i]; ++k) {
      if (text[k] < '0' || text[k] > '9') return std::nullopt;
      parts[i] = parts[i] * 10 + (text[k] - '0');
    }
  }
  const CivilDate date{parts[0], parts[1], parts[2]};
  if (!IsCalendarDate(date)) return std::nullopt;
  return date;
}

}  // namespace kestrel::plan
