// SPDX-License-Identifier: MIT
// A spreadsheet's CSV file read as a plan: a first line naming the columns
// (ID, Start, Duration, Finish or End, Predecessors, % Complete, Name,
// Resource Names, in any order, matched ignoring case and spaces), RFC 4180
// quoting, CR LF or LF. Dates as M/D/YY, M/D/YYYY or YYYY-MM-DD, with or
// without a leading word; durations as "5", "5 days" or "5d"; percent as
// "50", "50%" or the fraction "0.5".
#pragma once

#include <string>
#include <string_view>

#include "tools/csv/plan/plan.h"

namespace kestrel::plan {

struct SpreadsheetOptions {
  bool dayFirst = false;  // slash dates as D/M/Y
};

// The tasks of `utf8`, the whole file in UTF-8. False with *error naming
// the first line when it is no header of at least the Start and Name
// columns. A row that cannot be read (no start date, a date or number that
// is none) is noted and left out; a row with no ID gets its row number.
bool ReadSpreadsheetPlan(std::string_view utf8, const SpreadsheetOptions& options, Plan* plan,
                         std::string* error);

}  // namespace kestrel::plan
