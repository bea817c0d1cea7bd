// kestrel-csv to-import: a backup file turned into an import file. The backup
// form is read strictly, field by field; the import form differs from it only
// in a leading word before each date, so everything else is written as it
// stands and the import takes it as it was written.
#include <cstdint>
#include <string>
#include <string_view>

#include "record/leading_number.h"
#include "record/task_record.h"
#include "tools/csv/kestrel_csv.h"
#include "tools/csv/kestrel_csv_commands.h"
#include "tools/csv/kestrel_csv_input.h"
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

bool DateStoredAsWritten(const std::int32_t parts[3]) {
  return parts[0] <= 15 && parts[1] <= 31 && parts[2] >= 1904 && parts[2] <= 2031;
}

}  // namespace

ImportLine BackupLineToImport(std::string_view backupLine) {
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
    result.problems.push_back("not a line of a backup file: left out");
    return result;
  }
  const std::string_view resources = reader.Rest();

  const auto inByte = [](std::int32_t v) { return v >= -128 && v <= 127; };
  if (!inByte(idValue) || !inByte(predecessorValue) || !inByte(percentValue) ||
      durationValue > 0xFFFF || !DateStoredAsWritten(startParts) ||
      !DateStoredAsWritten(finishParts)) {
    result.problems.push_back("a number or date that a task cannot hold: stored otherwise");
  }
  if (name.size() > kTextLimit) result.problems.push_back("the name is cut at 31 characters");
  if (resources.size() > kTextLimit) {
    result.problems.push_back("the resource names are cut at 31 characters");
  }
  if (resources.find(',') != std::string_view::npos) {
    result.problems.push_back(
        "a comma in the name or the resource names: the name is read up to the first");
  }
  if (!backupLine.empty() && IsWhiteSpace(backupLine.back())) {
    result.problems.push_back("white space at the end of the line, which the import drops");
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
