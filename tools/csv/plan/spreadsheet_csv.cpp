// SPDX-License-Identifier: MIT
#include "tools/csv/plan/spreadsheet_csv.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>

#include "tools/common/message_escape.h"

namespace kestrel::plan {
namespace {

enum Column {
  kId,
  kStart,
  kDuration,
  kFinish,
  kPredecessors,
  kPercent,
  kName,
  kResources,
  kColumns
};

struct Row {
  int line = 0;  // where the row starts
  std::vector<std::string> fields;
};

// Splits RFC 4180 text into rows; a quoted field may hold commas, quotes
// written twice and line breaks.
std::vector<Row> SplitRows(std::string_view text) {
  std::vector<Row> rows;
  int line = 1;
  std::size_t i = 0;
  while (i < text.size()) {
    Row row{line, {}};
    std::string field;
    bool quoted = false, endOfRow = false;
    while (i < text.size() && !endOfRow) {
      const char c = text[i++];
      if (quoted) {
        if (c == '"' && i < text.size() && text[i] == '"') {
          field += '"';
          ++i;
        } else if (c == '"') {
          quoted = false;
        } else {
          if (c == '\n') ++line;
          field += c;
        }
      } else if (c == '"') {
        quoted = true;
      } else if (c == ',') {
        row.fields.push_back(std::move(field));
        field.clear();
      } else if (c == '\n') {
        ++line;
        endOfRow = true;
      } else if (c != '\r' || (i < text.size() && text[i] != '\n')) {
        field += c;
      }
    }
    row.fields.push_back(std::move(field));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string Key(std::string_view name) {
  std::string key;
  for (const char c : name) {
    if (c == ' ' || c == '\t') continue;
    key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return key;
}

std::optional<Column> ColumnOfName(std::string_view name) {
  static const struct {
    const char* key;
    Column column;
  } kNames[] = {{"id", kId},
                {"start", kStart},
                {"duration", kDuration},
                {"finish", kFinish},
                {"end", kFinish},
                {"predecessors", kPredecessors},
                {"%complete", kPercent},
                {"name", kName},
                {"resourcenames", kResources}};
  const std::string key = Key(name);
  for (const auto& known : kNames) {
    if (key == known.key) return known.column;
  }
  return std::nullopt;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The whole number at the front of `text`; *rest gets what follows it.
std::optional<long long> LeadingInteger(std::string_view text, std::string_view* rest) {
  long long value = 0;
  const char* begin = text.data();
  if (!text.empty() && text[0] == '+') ++begin;
  const auto [end, status] = std::from_chars(begin, text.data() + text.size(), value);
  if (status != std::errc()) return std::nullopt;
  *rest = text.substr(static_cast<std::size_t>(end - text.data()));
  return value;
}

std::optional<long long> WholeInteger(std::string_view text) {
  std::string_view rest;
  const std::optional<long long> value = LeadingInteger(Trim(text), &rest);
  if (!value || !rest.empty()) return std::nullopt;
  return value;
}

// A date in one of the forms of the header, or nothing.
std::optional<CivilDate> ParseDate(std::string_view text, bool dayFirst) {
  text = Trim(text);
  const std::size_t space = text.find(' ');
  if (space != std::string_view::npos && !text.empty() && !(text[0] >= '0' && text[0] <= '9')) {
    text = Trim(text.substr(space + 1));  // a leading word, as in "Mon 4/13/98"
  }
  text = text.substr(0, std::min(text.find(' '), text.find('T')));  // a time after it
  if (text.size() == 10 && text[4] == '-') return ParseIsoDate(text);
  long long parts[3] = {};
  for (int i = 0; i < 3; ++i) {
    std::string_view rest;
    const std::optional<long long> part = LeadingInteger(text, &rest);
    if (!part || *part < 0 || (i < 2 ? rest.substr(0, 1) != "/" : !rest.empty())) {
      return std::nullopt;
    }
    parts[i] = *part;
    text = rest.substr(i < 2 ? 1 : 0);
  }
  long long year = parts[2];
  if (year < 100) year += year < 90 ? 2000 : 1900;  // as the import reads two digits
  const CivilDate date{static_cast<std::int32_t>(year),
                       static_cast<std::int32_t>(dayFirst ? parts[1] : parts[0]),
                       static_cast<std::int32_t>(dayFirst ? parts[0] : parts[1])};
  if (year > 9999 || !IsCalendarDate(date)) return std::nullopt;
  return date;
}

std::optional<std::int32_t> ParseDays(std::string_view text) {
  std::string_view rest;
  const std::optional<long long> days = LeadingInteger(Trim(text), &rest);
  rest = Trim(rest);
  if (!days || *days < 0 || *days > 65535 ||
      !(rest.empty() || rest == "d" || rest == "day" || rest == "days")) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(*days);
}

std::optional<std::int32_t> ParsePercent(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.back() == '%') text = Trim(text.substr(0, text.size() - 1));
  if (text.empty()) return 0;
  double value = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  // Written so that "nan" fails too.
  if (status != std::errc() || end != text.data() + text.size() || !(value >= 0)) {
    return std::nullopt;
  }
  if (text.find('.') != std::string_view::npos && value <= 1) value *= 100;  // a fraction
  if (!(value <= 100)) return std::nullopt;
  return static_cast<std::int32_t>(std::floor(value + 0.5));
}

class RowReader {
 public:
  RowReader(const Row& row, const std::optional<std::size_t> (&at)[kColumns], Plan* plan)
      : row_(row), at_(at), plan_(plan) {}

  bool Has(Column column) const { return at_[column] && !Field(column).empty(); }
  std::string_view Field(Column column) const {
    if (!at_[column] || *at_[column] >= row_.fields.size()) return {};
    return Trim(row_.fields[*at_[column]]);
  }
  std::string Text(Column column) const {
    if (!at_[column] || *at_[column] >= row_.fields.size()) return {};
    return row_.fields[*at_[column]];
  }
  // Notes that the field of `what` cannot be read; false, for returning.
  bool Bad(const char* what, std::string_view field) {
    plan_->Note(row_.line, std::string("the ") + what + " \"" + cli::EscapeForMessage(field) +
                               "\" cannot be read: the row is left out");
    return false;
  }

 private:
  const Row& row_;
  const std::optional<std::size_t> (&at_)[kColumns];
  Plan* plan_;
};

bool ReadSchedule(RowReader& row, bool dayFirst, PlanTask* task) {
  const std::optional<CivilDate> start = ParseDate(row.Field(kStart), dayFirst);
  if (!start) return row.Bad("start date", row.Field(kStart));
  task->start = *start;
  std::optional<std::int32_t> days;
  if (row.Has(kDuration) && !(days = ParseDays(row.Field(kDuration)))) {
    return row.Bad("duration", row.Field(kDuration));
  }
  if (row.Has(kFinish)) {
    const std::optional<CivilDate> finish = ParseDate(row.Field(kFinish), dayFirst);
    if (!finish) return row.Bad("finish date", row.Field(kFinish));
    task->finish = *finish;
  } else {
    // The last of `days` working days from the start.
    CivilDate finish = *start;
    for (std::int32_t day = 1; day < days.value_or(1); ++day) finish = NextWorkingDay(finish);
    task->finish = finish;
  }
  task->days = days ? *days : WorkingDaysBetween(task->start, task->finish);
  return true;
}

bool ReadRow(RowReader& row, int number, bool dayFirst, PlanTask* task, Plan* plan) {
  task->id = number;
  if (row.Has(kId)) {
    const std::optional<long long> id = WholeInteger(row.Field(kId));
    if (!id || *id < INT32_MIN || *id > INT32_MAX) return row.Bad("ID", row.Field(kId));
    task->id = static_cast<std::int32_t>(*id);
  }
  if (!ReadSchedule(row, dayFirst, task)) return false;
  if (row.Has(kPredecessors)) {
    std::string_view rest;
    const std::optional<long long> first = LeadingInteger(row.Field(kPredecessors), &rest);
    if (!first || *first < INT32_MIN || *first > INT32_MAX) {
      return row.Bad("predecessor", row.Field(kPredecessors));
    }
    task->predecessor = static_cast<std::int32_t>(*first);
    if (rest.find_first_of("0123456789") != std::string_view::npos) {
      plan->Note(task->line, "a second predecessor (\"" +
                                 cli::EscapeForMessage(row.Field(kPredecessors)) +
                                 "\") is left out");
    }
  }
  const std::optional<std::int32_t> percent = ParsePercent(row.Field(kPercent));
  if (!percent) return row.Bad("percent complete", row.Field(kPercent));
  task->percent = *percent;
  task->name = row.Text(kName);
  task->resources = SplitResources(row.Text(kResources));
  return true;
}

bool EmptyRow(const Row& row) {
  for (const std::string& field : row.fields) {
    if (!Trim(field).empty()) return false;
  }
  return true;
}

}  // namespace

bool ReadSpreadsheetPlan(std::string_view utf8, const SpreadsheetOptions& options, Plan* plan,
                         std::string* error) {
  if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
  const std::vector<Row> rows = SplitRows(utf8);
  std::optional<std::size_t> at[kColumns];
  if (!rows.empty()) {
    for (std::size_t i = 0; i < rows[0].fields.size(); ++i) {
      const std::optional<Column> column = ColumnOfName(rows[0].fields[i]);
      if (column && !at[*column]) at[*column] = i;
    }
  }
  if (!at[kStart] || !at[kName]) {
    *error = "line 1: no header that names at least the columns Start and Name";
    return false;
  }
  int number = 0;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    if (EmptyRow(rows[r])) continue;
    RowReader row(rows[r], at, plan);
    PlanTask task;
    task.line = rows[r].line;
    if (ReadRow(row, ++number, options.dayFirst, &task, plan))
      plan->tasks.push_back(std::move(task));
  }
  return true;
}

}  // namespace kestrel::plan
