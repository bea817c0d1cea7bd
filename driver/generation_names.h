// SPDX-License-Identifier: MIT
// The names of the generations in the backup history: "YYYYMMDD-HHMMSS.csv",
// the UTC time of the sync that kept it, with "-2", "-3" ... before ".csv"
// when a generation of that second is there already. Generations are ordered
// by that time, then by their number (none counts as 1), never by file times
// or by plain name order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// The most generations that a folder of the history keeps.
inline constexpr std::size_t kKeptGenerations = 20;

// A moment as "YYYYMMDD-HHMMSS", from seconds since 1970-01-01 UTC.
std::string GenerationTime(std::int64_t secondsSince1970);

// The file name of the generation of `time` with `number` (1: none).
std::string GenerationName(std::string_view time, unsigned number);

struct Generation {
  std::string name;
  std::string time;      // "YYYYMMDD-HHMMSS"
  std::uint64_t number;  // 1 when the name has none
  bool operator<(const Generation& other) const {
    return time != other.time ? time < other.time : number < other.number;
  }
};

// The generation that `name` is, or nothing when it is not of the form: 8
// digits, "-", 6 digits, optionally "-" and a number from 2 without leading
// zeros, ".csv".
std::optional<Generation> ParseGeneration(std::string_view name);

// The generations among `names` whose time is not later than `now`, oldest
// first; later ones are left out (a clock that was ahead): they are neither
// counted nor ever removed.
std::vector<Generation> GenerationsUpTo(const std::vector<std::string>& names,
                                        std::string_view now);

// The number for a new generation of `time` among `names`: one past the
// highest of that time, so that a new one is always the newest of its
// second even when older ones of it were removed; 1 when there is none.
unsigned NextGenerationNumber(const std::vector<std::string>& names, std::string_view time);

// Which of `generations` (oldest first) go so that kKeptGenerations stay,
// never `kept`, the one just added: the oldest beyond the limit.
std::vector<std::string> GenerationsToRemove(const std::vector<Generation>& generations,
                                             std::string_view kept);

}  // namespace kestrel
