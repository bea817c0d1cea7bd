// SPDX-License-Identifier: MIT
// kestrel-csv check: the import file read by the import pass's own line
// reader and parsed by ParseTaskLine into one record buffer kept from line to
// line, as the import does; each record shown by FormatTaskLine. The
// warnings look at the line's comma-separated fields, which is where a
// person's idea of the line and the positional parser part.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "handheld/record_buffer.h"
#include "record/leading_number.h"
#include "record/task_record.h"
#include "tools/csv/kestrel_csv.h"
#include "tools/csv/kestrel_csv_commands.h"
#include "tools/csv/kestrel_csv_input.h"
#include "tools/csv/kestrel_csv_messages.h"
#include "transfer/import_lines.h"

namespace kestrel::cli {
namespace {

constexpr std::size_t kFieldCount = 8;
constexpr std::size_t kTextLimit = kTaskTextFieldSize - 1;

std::string_view TrimEnd(std::string_view line) {
  while (!line.empty() && IsWhiteSpace(line.back())) line.remove_suffix(1);
  return line;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t comma = line.find(',');
    fields.push_back(line.substr(0, comma));
    if (comma == std::string_view::npos) return fields;
    line.remove_prefix(comma + 1);
  }
}

// The year of a date field ("word month/day/year") as the import takes it,
// or nothing when the field has no year.
std::optional<std::int32_t> YearAsRead(std::string_view field) {
  const std::size_t space = field.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  std::size_t slash = field.find('/', space + 1);
  if (slash != std::string_view::npos) slash = field.find('/', slash + 1);
  if (slash == std::string_view::npos) return std::nullopt;
  const auto year = static_cast<std::int32_t>(LeadingNumber(field.substr(slash + 1)) & 0xFFFF);
  // Two-digit years count from 1990 to 2089.
  if (year >= 100) return year;
  return year < 90 ? year + 2000 : year + 1900;
}

std::int32_t Signed8(std::uint8_t byte) { return static_cast<std::int8_t>(byte); }

bool IsPrintableAscii(char c) { return c >= 0x20 && c < 0x7F; }

// How a line shows that its file is in UTF-16: nullptr when it does not.
const char* Utf16Sign(std::string_view line, int number) {
  if (number == 1 && (line.substr(0, 2) == "\xFF\xFE" || line.substr(0, 2) == "\xFE\xFF")) {
    return "a UTF-16 byte-order mark";
  }
  // Two characters in a row with a NUL after each: "1\0,\0" (or before
  // each, which reads the same from the byte after the first NUL).
  for (std::size_t i = 1; i + 2 < line.size(); ++i) {
    if (line[i] == '\0' && line[i + 2] == '\0' && IsPrintableAscii(line[i - 1]) &&
        IsPrintableAscii(line[i + 1])) {
      return "NUL bytes between ASCII characters";
    }
  }
  return nullptr;
}

// The 1-based number of the first field that begins (after spaces) with a
// quotation mark, or 0.
std::size_t QuotedField(const std::vector<std::string_view>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::size_t first = fields[i].find_first_not_of(" \t");
    if (first != std::string_view::npos && fields[i][first] == '"') return i + 1;
  }
  return 0;
}

// What a line holds that the import takes as it comes: NUL bytes and
// quotation marks.
void ContentWarnings(std::string_view line, const std::vector<std::string_view>& fields,
                     std::vector<std::string>& warnings) {
  if (line.find('\0') != std::string_view::npos) {
    warnings.push_back(
        "a NUL byte in the line: the import keeps it, so a text ends at it on the handheld and "
        "a number stops at it; remove the NUL bytes from the file");
  }
  if (const std::size_t field = QuotedField(fields); field != 0) {
    warnings.push_back("field " + std::to_string(field) +
                       " begins with a quotation mark: the import keeps quotation marks as text "
                       "and reads a quoted number as 0; save the file without quotes around "
                       "the fields");
  }
}

