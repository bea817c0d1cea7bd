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

// Whether every field after the eighth begins with exactly one space, as
// resource names joined with ", " are written: then the extra commas are
// the resource list's own.
bool ResourceListCommas(const std::vector<std::string_view>& fields) {
  for (std::size_t i = kFieldCount; i < fields.size(); ++i) {
    if (fields[i].size() < 2 || fields[i][0] != ' ' || fields[i][1] == ' ') return false;
  }
  return true;
}

// The warnings for one accepted line, whose record is `record`; in *note,
// what is worth knowing but no fault.
std::vector<std::string> LineWarnings(std::string_view line, const std::uint8_t* record,
                                      std::string* note) {
  std::vector<std::string> warnings;
  const std::vector<std::string_view> fields = SplitFields(TrimEnd(line));
  const char* const kMisread = ": the fields after it are misread";
  bool shifted = false;
  if (fields.size() > 1 && fields[1].find(' ') == std::string_view::npos) {
    warnings.push_back(std::string("the start date has no leading word, as in a backup file") +
                       kMisread);
    shifted = true;
  } else if (fields.size() > 3 && fields[3].find(' ') == std::string_view::npos &&
             line.find(' ', static_cast<std::size_t>(fields[3].data() - line.data())) !=
                 std::string_view::npos) {
    // The word is looked for up to the next space: with none after the date,
    // the date is read as it stands.
    warnings.push_back(std::string("the finish date has no leading word, as in a backup file") +
                       kMisread);
    shifted = true;
  }
  if (!shifted && fields.size() > 5 && fields[5].find('%') == std::string_view::npos) {
    warnings.push_back(std::string("no \"%\" in the percent field") + kMisread);
    shifted = true;
  }
  if (fields.size() < kFieldCount) {
    warnings.push_back("fewer than 8 fields: the fields are misread");
    shifted = true;
  }
  if (shifted) return warnings;

  if (fields.size() > kFieldCount && ResourceListCommas(fields)) {
    *note = "note: the name is read as \"" + EscapeForMessage(fields[6]) +
            "\" and the rest of the line as the resource names";
  } else if (fields.size() > kFieldCount) {
    warnings.push_back(
        "more than 8 fields: the name ends at its first comma and the rest becomes the resource "
        "names");
  }
  if (fields[6].size() > kTextLimit) warnings.push_back("the name is cut at 31 characters");
  const std::size_t resourcesAt = static_cast<std::size_t>(fields[7].data() - line.data());
  if (TrimEnd(line).size() - resourcesAt > kTextLimit) {
    warnings.push_back("the resource names are cut at 31 characters");
  }

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
                         std::to_string(Signed8(number.stored)));
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
                         " is outside 1904-2031 and is stored as " + std::to_string(stored.Year()));
    }
  }
  return warnings;
}

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

  int warnings = 0;
  auto replaced = input.replacedLines.begin();
  ImportLineReader lines(input.file);
  std::string line;
  std::string shown;
  for (;;) {
    const ReadOutcome outcome = lines.Next(line);
    if (outcome == ReadOutcome::End) break;
    if (outcome == ReadOutcome::Error) {
      run.Refuse("cannot read");
      return kCsvExitError;
    }
    const int number = lines.LinesRead();
    if (ParseTaskLine(line, transfer) != 0) {
      run.out << number << ": rejected\n";
    } else {
      FormatTaskLine(transfer, shown);
      run.out << number << ": " << run.ToDesktop(shown) << '\n';
      std::string note;
      for (const std::string& warning : LineWarnings(line, buffer.Data(), &note)) {
        run.Warn(number, warning);
        ++warnings;
      }
      if (!note.empty()) run.Warn(number, note);
    }
    while (replaced != input.replacedLines.end() && *replaced < number) ++replaced;
    if (replaced != input.replacedLines.end() && *replaced == number) {
      run.Warn(number, "a character that " + EscapeForMessage(run.handheldCharset) +
                           " cannot hold is stored as \"?\"");
      ++warnings;
      replaced = std::upper_bound(replaced, input.replacedLines.end(), number);
    }
  }
  if (lines.LinesRead() == kMaxImportLines &&
      input.file.ReadLine(line, kImportLineChars) == ReadOutcome::Line) {
    run.Warn(kMaxImportLines + 1, "text after line 100 is never imported");
    ++warnings;
  }
  return warnings == 0 ? kCsvExitClean : kCsvExitWarnings;
}

}  // namespace kestrel::cli
