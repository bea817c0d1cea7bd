// SPDX-License-Identifier: MIT
// The kestrel-csv commands that work on plans: to-project, chart, and
// to-import of a project XML or spreadsheet file. They read the whole file,
// tell its form by its content, go through the plan model in tools/csv/plan
// and name on standard error, by line, what they could not carry over.
#pragma once

#include <string>

#include "tools/csv/kestrel_csv_commands.h"

namespace kestrel::cli {

// The forms of file a plan command tells apart by content.
enum class PlanForm { Backup, ProjectXml, Other };

// Backup when the first line (after a byte-order mark) is exactly the
// backup header; ProjectXml when the text starts like an XML document.
PlanForm FormOfText(const std::string& text);

// Reads FILE whole for a plan command; false, having said why, when it
// cannot be had.
bool ReadPlanFile(const CsvRun& run, std::string* text);

int RunToProject(const CsvRun& run);
int RunChart(const CsvRun& run);
// to-import of a file that is not a backup file, `text` being all of it.
int RunToImportOfPlan(const CsvRun& run, const std::string& text);

}  // namespace kestrel::cli
