// SPDX-License-Identifier: MIT
// kestrel-csv to-import: a backup file turned into an import file. The backup
// form is read strictly, field by field (plan/backup_line.h); the import form differs from it only
// in a leading word before each date, so everything else is written as it
// stands and the import takes it as it was written.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "record/leading_number.h"
#include "record/task_record.h"
#include "tools/csv/kestrel_csv.h"
#include "tools/csv/kestrel_csv_commands.h"
#include "tools/csv/kestrel_csv_input.h"
#include "tools/csv/kestrel_csv_messages.h"
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

constexpr char kCrDropped[] =
    "a CR at the end of the resource names, which the import drops: the task comes back "
    "without it";
constexpr char kLfDropped[] =
    "an LF at the end of the resource names, which the import drops: the task comes back "
    "without it";

bool DateStoredAsWritten(const plan::CivilDate& date) {
  return date.month <= 15 && date.day <= 31 && date.year >= 1904 && date.year <= 2031;
}

}  // namespace

ImportLine BackupLineToImport(std::string_view backupLine, bool converted) {
  ImportLine result;
  const std::optional<plan::BackupLine> fields = plan::ParseBackupLine(backupLine);
  if (!fields) {
    result.problems.push_back(
        "not a line of a backup file: left out of the import file; add that task by hand if "
        "it is one");
    return result;
  }
  const auto inByte = [](std::int32_t v) { return v >= -128 && v <= 127; };
  if (!inByte(fields->id) || !inByte(fields->predecessor) || !inByte(fields->percent) ||
      fields->days > 0xFFFF || !DateStoredAsWritten(fields->start) ||
      !DateStoredAsWritten(fields->finish)) {
    result.problems.push_back(
        "a number or date that a task cannot hold: the import stores it otherwise; check that "
        "task on the handheld after the sync");
  }
  if (fields->name.size() > kTextLimit) {
    result.problems.push_back(CutWarning("name", fields->name, converted));
  }
  if (fields->resources.size() > kTextLimit) {
    result.problems.push_back(CutWarning("resource names", fields->resources, converted));
  }
  if (fields->resources.find(',') != std::string_view::npos) {
    result.problems.push_back(
        "a comma in the name or the resource names: the import ends the name at the first comma "
        "and reads the rest as the resource names; remove the comma from the name to keep it");
  }
  if (!backupLine.empty() && backupLine.back() == '\r') {
    result.problems.push_back(kCrDropped);
  } else if (!backupLine.empty() && IsWhiteSpace(backupLine.back())) {
    result.problems.push_back(
        "white space at the end of the resource names, which the import drops: the task comes "
        "back without it");
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

namespace {

// For each line of the file at `path` (the first at index 0), whether it ends
// in CR LF, when the file also has lines that end in a bare LF, as a backup
// written on Linux does: there the line reader takes CR LF for a line break,
// and a CR that ended the resource names is lost without a trace. Empty when
// the file cannot be read again (standard input) or has one form of line
// break only.
std::vector<bool> CrLfLinesAmongLf(const std::string& path) {
  std::string bytes;
  std::string error;
  if (!ReadCsvFile(path, kMaxConvertedInput, &bytes, &error)) return {};
  std::vector<bool> crLf(1, false);
  bool bareLf = false;
  for (std::size_t at = 0; (at = bytes.find('\n', at)) != std::string::npos; ++at) {
    const bool afterCr = at > 0 && bytes[at - 1] == '\r';
    crLf.back() = afterCr;
    bareLf = bareLf || !afterCr;
    crLf.push_back(false);
  }
  return bareLf ? crLf : std::vector<bool>{};
}

// Turns the lines of a backup file into import lines, one at a time.
class ToImport {
 public:
  ToImport(const CsvRun& run, std::vector<bool> crLfLines)
      : run_(run), crLfLines_(std::move(crLfLines)) {}

  // Takes the next piece the reader gave (its line break still on it);
  // false once the 100 tasks of an import are full.
  bool Take(std::string& line) {
    ++number_;
    const bool ended = !line.empty() && line.back() == '\n';
    if (ended) line.pop_back();
    const bool crLost = ended && physical_ < crLfLines_.size() && crLfLines_[physical_];
    if (ended) ++physical_;
    std::size_t lacking = 0;
    if (run_.charsets != nullptr) {
      converted_.clear();
      lacking = run_.charsets->toHandheld->Convert(line, converted_, nullptr, number_ == 1);
      line.swap(converted_);
    }
    if (number_ == 1 && line == kBackupHeader) return true;
    if (line.empty()) {
      // Only a deleted first record leaves an empty line, right after the
      // header; anywhere else the task before it ended in a line break.
      if (lastTask_ > 0 && lastTask_ == number_ - 1) Warn(lastTask_, kLfDropped);
      return true;
    }
    ImportLine imported = BackupLineToImport(line, run_.charsets != nullptr);
    if (crLost && imported.written) imported.problems.push_back(kCrDropped);
    if (lacking > 0) {
      imported.problems.push_back("a character that " + EscapeForMessage(run_.handheldCharset) +
                                  " cannot hold is read as \"?\"; write it otherwise or give "
                                  "another --handheld-charset");
    }
    return Write(imported, ended);
  }

  bool Reported() const { return reported_; }

  // At the end of the file: a backup has no line break after its last line,
  // so one there was the end of the last task's resource names.
  void Finish() {
    if (lastTask_ == number_ && lastEnded_) {
      Warn(lastTask_,
           "a line break after the last line, which a backup file does not have: if the "
           "resource names ended in an LF, the import drops it and the task comes back without "
           "it");
    }
  }

 private:
  bool Write(const ImportLine& imported, bool ended) {
    if (imported.written && tasks_ == kMaxImportLines) {
      Warn(number_,
           "the import reads at most 100 lines: this task and those after it are left out; "
           "make a second import file of them for a later sync");
      return false;
    }
    for (const std::string& problem : imported.problems) Warn(number_, problem);
    if (!imported.written) return true;
    ++tasks_;
    lastTask_ = number_;
    lastEnded_ = ended;
    run_.out << run_.ToDesktop(imported.text) << '\n';
    return true;
  }

  void Warn(int line, const std::string& text) {
    run_.Warn(line, text);
    reported_ = true;
  }

  const CsvRun& run_;
  const std::vector<bool> crLfLines_;
  std::string converted_;
  int number_ = 0;
  std::size_t physical_ = 0;
  int tasks_ = 0;
  int lastTask_ = 0;
  bool lastEnded_ = false;
  bool reported_ = false;
};

}  // namespace

int RunToImport(const CsvRun& run) {
  CsvInput input;
  std::string error;
  if (!OpenCsvInput(run.path, nullptr, &input, &error)) {
    run.Refuse(error);
    return kCsvExitError;
  }
  ToImport lines(run, CrLfLinesAmongLf(run.path));
  std::string line;
  for (;;) {
    const ReadOutcome outcome = input.file.ReadLine(line, kMaxBackupLine);
    if (outcome == ReadOutcome::End) break;
    if (outcome == ReadOutcome::Error) {
      run.Refuse("cannot read");
      return kCsvExitError;
    }
    if (!lines.Take(line)) return kCsvExitWarnings;
  }
  lines.Finish();
  return lines.Reported() ? kCsvExitWarnings : kCsvExitClean;
}

}  // namespace kestrel::cli
