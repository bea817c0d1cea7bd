// SPDX-License-Identifier: MIT
// A realistic, repeatable mix of the conduit's inputs for benchmarks: import
// lines as a spreadsheet writes them and task records as a handheld holds
// them. The same seed always gives the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "record/task_record.h"

namespace kestrel::bench {

// Import lines, each ending in "\n" as the import pass hands them to the
// parser: the six lines of the sample import file, then generated ones with
// names and resources of 0 to 31 characters, one-day and many-day durations,
// empty predecessor columns, and now and then a row holding only its ID, a
// percent column without "%", a name holding a comma or a line longer than
// a record holds.
std::vector<std::string> ImportLineMix(std::size_t count, std::uint64_t seed = 1);

// Live task records with every field in its usual range: names and
// resources of 0 to 31 characters, dates of 2024 to 2027, predecessors on
// most tasks, percentages in steps of 10, now and then a negative or large
// value.
std::vector<TaskRecord> TaskRecordMix(std::size_t count, std::uint64_t seed = 1);

// A small, fast pseudo-random sequence (splitmix64), so that every run and
// every machine draws the same values.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  // A value from 0 to bound - 1.
  std::uint32_t Below(std::uint32_t bound) { return static_cast<std::uint32_t>(Next() % bound); }
  // True with the chance of `percent` in 100.
  bool Chance(std::uint32_t percent) { return Below(100) < percent; }

 private:
  std::uint64_t state_;
};

}  // namespace kestrel::bench
