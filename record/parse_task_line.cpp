#include <cstdint>
#include <cstring>
#include <string_view>

#include "handheld/record_buffer.h"
#include "record/byte_words.h"
#include "record/leading_number.h"
#include "record/task_record.h"

// The parser reads each byte of a usual line about once. Most fields are a
// few characters long, so what costs is the work around each one; the
// searches and the numbers are written to keep that small, and are forced
// inline so that the whole line is read in one function.

namespace {

using kestrel::IsWhiteSpace;
using kestrel::LeadingNumber;

// The digit's value, or 10 and more for any other byte.
constexpr unsigned DigitValue(char c) { return static_cast<unsigned char>(c) - unsigned{'0'}; }

// The value of a few digits, which always fits.
constexpr std::int32_t Number(unsigned digits) { return static_cast<std::int32_t>(digits); }

// How the end of the text is known. A line that fits the local buffer is
// copied there and followed by kPadding zero bytes: a NUL is neither a digit
// nor a delimiter, so a scan stops at the end by itself, and a search or a
// copy may read whole words past it. A longer line is read where it is,
// each position tested against the end.
enum class Ending { Padded, Checked };

constexpr std::size_t kPadding = 32;
// Room for every line the import pass reads (4478 characters) and more.
constexpr std::size_t kLocalLineSize = 4608;

// The rest of the line still to be read, [at_, end_). Fields are consumed
// from its left end by searching for the next delimiter; nothing is ever
// split out ahead.
template <Ending kEnding>
class WorkingString {
 public:
  WorkingString(const char* begin, const char* end) : at_(begin), end_(end) {}

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
    if (const unsigned first = Digit(stop); first < 10) {
      // The usual case, one or two digits and the delimiter straight after
      // them, read without a loop.
      if (IsAt(stop + 1, delimiter)) return DropThrough(stop + 1, Number(first), number);
      if (const unsigned second = Digit(stop + 1); second < 10 && IsAt(stop + 2, delimiter)) {
        return DropThrough(stop + 2, Number(first * 10 + second), number);
      }
    }
    // What a number is read from (white space, a sign, digits) is never the
    // delimiter, a space delimiter ending the white space: so the number is
    // read first, and the delimiter searched for from where it ended.
    const std::int32_t value =
        Digit(stop) < 10 ? ReadDigits(stop) : ReadSignedNumber(stop, delimiter);
    const char* found = IsAt(stop, delimiter) ? stop : FindFrom(stop, delimiter);
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
  // The value of the digit at `p`, or 10 and more past the end or for any
  // other byte. With padding, the byte at the end is a NUL.
  unsigned Digit(const char* p) const {
    if constexpr (kEnding == Ending::Padded) {
      return DigitValue(*p);
    } else {
      return p != end_ ? DigitValue(*p) : 10;
    }
  }

  // Whether the byte at `p`, at most the end, is `delimiter`, which is
  // never a NUL.
  bool IsAt(const char* p, char delimiter) const {
    if constexpr (kEnding == Ending::Padded) {
      return *p == delimiter;
    } else {
      return p != end_ && *p == delimiter;
    }
  }

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

  // The first `delimiter` at or after `from`, or nullptr. With padding it
  // looks at eight bytes a step.
  [[gnu::always_inline]] const char* FindFrom(const char* from, char delimiter) const {
    if constexpr (kEnding == Ending::Padded) {
      if (*from == delimiter) return from;  // the end holds a NUL, never a delimiter
      const auto wanted = static_cast<unsigned char>(delimiter);
      for (; from < end_; from += 8) {
        if (const std::size_t at = kestrel::words::FirstByte(kestrel::words::Load(from), wanted);
            at < 8) {
          return from + at < end_ ? from + at : nullptr;
        }
      }
      return nullptr;
    } else {
      for (; from != end_; ++from) {
        if (*from == delimiter) return from;
      }
      return nullptr;
    }
  }

  // The text from its start up to `stop`.
  std::string_view Upto(const char* stop) const {
    return {at_, static_cast<std::size_t>(stop - at_)};
  }

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
template <Ending kEnding>
[[gnu::always_inline]] inline PackedDate ReadDate(WorkingString<kEnding>& text) {
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
template <Ending kEnding>
[[gnu::always_inline]] inline void PutTextField(std::uint8_t* field, std::string_view text) {
  const std::size_t length =
      text.size() < kTaskTextFieldSize - 1 ? text.size() : kTaskTextFieldSize - 1;
  if constexpr (kEnding == Ending::Padded) {
    // Whole fields, with no copy of a variable length: 32 bytes of the line
    // (the padding has them), then zeros from the text's end on.
    char staged[2 * kTaskTextFieldSize];
    std::memcpy(staged, text.data(), kTaskTextFieldSize);
    std::memset(staged + length, 0, kTaskTextFieldSize);
    std::memcpy(field, staged, kTaskTextFieldSize);
  } else {
    std::memset(field, 0, kTaskTextFieldSize);
    std::memcpy(field, text.data(), length);
  }
}

std::string_view TrimTrailingWhiteSpace(std::string_view line) {
  std::size_t end = line.size();
  while (end > 0 && IsWhiteSpace(line[end - 1])) --end;
  return line.substr(0, end);
}

// Everything from the ID on; returns what ParseTaskLine returns.
template <Ending kEnding>
[[gnu::always_inline]] inline int ParseFields(WorkingString<kEnding> text, std::uint8_t* record,
                                              RecordTransfer& transfer) {
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
    PutTextField<kEnding>(record + cursor, name);
    cursor += kTaskTextFieldSize;
  }
  PutTextField<kEnding>(record + cursor, text.Text());

  transfer.recordSize = kTaskRecordSize;
  return 0;
}

}  // namespace

int ParseTaskLine(std::string_view line, RecordTransfer& transfer) {
  std::uint8_t* const record = RecordBufferData(transfer);
  if (record == nullptr || transfer.bufferCapacity < kTaskRecordSize) return 1;

  const std::string_view text = TrimTrailingWhiteSpace(line);
  if (text.size() <= kLocalLineSize) {
    char local[kLocalLineSize + kPadding];
    // An empty view may point nowhere, and memcpy must not be given that.
    if (!text.empty()) std::memcpy(local, text.data(), text.size());
    std::memset(local + text.size(), 0, kPadding);
    return ParseFields(WorkingString<Ending::Padded>(local, local + text.size()), record, transfer);
  }
  return ParseFields(WorkingString<Ending::Checked>(text.data(), text.data() + text.size()), record,
                     transfer);
}
