#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "handheld/record_buffer.h"
#include "record/byte_words.h"
#include "record/leading_number.h"
#include "record/task_record.h"

// The parser reads the line where it lies, each byte of a usual line about
// once. Most fields are a few characters long, so what costs is the work
// around each one; the searches, the numbers and the text copies are written
// to keep that small, and are forced inline so that the whole line is read in
// one function.

namespace {

using kestrel::IsWhiteSpace;
using kestrel::LeadingNumber;

// The digit's value, or 10 and more for any other byte.
constexpr unsigned DigitValue(char c) { return static_cast<unsigned char>(c) - unsigned{'0'}; }

// The value of a few digits, which always fits.
constexpr std::int32_t Number(unsigned digits) { return static_cast<std::int32_t>(digits); }

// The rest of the line still to be read, [at_, end_). Fields are consumed
// from its left end by searching for the next delimiter; nothing is ever
// split out ahead. Every read is tested against the end; where a few bytes
// are read at once, one test up front covers them all.
class WorkingString {
 public:
  WorkingString(const char* begin, const char* end) : begin_(begin), at_(begin), end_(end) {}

  std::string_view Text() const { return Upto(end_); }

  // Drops through the next `delimiter`, when there is one.
  [[gnu::always_inline]] void SkipPast(char delimiter) {
    if (const char* found = FindFrom(at_, delimiter)) at_ = found + 1;
  }

  // When the text holds `delimiter`: sets `number` to the number of the
  // token before it, drops through it and returns true. Otherwise returns
  // false and leaves both as they were.
  [[gnu::always_inline]] bool TakeNumberBefore(char delimiter, std::int32_t& number) {
    const char* stop = at_;
    // The usual case, one to three digits and the delimiter straight after
    // them, read without a loop once the text is known to hold four bytes.
    if (end_ - stop >= 4) {
      if (const unsigned first = DigitValue(stop[0]); first < 10) {
        if (stop[1] == delimiter) return DropThrough(stop + 1, Number(first), number);
        if (const unsigned second = DigitValue(stop[1]); second < 10) {
          const unsigned two = first * 10 + second;
          if (stop[2] == delimiter) return DropThrough(stop + 2, Number(two), number);
          if (const unsigned third = DigitValue(stop[2]); third < 10 && stop[3] == delimiter) {
            return DropThrough(stop + 3, Number(two * 10 + third), number);
          }
        }
      }
    }
    // What a number is read from (white space, a sign, digits) is never the
    // delimiter, a space delimiter ending the white space: so the number is
    // read first, and the delimiter searched for from where it ended.
    const std::int32_t value =
        Digit(stop) < 10 ? ReadDigits(stop) : ReadSignedNumber(stop, delimiter);
    const char* found = FindFrom(stop, delimiter);
    if (found == nullptr) return false;
    return DropThrough(found, value, number);
  }

  // When the text holds `delimiter`: sets `text` to the token before it,
  // drops through it and returns true. Otherwise returns false.
  [[gnu::always_inline]] bool TakeTextBefore(char delimiter, std::string_view& text) {
    const char* found = FindFrom(at_, delimiter);
    if (found == nullptr) return false;
    text = Upto(found);
    at_ = found + 1;
    return true;
  }

 private:
  // The value of the digit at `p`, or 10 and more at the end or for any
  // other byte.
  unsigned Digit(const char* p) const { return p != end_ ? DigitValue(*p) : 10; }

  // Sets `number` to `value`, drops through the delimiter at `delimiterAt`
  // and returns true.
  bool DropThrough(const char* delimiterAt, std::int32_t value, std::int32_t& number) {
    number = value;
    at_ = delimiterAt + 1;
    return true;
  }

  // Reads the run of digits at `stop` and moves `stop` past it.
  std::int32_t ReadDigits(const char*& stop) const {
    const char* const start = stop;
    std::uint32_t digits = 0;
    for (unsigned d; (d = Digit(stop)) < 10; ++stop) digits = digits * 10 + d;
    // Nine digits always fit; a longer run is read the careful way.
    return stop - start <= 9 ? static_cast<std::int32_t>(digits) : LeadingNumber(Upto(stop));
  }

  // Reads a number that does not start with a digit: white space (not the
  // delimiter), a sign, digits, or nothing of these. Moves `stop` past it.
  std::int32_t ReadSignedNumber(const char*& stop, char delimiter) const {
    while (stop != end_ && *stop != delimiter && IsWhiteSpace(*stop)) ++stop;
    if (stop != end_ && (*stop == '+' || *stop == '-')) ++stop;
    while (Digit(stop) < 10) ++stop;
    return LeadingNumber(Upto(stop));
  }

