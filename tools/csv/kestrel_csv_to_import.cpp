// kestrel-csv to-import: a backup file turned into an import file. The backup
// form is read strictly, field by field; the import form differs from it only
// in a leading word before each date, so everything else is written as it
// stands and the import takes it as it was written.
#include <unistd.h>

#include <cstdint>
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
#include "transfer/passes.h"

namespace kestrel::cli {
namespace {

constexpr std::size_t kTextLimit = kTaskTextFieldSize - 1;
// Longer than any backup line; a longer one is read in pieces, none of them
// in the backup form.
constexpr std::size_t kMaxBackupLine = 4096;

// Reads the backup form from the front of a line.
class BackupReader {
 public:
  explicit BackupReader(std::string_view text) : text_(text) {}

  std::string_view Rest() const { return text_; }

  bool Literal(std::string_view literal) {
    if (text_.substr(0, literal.size()) != literal) return false;
    text_.remove_prefix(literal.size());
    return true;
  }

  // A number of one to six digits, with a "-" before it when `sign`; its text
  // in *text and its value in *value.
  bool Number(bool sign, std::string_view* text, std::int32_t* value) {
    std::size_t length = sign && !text_.empty() && text_[0] == '-' ? 1 : 0;
    const std::size_t digitsAt = length;
    while (length < text_.size() && text_[length] >= '0' && text_[length] <= '9') ++length;
    if (length == digitsAt || length - digitsAt > 6) return false;
    *text = text_.substr(0, length);
    *value = LeadingNumber(*text);
    text_.remove_prefix(length);
    return true;
  }

  // month "/" day "/" four-digit year.
  bool Date(std::string_view* text, std::int32_t parts[3]) {
    const std::string_view start = text_;
    std::string_view part;
    if (!Number(false, &part, &parts[0]) || !Literal("/") || !Number(false, &part, &parts[1]) ||
        !Literal("/") || !Number(false, &part, &parts[2]) || part.size() != 4) {
      return false;
    }
    *text = start.substr(0, start.size() - text_.size());
    return true;
  }

  // The text up to the next comma, which is dropped.
  bool TextBeforeComma(std::string_view* text) {
    const std::size_t comma = text_.find(',');
    if (comma == std::string_view::npos) return false;
    *text = text_.substr(0, comma);
    text_.remove_prefix(comma + 1);
    return true;
  }

 private:
  std::string_view text_;
};

int DaysInMonth(std::int32_t year, std::int32_t month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// The weekday of a calendar date, or "Day" where month and day form none: the
// import skips the word whatever it is.
const char* LeadingWord(const std::int32_t parts[3]) {
  const std::int32_t month = parts[0];
  const std::int32_t day = parts[1];
  std::int32_t year = parts[2];
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return "Day";
  static constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr int kMonthOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) --year;
  return kWeekdays[(year + year / 4 - year / 100 + year / 400 + kMonthOffsets[month - 1] + day) %
                   7];
}

constexpr char kCrDropped[] =
    "a CR at the end of the resource names, which the import drops: the task comes back "
    "without it";
constexpr char kLfDropped[] =
    "an LF at the end of the resource names, which the import drops: the task comes back "
    "without it";

bool DateStoredAsWritten(const std::int32_t parts[3]) {
  return parts[0] <= 15 && parts[1] <= 31 && parts[2] >= 1904 && parts[2] <= 2031;
}

}  // namespace

ImportLine BackupLineToImport(std::string_view backupLine, bool converted) {
  ImportLine result;
  BackupReader reader(backupLine);
  std::string_view id, start, duration, finish, predecessor, percent, name;
  std::int32_t idValue = 0, durationValue = 0, predecessorValue = 0, percentValue = 0;
  std::int32_t startParts[3] = {}, finishParts[3] = {};
  const bool form =
      reader.Number(true, &id, &idValue) && reader.Literal(",") &&
      reader.Date(&start, startParts) && reader.Literal(",") &&
      reader.Number(false, &duration, &durationValue) && reader.Literal(" days,") &&
      reader.Date(&finish, finishParts) && reader.Literal(",") &&
      (reader.Literal(",") ||
       (reader.Number(false, &predecessor, &predecessorValue) && reader.Literal(","))) &&
      reader.Number(true, &percent, &percentValue) && reader.Literal("%,") &&
      reader.TextBeforeComma(&name);
  if (!form) {
    result.problems.push_back(
        "not a line of a backup file: left out of the import file; add that task by hand if "
        "it is one");
    return result;
  }
  const std::string_view resources = reader.Rest();

  const auto inByte = [](std::int32_t v) { return v >= -128 && v <= 127; };
  if (!inByte(idValue) || !inByte(predecessorValue) || !inByte(percentValue) ||
      durationValue > 0xFFFF || !DateStoredAsWritten(startParts) ||
      !DateStoredAsWritten(finishParts)) {
    result.problems.push_back(
        "a number or date that a task cannot hold: the import stores it otherwise; check that "
        "task on the handheld after the sync");
  }
  if (name.size() > kTextLimit) result.problems.push_back(CutWarning("name", name, converted));
  if (resources.size() > kTextLimit) {
    result.problems.push_back(CutWarning("resource names", resources, converted));
  }
  if (resources.find(',') != std::string_view::npos) {
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
  text.append(id).append(",");
  text.append(LeadingWord(startParts)).append(" ").append(start).append(",");
  text.append(duration).append(" days,");
  text.append(LeadingWord(finishParts)).append(" ").append(finish).append(",");
  text.append(predecessor).append(",");
  text.append(percent).append("%,");
  text.append(name).append(",").append(resources);
  result.written = true;
  return result;
}

namespace {

// For each line of the file at `fd` (the first at index 0), whether it ends
// in CR LF, when the file also has lines that end in a bare LF, as a backup
// written on Linux does: there the line reader takes CR LF for a line break,
// and a CR that ended the resource names is lost without a trace. Empty when
// the file cannot be read again or has one form of line break only.
std::vector<bool> CrLfLinesAmongLf(int fd) {
  std::vector<bool> crLf(1, false);
  bool bareLf = false;
  char buffer[65536];
  char previous = '\0';
  for (off_t at = 0; at < static_cast<off_t>(kMaxConvertedInput);) {
    const ssize_t got = ::pread(fd, buffer, sizeof buffer, at);
    if (got <= 0) break;
    for (ssize_t i = 0; i < got; ++i) {
      if (buffer[i] == '\n') {
        crLf.back() = previous == '\r';
        bareLf = bareLf || previous != '\r';
        crLf.push_back(false);
      }
      previous = buffer[i];
    }
    at += got;
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
  ToImport lines(run, CrLfLinesAmongLf(input.source.Get()));
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
