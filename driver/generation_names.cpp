// SPDX-License-Identifier: MIT
#include "driver/generation_names.h"

#include <algorithm>
#include <cstdio>

namespace kestrel {
namespace {

constexpr std::string_view kCsv = ".csv";

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The civil date of a day counted from 1970-01-01 (the proleptic Gregorian
// calendar), without the C library's time zone.
struct Date {
  std::int64_t year;
  unsigned month;
  unsigned day;
};
constexpr Date DateOfDay(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned shifted = (5 * dayOfYear + 2) / 153;
  const unsigned day = dayOfYear - (153 * shifted + 2) / 5 + 1;
  const unsigned month = shifted < 10 ? shifted + 3 : shifted - 9;
  return {static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0), month, day};
}
static_assert(DateOfDay(0).year == 1970 && DateOfDay(0).month == 1 && DateOfDay(0).day == 1);
static_assert(DateOfDay(20798).year == 2026 && DateOfDay(20798).month == 12);

}  // namespace

std::string GenerationTime(std::int64_t secondsSince1970) {
  std::int64_t days = secondsSince1970 / 86400;
  std::int64_t seconds = secondsSince1970 % 86400;
  if (seconds < 0) {
    seconds += 86400;
    --days;
  }
  const Date date = DateOfDay(days);
  char text[32];
  std::snprintf(text, sizeof text, "%04lld%02u%02u-%02u%02u%02u",
                static_cast<long long>(std::clamp<std::int64_t>(date.year, 0, 9999)), date.month,
                date.day, static_cast<unsigned>(seconds / 3600),
                static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
  return text;
}

std::string GenerationName(std::string_view time, unsigned number) {
  std::string name(time);
  if (number > 1) name += "-" + std::to_string(number);
  return name.append(kCsv);
}

std::optional<Generation> ParseGeneration(std::string_view name) {
  constexpr std::size_t kTimeLength = 15;  // YYYYMMDD-HHMMSS
  if (name.size() < kTimeLength + kCsv.size() || !name.ends_with(kCsv)) return std::nullopt;
  const std::string_view time = name.substr(0, kTimeLength);
  if (!AllDigits(time.substr(0, 8)) || time[8] != '-' || !AllDigits(time.substr(9))) {
    return std::nullopt;
  }
  std::string_view rest = name.substr(kTimeLength, name.size() - kTimeLength - kCsv.size());
  std::uint64_t number = 1;
  if (!rest.empty()) {
    // "-" and a number of at most 9 digits, from 2, without leading zeros.
    rest.remove_prefix(1);
    if (name[kTimeLength] != '-' || !AllDigits(rest) || rest[0] == '0' || rest.size() > 9) {
      return std::nullopt;
    }
    number = std::stoull(std::string(rest));
    if (number < 2) return std::nullopt;
  }
  return Generation{std::string(name), std::string(time), number};
}

std::vector<Generation> GenerationsUpTo(const std::vector<std::string>& names,
                                        std::string_view now) {
  std::vector<Generation> generations;
  for (const std::string& name : names) {
    std::optional<Generation> generation = ParseGeneration(name);
    if (generation && generation->time <= now) generations.push_back(std::move(*generation));
  }
  std::sort(generations.begin(), generations.end());
  return generations;
}

unsigned NextGenerationNumber(const std::vector<std::string>& names, std::string_view time) {
  std::uint64_t highest = 0;
  for (const std::string& name : names) {
    const std::optional<Generation> generation = ParseGeneration(name);
    if (generation && generation->time == time) highest = std::max(highest, generation->number);
  }
  return static_cast<unsigned>(highest + 1);
}

std::vector<std::string> GenerationsToRemove(const std::vector<Generation>& generations,
                                             std::string_view kept) {
  std::vector<std::string> remove;
  std::size_t left = generations.size();
  for (const Generation& generation : generations) {
    if (left <= kKeptGenerations) break;
    if (generation.name == kept) continue;
    remove.push_back(generation.name);
    --left;
  }
  return remove;
}

}  // namespace kestrel