  // The first `delimiter` at or after `from`, or nullptr: a block of bytes
  // a step while a whole block remains, then the last block of the line,
  // whose bits for the bytes before `from` are shifted out.
  [[gnu::always_inline]] const char* FindFrom(const char* from, char delimiter) const {
    using kestrel::words::kBlockSize;
    using kestrel::words::MatchBits;
    const auto wanted = static_cast<unsigned char>(delimiter);
    if (from != end_ && *from == delimiter) return from;  // often the very next byte
    for (; static_cast<std::size_t>(end_ - from) >= kBlockSize; from += kBlockSize) {
      if (const std::uint32_t bits = MatchBits(from, wanted)) return from + std::countr_zero(bits);
    }
    if (from == end_) return nullptr;
    if (static_cast<std::size_t>(end_ - begin_) >= kBlockSize) {
      const char* const last = end_ - kBlockSize;
      const std::uint32_t bits = MatchBits(last, wanted) >> (from - last);
      return bits != 0 ? from + std::countr_zero(bits) : nullptr;
    }
    for (; from != end_; ++from) {
      if (*from == delimiter) return from;
    }
    return nullptr;
  }

  // The text from its start up to `stop`.
  std::string_view Upto(const char* stop) const {
    return {at_, static_cast<std::size_t>(stop - at_)};
  }

  const char* begin_;  // where the line starts, for reading its last block
  const char* at_;
  const char* end_;
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
[[gnu::always_inline]] inline PackedDate ReadDate(WorkingString& text) {
  std::int32_t month = 0;
  std::int32_t day = 0;
  std::int32_t year = 1904;
  text.TakeNumberBefore('/', month);
  text.TakeNumberBefore('/', day);
  std::int32_t yearNumber = 0;
  if (text.TakeNumberBefore(',', yearNumber)) year = FullYear(LowWord(yearNumber));
  return PackedDate::Pack(year, month, day);
}

// Copies `size` bytes, at most 32, with no call and no loop: two copies of
// a fixed size that overlap in the middle cover every length between that
// size and twice it.
[[gnu::always_inline]] inline void CopyShort(std::uint8_t* to, const char* from, std::size_t size) {
  if (size >= 16) {
    std::memcpy(to, from, 16);
    std::memcpy(to + size - 16, from + size - 16, 16);
  } else if (size >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + size - 8, from + size - 8, 8);
  } else if (size >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + size - 4, from + size - 4, 4);
  } else if (size > 0) {
    // One to three bytes: the first, the middle and the last.
    to[0] = static_cast<std::uint8_t>(from[0]);
    to[size / 2] = static_cast<std::uint8_t>(from[size / 2]);
    to[size - 1] = static_cast<std::uint8_t>(from[size - 1]);
  }
}

// Writes the first 31 bytes of `text` and a NUL into the 32-byte field,
// zero-filling the rest so nothing of an earlier record stays behind it.
[[gnu::always_inline]] inline void PutTextField(std::uint8_t* field, std::string_view text) {
  const std::size_t length =
      text.size() < kTaskTextFieldSize - 1 ? text.size() : kTaskTextFieldSize - 1;
  std::memset(field, 0, kTaskTextFieldSize);
  CopyShort(field, text.data(), length);
}

std::string_view TrimTrailingWhiteSpace(std::string_view line) {
  std::size_t end = line.size();
  while (end > 0 && IsWhiteSpace(line[end - 1])) --end;
  return line.substr(0, end);
}

}  // namespace

int ParseTaskLine(std::string_view line, RecordTransfer& transfer) {
  std::uint8_t* const record = RecordBufferData(transfer);
  if (record == nullptr || transfer.bufferCapacity < kTaskRecordSize) return 1;

  const std::string_view trimmed = TrimTrailingWhiteSpace(line);
  WorkingString text(trimmed.data(), trimmed.data() + trimmed.size());

  // The ID: a line that starts with a comma or holds none is no task.
  std::int32_t id = 0;
  if (text.Text().empty() || text.Text().front() == ',' || !text.TakeNumberBefore(',', id)) {
    return 1;
  }
  record[0] = LowByte(id);

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

  std::string_view name;
  if (text.TakeTextBefore(',', name)) {
    PutTextField(record + cursor, name);
    cursor += kTaskTextFieldSize;
  }
  PutTextField(record + cursor, text.Text());

  transfer.recordSize = kTaskRecordSize;
  return 0;
}
