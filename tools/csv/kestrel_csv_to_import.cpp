// kestrel-csv to-import: a backup file turned into an import file. The backup
// form is read strictly, field by field (plan/backup_line.h); the import form differs from it only
// in a leading word before each date, so everything else is written as it
// stands and the import takes it as it was written.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "record/leading_number.h"
#include "record/task_record.h"
#include "tools/csv/kestrel_csv.h"
#include "tools/csv/kestrel_csv_commands.h"
#include "tools/csv/kestrel_csv_input.h"
#include "tools/csv/plan/backup_line.h"
#include "transfer/passes.h"

namespace kestrel::cli {
namespace {

constexpr std::size_t kTextLimit = kTaskTextFieldSize - 1;
// Longer than any backup line; a longer one is read in pieces, none of them
// in the backup form.
constexpr std::size_t kMaxBackupLine = 4096;

// The weekday of a calendar date, or "Day" where month and day form none: the
// import skips the word whatever it is.
const char* LeadingWord(const plan::CivilDate& date) {
  return plan::IsCalendarDate(date) ? plan::WeekdayName(date) : "Day";
}

bool DateStoredAsWritten(const plan::CivilDate& date) {
  return date.month <= 15 && date.day <= 31 && date.year >= 1904 && date.year <= 2031;
}

}  // namespace

ImportLine BackupLineToImport(std::string_view backupLine) {
  ImportLine result;
  const std::optional<plan::BackupLine> fields = plan::ParseBackupLine(backupLine);
  if (!fields) {
    result.problems.push_back("not a line of a backup file: left out");
    return result;
  }
  const auto inByte = [](std::int32_t v) { return v >= -128 && v <= 127; };
  if (!inByte(fields->id) || !inByte(fields->predecessor) || !inByte(fields->percent) ||
      fields->days > 0xFFFF || !DateStoredAsWritten(fields->start) ||
      !DateStoredAsWritten(fields->finish)) {
    result.problems.push_back("a number or date that a task cannot hold: stored otherwise");
  }
  if (fields->name.size() > kTextLimit) {
    result.problems.push_back("the name is cut at 31 characters");
  }
  if (fields->resources.size() > kTextLimit) {
    result.problems.push_back("the resource names are cut at 31 characters");
  }
  if (fields->resources.find(',') != std::string_view::npos) {
    result.problems.push_back(
        "a comma in the name or the resource names: the name is read up to the first");
  }
  if (!backupLine.empty() && IsWhiteSpace(backupLine.back())) {
    result.problems.push_back("white space at the end of the line, which the import drops");
  }

  std::string& text = result.text;
  text.append(fields->idText).append(",");
  text.append(LeadingWord(fields->start)).append(" ").append(fields->startText).append(",");
  text.append(fields->daysText).append(" days,");
  text.append(LeadingWord(fields->finish)).append(" ").append(fields->finishText).append(",");
  text.append(fields->predecessorText).append(",");
  text.append(fields->percentText).append("%,");
  text.append(fields->name).append(",").append(fields->resources);
  result.written = true;
  return result;
}

int RunToImport(const CsvRun& run) {
  CsvInput input;
  std::string error;
  if (!OpenCsvInput(run.path, nullptr, &input, &error)) {
    run.Refuse(error);
    return kCsvExitError;
  }
  bool reported = false;
  int tasks = 0;
  int number = 0;
  std::string line;
  std::string converted;
  for (;;) {
    const ReadOutcome outcome = input.file.ReadLine(line, kMaxBackupLine);
    if (outcome == ReadOutcome::End) break;
    if (outcome == ReadOutcome::Error) {
      run.Refuse("cannot read");
      return kCsvExitError;
    }
    ++number;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    std::size_t lacking = 0;
    if (run.charsets != nullptr) {
      converted.clear();
      lacking = run.charsets->toHandheld->Convert(line, converted, nullptr, number == 1);
      line.swap(converted);
    }
    if (number == 1 && line == kBackupHeader) continue;
    if (line.empty()) continue;  // where a deleted first record was

    ImportLine imported = BackupLineToImport(line);
    if (lacking > 0) {
      imported.problems.push_back("a character that " + EscapeForMessage(run.handheldCharset) +
                                  " cannot hold is read as \"?\"");
    }
    if (imported.written && tasks == kMaxImportLines) {
      run.Warn(number,
               "the import reads at most 100 lines: this task and those after it are "
               "left out");
      return kCsvExitWarnings;
    }
    for (const std::string& problem : imported.problems) run.Warn(number, problem);
    reported = reported || !imported.problems.empty();
    if (!imported.written) continue;
    ++tasks;
    run.out << run.ToDesktop(imported.text) << '\n';
  }
  return reported ? kCsvExitWarnings : kCsvExitClean;
}

}  // namespace kestrel::cli
