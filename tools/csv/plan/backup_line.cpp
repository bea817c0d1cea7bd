// SPDX-License-Identifier: MIT
#include "tools/csv/plan/backup_line.h"

#include "record/leading_number.h"

namespace kestrel::plan {
namespace {

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
  bool Date(std::string_view* text, CivilDate* date) {
    const std::string_view start = text_;
    std::string_view part;
    if (!Number(false, &part, &date->month) || !Literal("/") || !Number(false, &part, &date->day) ||
        !Literal("/") || !Number(false, &part, &date->year) || part.size() != 4) {
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

}  // namespace

std::optional<BackupLine> ParseBackupLine(std::string_view line) {
  BackupLine fields;
  BackupReader reader(line);
  const bool form =
      reader.Number(true, &fields.idText, &fields.id) && reader.Literal(",") &&
      reader.Date(&fields.startText, &fields.start) && reader.Literal(",") &&
      reader.Number(false, &fields.daysText, &fields.days) && reader.Literal(" days,") &&
      reader.Date(&fields.finishText, &fields.finish) && reader.Literal(",") &&
      (reader.Literal(",") || (reader.Number(false, &fields.predecessorText, &fields.predecessor) &&
                               reader.Literal(","))) &&
      reader.Number(true, &fields.percentText, &fields.percent) && reader.Literal("%,") &&
      reader.TextBeforeComma(&fields.name);
  if (!form) return std::nullopt;
  fields.resources = reader.Rest();
  return fields;
}

}  // namespace kestrel::plan
