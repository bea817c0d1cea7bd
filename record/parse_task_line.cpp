#include <cstdint>
#include <cstring>
#include <string_view>

#include "handheld/record_buffer.h"
#include "record/leading_number.h"
#include "record/task_record.h"

namespace {

using kestrel::LeadingNumber;

// The rest of the line still to be read. Fields are consumed from its left
// end by searching for the next delimiter; nothing is ever split out ahead.
class WorkingString {
 public:
  explicit WorkingString(std::string_view text) : text_(text) {}

  std::string_view Text() const { return text_; }

  // Where the next `delimiter` is, or npos.
  std::size_t Find(char delimiter) const { return text_.find(delimiter); }

  // The first `end` bytes.
  std::string_view TokenBefore(std::size_t end) const { return text_.substr(0, end); }

  // Drops everything up to and including position `end`; npos keeps the text.
  void DropThrough(std::size_t end) {
    if (end != std::string_view::npos) text_.remove_prefix(end + 1);
  }

  // Drops through the next `delimiter`, when there is one.
  void SkipPast(char delimiter) { DropThrough(Find(delimiter)); }

  // When the text holds `delimiter`: sets `number` to the number before it,
  // drops through it and returns true. Otherwise returns false.
  bool TakeNumberBefore(char delimiter, std::int32_t& number) {
    const std::size_t end = Find(delimiter);
    if (end == std::string_view::npos) return false;
    number = LeadingNumber(TokenBefore(end));
    DropThrough(end);
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
PackedDate ReadDate(WorkingString& text) {
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
  std::memcpy(field, text.data(), length);
  std::memset(field + length, 0, kTaskTextFieldSize - length);
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

  WorkingString text(TrimTrailingWhiteSpace(line));

  const std::size_t idEnd = text.Find(',');
  if (idEnd == 0 || idEnd == std::string_view::npos) return 1;
  record[0] = LowByte(LeadingNumber(text.TokenBefore(idEnd)));
  text.DropThrough(idEnd);

  // A row of an empty spreadsheet line: an ID and nothing in any column.
  if (text.Text() == ",,,,,,") return 1;

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

  std::int32_t number = 0;
  if (text.TakeNumberBefore(',', number)) record[cursor++] = LowByte(number);
  if (text.TakeNumberBefore('%', number)) record[cursor++] = LowByte(number);
  text.SkipPast(',');  // what follows the "%" in its column

  const std::size_t nameEnd = text.Find(',');
  if (nameEnd != std::string_view::npos) {
    PutTextField(record + cursor, text.TokenBefore(nameEnd));
    text.DropThrough(nameEnd);
    cursor += kTaskTextFieldSize;
  }
  PutTextField(record + cursor, text.Text());

  transfer.recordSize = kTaskRecordSize;
  return 0;
}
