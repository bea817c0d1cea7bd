// SPDX-License-Identifier: MIT
#include "bench/task_mix.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace kestrel::bench {
namespace {

constexpr std::array<std::string_view, 6> kSampleImportLines = {
    "1,Mon 3/2/26,5 days,Fri 3/6/26,,100%,Plan the layout,Ann\n",
    "2,Mon 3/9/26,10 days,Fri 3/20/26,1,100%,Order cabinets,Bob\n",
    "3,Mon 3/23/26,2 days,Tue 3/24/26,2,60%,Fit the worktop,Ann and Bob\n",
    "4,Wed 3/25/26,3 days,Fri 3/27/26,3,0%,Tile the splashback,Carla\n",
    "5,,,,,,,\n",
    "6,Mon 3/30/26,1 day,Mon 3/30/26,4,0%,Final inspection,Ann\n",
};

constexpr std::array<std::string_view, 24> kWords = {
    "Plan",  "the",     "layout",  "Order", "cabinets", "Fit",     "worktop", "Tile",
    "final", "review",  "budget",  "site",  "survey",   "draft",   "report",  "client",
    "call",  "testing", "release", "notes", "backup",   "install", "wiring",  "paint",
};

constexpr std::array<std::string_view, 10> kPeople = {
    "Ann", "Bob", "Carla", "Dee", "Eve", "Gil", "Hal", "Ines", "Jon", "Kim",
};

constexpr std::array<std::string_view, 7> kWeekdays = {"Mon", "Tue", "Wed", "Thu",
                                                       "Fri", "Sat", "Sun"};

// Words from `words` joined by spaces, cut to exactly `length` characters.
template <std::size_t N>
std::string TextOf(Random& random, const std::array<std::string_view, N>& words,
                   std::string_view joiner, std::size_t length) {
  std::string text;
  while (text.size() < length) {
    if (!text.empty()) text += joiner;
    text += words[random.Below(N)];
  }
  text.resize(length);
  return text;
}

std::string Name(Random& random, std::size_t length) { return TextOf(random, kWords, " ", length); }

std::string Resources(Random& random, std::size_t length) {
  return TextOf(random, kPeople, random.Chance(50) ? " and " : ";", length);
}

struct Day {
  int year, month, day;
};

Day RandomDay(Random& random) {
  return {2024 + static_cast<int>(random.Below(4)), 1 + static_cast<int>(random.Below(12)),
          1 + static_cast<int>(random.Below(28))};
}

// A later day, close enough for a plan: months of 28 days.
Day After(Day day, int days) {
  day.day += days;
  while (day.day > 28) {
    day.day -= 28;
    if (++day.month > 12) {
      day.month = 1;
      ++day.year;
    }
  }
  return day;
}

std::string ImportDate(Random& random, Day day) {
  return std::string(kWeekdays[random.Below(kWeekdays.size())]) + " " + std::to_string(day.month) +
         "/" + std::to_string(day.day) + "/" + std::to_string(day.year % 100);
}

std::string GeneratedImportLine(Random& random, int id) {
  std::string line = std::to_string(id) + ",";
  if (random.Chance(3)) return line + ",,,,,,\n";  // a row holding only its ID

  const Day start = RandomDay(random);
  const int duration = random.Chance(20) ? 1 : 2 + static_cast<int>(random.Below(40));
  line += ImportDate(random, start) + ",";
  line += std::to_string(duration) + (duration == 1 ? " day," : " days,");
  line += ImportDate(random, After(start, duration - 1)) + ",";
  if (id > 1 && random.Chance(60)) line += std::to_string(id - 1);
  line += ",";
  line += std::to_string(10 * random.Below(11));
  line += random.Chance(3) ? "," : "%,";  // now and then a percent without its sign

  std::size_t nameLength = random.Below(32);
  if (random.Chance(1)) nameLength = 40 + random.Below(40);  // longer than the field
  std::string name = Name(random, nameLength);
  if (random.Chance(2) && !name.empty()) name[name.size() / 2] = ',';
  line += name + "," + Resources(random, random.Below(32)) + "\n";
  return line;
}

void PutText(char (&field)[32], const std::string& text) {
  std::fill(std::begin(field), std::end(field), '\0');
  std::copy_n(text.begin(), std::min<std::size_t>(text.size(), 31), field);
}

}  // namespace

std::uint64_t Random::Next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::vector<std::string> ImportLineMix(std::size_t count, std::uint64_t seed) {
  Random random(seed);
  std::vector<std::string> lines;
  lines.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (i < kSampleImportLines.size()) {
      lines.emplace_back(kSampleImportLines[i]);
    } else {
      lines.push_back(GeneratedImportLine(random, 1 + static_cast<int>(i % 120)));
    }
  }
  return lines;
}

std::vector<TaskRecord> TaskRecordMix(std::size_t count, std::uint64_t seed) {
  Random random(seed);
  std::vector<TaskRecord> records(count);
  for (std::size_t i = 0; i < count; ++i) {
    TaskRecord& r = records[i];
    const int id = 1 + static_cast<int>(i % 120);
    r.taskId = static_cast<std::uint8_t>(random.Chance(1) ? 128 + random.Below(128) : id);
    r.reserved = 0;
    const Day start = RandomDay(random);
    int duration = random.Chance(20) ? 1 : 2 + static_cast<int>(random.Below(40));
    const Day finish = After(start, duration - 1);
    if (random.Chance(1)) duration = 65535;
    StoreField16(r.startDate, PackedDate::Pack(start.year, start.month, start.day).value);
    StoreField16(r.duration, static_cast<std::uint16_t>(duration));
    StoreField16(r.finishDate, PackedDate::Pack(finish.year, finish.month, finish.day).value);
    r.predecessor = static_cast<std::uint8_t>(id > 1 && random.Chance(70) ? id - 1 : 0);
    if (random.Chance(1)) r.predecessor = 0xFF;
    r.percentComplete = static_cast<std::uint8_t>(random.Chance(1) ? 0xFF : 10 * random.Below(11));
    PutText(r.name, Name(random, random.Below(32)));
    PutText(r.resourceNames, Resources(random, random.Below(32)));
  }
  return records;
}

}  // namespace kestrel::bench