// Fields out of place, after which the rest of the line is misread; true
// when there is one.
bool ShiftWarnings(std::string_view line, const std::vector<std::string_view>& fields,
                   std::vector<std::string>& warnings) {
  const char* const kBackupForm =
      " has no leading word, as in a backup file: the fields after it are misread; make an "
      "import file from a backup with kestrel-csv to-import";
  bool shifted = false;
  if (fields.size() > 1 && fields[1].find(' ') == std::string_view::npos) {
    warnings.push_back(std::string("the start date") + kBackupForm);
    shifted = true;
  } else if (fields.size() > 3 && fields[3].find(' ') == std::string_view::npos &&
             line.find(' ', static_cast<std::size_t>(fields[3].data() - line.data())) !=
                 std::string_view::npos) {
    // The word is looked for up to the next space: with none after the date,
    // the date is read as it stands.
    warnings.push_back(std::string("the finish date") + kBackupForm);
    shifted = true;
  }
  if (!shifted && fields.size() > 5 && fields[5].find('%') == std::string_view::npos) {
    warnings.push_back(
        "no \"%\" in the percent field: the fields after it are misread; write the percent "
        "complete as in 50%");
    shifted = true;
  }
  if (fields.size() < kFieldCount) {
    warnings.push_back(
        "fewer than 8 fields: the fields are misread; give every task all 8 fields, empty ones "
        "included");
    shifted = true;
  }
  return shifted;
}

// Whether every field after the eighth begins with exactly one space, as
// resource names joined with ", " are written: then the extra commas are
// the resource list's own.
bool ResourceListCommas(const std::vector<std::string_view>& fields) {
  for (std::size_t i = kFieldCount; i < fields.size(); ++i) {
    if (fields[i].size() < 2 || fields[i][0] != ' ' || fields[i][1] == ' ') return false;
  }
  return true;
}

// Name and resource names: a comma in them, or more than 31 bytes; in
// *note, what is worth knowing but no fault.
void TextWarnings(std::string_view line, const std::vector<std::string_view>& fields,
                  bool converted, std::vector<std::string>& warnings, std::string* note) {
  if (fields.size() > kFieldCount && ResourceListCommas(fields)) {
    *note = "note: the name is read as \"" + EscapeForMessage(fields[6]) +
            "\" and the rest of the line as the resource names";
  } else if (fields.size() > kFieldCount) {
    warnings.push_back(
        "more than 8 fields: the name ends at its first comma and the rest becomes the resource "
        "names; remove the comma from the name");
  }
  if (fields[6].size() > kTextLimit) warnings.push_back(CutWarning("name", fields[6], converted));
  const std::size_t resourcesAt = static_cast<std::size_t>(fields[7].data() - line.data());
  const std::string_view resources = TrimEnd(line).substr(resourcesAt);
  if (resources.size() > kTextLimit) {
    warnings.push_back(CutWarning("resource names", resources, converted));
  }
}

// Numbers and years that the record cannot hold as written.
void RangeWarnings(const std::vector<std::string_view>& fields, const std::uint8_t* record,
                   std::vector<std::string>& warnings) {
  const struct {
    const char* what;
    std::string_view field;
    std::uint8_t stored;
  } numbers[] = {{"ID", fields[0], record[offsetof(TaskRecord, taskId)]},
                 {"predecessor", fields[4], record[offsetof(TaskRecord, predecessor)]}};
  for (const auto& number : numbers) {
    const std::int32_t written = LeadingNumber(number.field);
    if (written < -128 || written > 127) {
      warnings.push_back(std::string("the ") + number.what + " " + std::to_string(written) +
                         " is outside -128..127 and is stored as " +
                         std::to_string(Signed8(number.stored)) + "; use a number in that range");
    }
  }
  const struct {
    const char* what;
    std::string_view field;
    std::size_t offset;
  } dates[] = {{"start", fields[1], offsetof(TaskRecord, startDate)},
               {"finish", fields[3], offsetof(TaskRecord, finishDate)}};
  for (const auto& date : dates) {
    const std::optional<std::int32_t> year = YearAsRead(date.field);
    if (year && (*year < 1904 || *year > 2031)) {
      const PackedDate stored{LoadField16(record + date.offset)};
      warnings.push_back(std::string("the ") + date.what + " year " + std::to_string(*year) +
                         " is outside 1904-2031 and is stored as " + std::to_string(stored.Year()) +
                         "; use a year in that range");
    }
  }
}

// The warnings for one accepted line, whose record is `record`; in *note,
// what is worth knowing but no fault.
std::vector<std::string> LineWarnings(std::string_view line, const std::uint8_t* record,
                                      bool converted, std::string* note) {
  std::vector<std::string> warnings;
  const std::vector<std::string_view> fields = SplitFields(TrimEnd(line));
  ContentWarnings(line, fields, warnings);
  if (ShiftWarnings(line, fields, warnings)) return warnings;
  TextWarnings(line, fields, converted, warnings, note);
  RangeWarnings(fields, record, warnings);
  return warnings;
}

