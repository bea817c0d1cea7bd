// SPDX-License-Identifier: MIT
// One task line of a backup file, read strictly in the form the backup
// writes: ID,M/D/YYYY,N days,M/D/YYYY,[PRED],P%,NAME,RESOURCES. Every field
// keeps its text as written next to its value, so that a line can be
// rewritten in another form without a change.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "tools/csv/plan/civil_date.h"

namespace kestrel::plan {

struct BackupLine {
  std::string_view idText, startText, daysText, finishText, predecessorText, percentText;
  std::string_view name;       // up to the first comma after the percent
  std::string_view resources;  // the rest of the line, commas and all
  std::int32_t id = 0, days = 0, predecessor = 0, percent = 0;
  CivilDate start, finish;  // as written, calendar dates or not
};

// The line's fields, or nothing when the line is not in the backup form.
// The views point into `line`.
std::optional<BackupLine> ParseBackupLine(std::string_view line);

}  // namespace kestrel::plan
