// SPDX-License-Identifier: MIT
#include <cstdint>
#include <cstring>
#include <string_view>

#include "handheld/record_buffer.h"
#include "record/leading_number.h"
#include "record/task_record.h"

// The parser is a cursor over the line: each field is taken from the front
// of what is left by searching for its delimiter, and nothing is split out
// ahead. A line is read where it lies, whatever its length.

namespace {

using kestrel::LeadingNumber;

// The rest of the line still to be read.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  std::string_view Rest() const { return text_; }

  // Drops through the next `delimiter`, when there is one.
  void SkipPast(char delimiter) {
    const std::size_t end = text_.find(delimiter);
    if (end != std::string_view::npos) text_.remove_prefix(end + 1);
  }

  // When the text holds `delimiter`: sets `token` to what lies before it,
  // drops through it and returns true. Otherwise returns false and leaves
  // both as they were.
  bool TakeTextBefore(char delimiter, std::string_view& token) {
    const std::size_t end = text_.find(delimiter);
    if (end == std::string_view::npos) return false;
    token = text_.substr(0, end);
    text_.remove_prefix(end + 1);
    return true;
  }

  // As TakeTextBefore, but sets `number` to the number the token starts with.
  bool TakeNumberBefore(char delimiter, std::int32_t& number) {
    std::string_view token;
    if (!TakeTextBefore(delimiter, token)) return false;
    number = LeadingNumber(token);
    return true;
  }

 private:
  std::string_view text_;
};

constexpr std::uint8_t LowByte(std::int32_t number) {
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(number) & 0xFFu);
}

constexpr std::uint16_t LowWord(std::int32_t number) {
  return static_cast<std::uint16_t>(static_cast<std::uint32_t>(number) & 0xFFFFu);
}

// A two-digit year counts from 1990 to 2089; a longer one is the year itself.
constexpr std::int32_t FullYear(std::uint16_t year) {
  if (year >= 100) return year;
  return year < 90 ? year + 2000 : year + 1900;
}

// Reads month "/" day "/" year "," from the front of the text. A part whose
// delimiter is missing contributes nothing: month and day 0, year 1904.
PackedDate ReadDate(Cursor& text) {
  std::int32_t month = 0;
  std::int32_t day = 0;
  std::int32_t year = 1904;
  text.TakeNumberBefore('/', month);
  text.TakeNumberBefore('/', day);
  std::int32_t yearNumber = 0;
  if (text.TakeNumberBefore(',', yearNumber)) year = FullYear(LowWord(yearNumber));
  return PackedDate::Pack(year, month, day);
}

// Writes the first 31 bytes of `text` and a NUL into the 32-byte field,
// zero-filling the rest so nothing of an earlier record stays behind it.
void PutTextField(std::uint8_t* field, std::string_view text) {
  const std::size_t length =
      text.size() < kTaskTextFieldSize - 1 ? text.size() : kTaskTextFieldSize - 1;
  std::memset(field, 0, kTaskTextFieldSize);
  // An empty view may point nowhere, and memcpy must not be given that.
  if (length > 0) std::memcpy(field, text.data(), length);
}

std::string_view TrimTrailingWhiteSpace(std::string_view line) {
  std::size_t end = line.size();
  while (end > 0 && kestrel::IsWhiteSpace(line[end - 1])) --end;
  return line.substr(0, end);
}

}  // namespace

int ParseTaskLine(std::string_view line, RecordTransfer& transfer) {
  std::uint8_t* const record = RecordBufferData(transfer);
  if (record == nullptr || transfer.bufferCapacity < kTaskRecordSize) return 1;

  Cursor text(TrimTrailingWhiteSpace(line));

  // The ID: a line that starts with a comma or holds none is no task.
  std::int32_t id = 0;
  if (text.Rest().empty() || text.Rest().front() == ',' || !text.TakeNumberBefore(',', id)) {
    return 1;
  }
  record[0] = LowByte(id);

  // A row of an empty spreadsheet line: an ID and nothing in any column.
  if (text.Rest() == ",,,,,,") return 1;

  record[1] = 0;
  std::size_t cursor = 2;

  text.SkipPast(' ');  // the leading word of the start date
  StoreField16(record + cursor, ReadDate(text).value);
  cursor += 2;

  std::int32_t duration = 0;
  text.TakeNumberBefore(' ', duration);
  StoreField16(record + cursor, LowWord(duration));
  cursor += 2;

  text.SkipPast(',');  // the unit of the duration
  text.SkipPast(' ');  // the leading word of the finish date
  StoreField16(record + cursor, ReadDate(text).value);
  cursor += 2;

  // A missing delimiter writes nothing, so later fields land earlier.
  std::int32_t number = 0;
  if (text.TakeNumberBefore(',', number)) record[cursor++] = LowByte(number);
  if (text.TakeNumberBefore('%', number)) record[cursor++] = LowByte(number);
  text.SkipPast(',');  // what follows the "%" in its column

  std::string_view name;
  if (text.TakeTextBefore(',', name)) {
    PutTextField(record + cursor, name);
    cursor += kTaskTextFieldSize;
  }
  PutTextField(record + cursor, text.Rest());

  transfer.recordSize = kTaskRecordSize;
  return 0;
}