// Why the import rejects a line, by ParseTaskLine's rules in their order.
const char* RejectionReason(std::string_view line) {
  const std::string_view text = TrimEnd(line);
  if (text.empty()) return "an empty line";
  if (text.front() == ',') return "the line starts with a comma, where its ID belongs";
  const std::size_t comma = text.find(',');
  if (comma == std::string_view::npos) return "no comma after the ID";
  if (text.substr(comma + 1) == ",,,,,,") return "an empty row of commas";
  return "no room for the record";
}

// One line's number and outcome on standard output, its warnings on
// standard error; counts what it reports.
class LineChecker {
 public:
  LineChecker(const CsvRun& run, RecordTransfer& transfer, const std::uint8_t* record,
              const CsvInput& input)
      : run_(run), transfer_(transfer), record_(record), replaced_(input.replacedLines) {}

  void Check(const std::string& line, int number) {
    if (!utf16Reported_) {
      if (const char* sign = Utf16Sign(line, number)) {
        Warn(number, std::string("the file looks like UTF-16 (") + sign +
                         "): the import reads it byte by byte and misreads every line; save it "
                         "as UTF-8 or Windows-1252, or give --charset UTF-16");
        utf16Reported_ = true;
      }
    }
    if (ParseTaskLine(line, transfer_) != 0) {
      run_.out << number << ": rejected: " << RejectionReason(line) << '\n';
    } else {
      ++accepted_;
      FormatTaskLine(transfer_, shown_);
      run_.out << number << ": " << EscapeForMessage(run_.ToDesktop(shown_)) << '\n';
      // In UTF-16 every line is misread: one warning says so for them all.
      if (!utf16Reported_) {
        std::string note;
        for (const std::string& warning :
             LineWarnings(line, record_, run_.charsets != nullptr, &note)) {
          Warn(number, warning);
        }
        if (!note.empty()) run_.Warn(number, note);
      }
    }
    if (std::binary_search(replaced_.begin(), replaced_.end(), number)) {
      Warn(number, "a character that " + EscapeForMessage(run_.handheldCharset) +
                       " cannot hold is stored as \"?\"; write it otherwise or give another "
                       "--handheld-charset");
    }
  }

  void Warn(int number, const std::string& text) {
    run_.Warn(number, text);
    ++warnings_;
  }
  void Refuse(const std::string& text) {
    run_.Refuse(text);
    ++warnings_;
  }
  int Accepted() const { return accepted_; }
  int Warnings() const { return warnings_; }

 private:
  const CsvRun& run_;
  RecordTransfer& transfer_;
  const std::uint8_t* record_;
  const std::vector<int>& replaced_;
  std::string shown_;
  bool utf16Reported_ = false;
  int accepted_ = 0;
  int warnings_ = 0;
};

}  // namespace

int RunCheck(const CsvRun& run) {
  CsvInput input;
  std::string error;
  CharsetConverter* toHandheld = run.charsets ? run.charsets->toHandheld.get() : nullptr;
  if (!OpenCsvInput(run.path, toHandheld, &input, &error)) {
    run.Refuse(error);
    return kCsvExitError;
  }
  RecordTransfer transfer{};
  const RecordBuffer buffer(transfer, kRecordBufferSize);
  if (!buffer.Allocated()) {
    run.Refuse("out of memory");
    return kCsvExitError;
  }

  LineChecker checker(run, transfer, buffer.Data(), input);
  ImportLineReader lines(input.file);
  std::string line;
  for (;;) {
    const ReadOutcome outcome = lines.Next(line);
    if (outcome == ReadOutcome::End) break;
    if (outcome == ReadOutcome::Error) {
      run.Refuse("cannot read");
      return kCsvExitError;
    }
    checker.Check(line, lines.LinesRead());
  }
  if (lines.LinesRead() == kMaxImportLines &&
      input.file.ReadLine(line, kImportLineChars) == ReadOutcome::Line) {
    checker.Warn(kMaxImportLines + 1,
                 "text after line 100 is never imported; move the tasks that matter into the "
                 "first 100 lines");
  }
  if (checker.Accepted() == 0)
    checker.Refuse(
        "no task: importing this file empties KestrelDB; do not import it unless KestrelDB is "
        "to be emptied");
  return checker.Warnings() == 0 ? kCsvExitClean : kCsvExitWarnings;
}

}  // namespace kestrel::cli
