// SPDX-License-Identifier: MIT
// A backup file read as a plan: every task line, in file order, with its
// texts in UTF-8. The header line and the empty line where a deleted first
// record was are skipped; any other line not in the backup form is noted
// and left out.
#pragma once

#include <string_view>

#include "tools/common/charset.h"
#include "tools/csv/plan/plan.h"

namespace kestrel::plan {

// The tasks of `text`, a whole backup file whose texts `toUtf8` converts
// (from --charset, or from the handheld's set). Notes a line left out, a
// character that could not be converted and resource names that would not
// come back as they stand when joined again with ", ".
Plan ReadBackupPlan(std::string_view text, cli::CharsetConverter& toUtf8);

// Calls `visit(number, line)` for each line of `text`, numbered from 1,
// without its line break ("\n" or "\r\n").
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (end != std::string_view::npos && !line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    visit(++number, line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

}  // namespace kestrel::plan
