// SPDX-License-Identifier: MIT
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#include "handheld/record_buffer.h"
#include "record/task_record.h"

// The formatter runs once for every record of every backup, so it is written
// for speed: the line is written into a local buffer and handed over in one
// piece, every number (at most five digits) two digits at a time from a
// table, each text a whole field at a time, its end found eight bytes a step.
// FormatTaskLine and AppendTaskLine both come down to WriteLine.

namespace {

// The longest line: "-128," + "15/31/2031," + "65535 days," + "15/31/2031," +
// "127," + "-128%," + two texts of 32 bytes and the comma between them.
constexpr std::size_t kLongestLine = 5 + 11 + 11 + 11 + 4 + 6 + 32 + 1 + 32;
// A text is copied whole, so the buffer has room for a field past the line.
constexpr std::size_t kLineBuffer = kLongestLine + kTaskTextFieldSize;

// "00" to "99".
constexpr std::array<char, 200> kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

[[gnu::always_inline]] inline char* PutPair(char* out, unsigned n) {
  std::memcpy(out, &kDigitPairs[2 * n], 2);
  return out + 2;
}

// `n`, at most 99, in decimal without leading zeros.
[[gnu::always_inline]] inline char* PutSmallNumber(char* out, unsigned n) {
  if (n >= 10) return PutPair(out, n);
  *out = static_cast<char>('0' + n);
  return out + 1;
}

// `n`, at most 65535, in decimal without leading zeros.
[[gnu::always_inline]] inline char* PutNumber(char* out, unsigned n) {
  if (n < 10) {
    *out = static_cast<char>('0' + n);
    return out + 1;
  }
  if (n < 100) return PutPair(out, n);
  if (n < 1000) {
    *out = static_cast<char>('0' + n / 100);
    return PutPair(out + 1, n % 100);
  }
  if (n < 10000) return PutPair(PutPair(out, n / 100), n % 100);
  *out = static_cast<char>('0' + n / 10000);
  n %= 10000;
  return PutPair(PutPair(out + 1, n / 100), n % 100);
}

// The byte read as signed 8 bits.
[[gnu::always_inline]] inline char* PutSigned8(char* out, std::uint8_t byte) {
  const auto value = static_cast<std::int8_t>(byte);
  if (value >= 0) return PutNumber(out, static_cast<unsigned>(value));
  *out = '-';
  return PutNumber(out + 1, static_cast<unsigned>(-static_cast<int>(value)));
}

[[gnu::always_inline]] inline char* PutLiteral(char* out, const char* text, std::size_t size) {
  std::memcpy(out, text, size);
  return out + size;
}

// The position of the first zero byte among the eight at `p`, or 8.
[[gnu::always_inline]] inline std::size_t FirstZeroByte(const std::uint8_t* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  // Marks the zero bytes with their high bit, and nothing else.
  constexpr std::uint64_t kLowBits = 0x7F7F7F7F7F7F7F7Full;
  const std::uint64_t marks = ~(((word & kLowBits) + kLowBits) | word | kLowBits);
  const int bits = std::endian::native == std::endian::little ? std::countr_zero(marks)
                                                              : std::countl_zero(marks);
  return static_cast<std::size_t>(bits) / 8;
}

// month "/" day "/" four-digit year, each as stored.
[[gnu::always_inline]] inline char* PutDate(char* out, const std::uint8_t* field) {
  const PackedDate date{LoadField16(field)};
  out = PutSmallNumber(out, static_cast<unsigned>(date.Month()));
  *out++ = '/';
  out = PutSmallNumber(out, static_cast<unsigned>(date.Day()));
  *out++ = '/';
  const auto year = static_cast<unsigned>(date.Year());  // 1904 to 2031
  return PutPair(PutPair(out, year / 100), year % 100);
}

// The text up to its NUL, never past the end of its field. The whole field
// is copied; what follows the NUL is written over or left out.
[[gnu::always_inline]] inline char* PutText(char* out, const std::uint8_t* field) {
  std::memcpy(out, field, kTaskTextFieldSize);
  std::size_t length = 0;
  for (; length < kTaskTextFieldSize; length += 8) {
    const std::size_t zero = FirstZeroByte(field + length);
    if (zero < 8) return out + length + zero;
  }
  return out + kTaskTextFieldSize;
}

// The record's line, without a line break, into `line` (kLineBuffer bytes);
// returns its length.
std::size_t WriteLine(const std::uint8_t* record, char* line) {
  char* out = PutSigned8(line, record[offsetof(TaskRecord, taskId)]);
  *out++ = ',';
  out = PutDate(out, record + offsetof(TaskRecord, startDate));
  *out++ = ',';
  out = PutNumber(out, LoadField16(record + offsetof(TaskRecord, duration)));
  out = PutLiteral(out, " days,", 6);
  out = PutDate(out, record + offsetof(TaskRecord, finishDate));
  *out++ = ',';
  const auto predecessor = static_cast<std::int8_t>(record[offsetof(TaskRecord, predecessor)]);
  if (predecessor > 0) out = PutNumber(out, static_cast<unsigned>(predecessor));
  *out++ = ',';
  out = PutSigned8(out, record[offsetof(TaskRecord, percentComplete)]);
  out = PutLiteral(out, "%,", 2);
  out = PutText(out, record + offsetof(TaskRecord, name));
  *out++ = ',';
  out = PutText(out, record + offsetof(TaskRecord, resourceNames));
  return static_cast<std::size_t>(out - line);
}

// The record in the transfer's buffer, or nullptr for a deleted record or a
// buffer that cannot hold one.
const std::uint8_t* LiveRecord(const RecordTransfer& transfer) {
  if ((transfer.attributes & kRecordDeleted) != 0) return nullptr;
  const std::uint8_t* const record = RecordBufferData(transfer);
  if (record == nullptr || transfer.bufferCapacity < kTaskRecordSize) return nullptr;
  return record;
}

}  // namespace

int AppendTaskLine(const RecordTransfer& transfer, std::string& text) {
  const std::uint8_t* const record = LiveRecord(transfer);
  if (record == nullptr) return 1;
  char line[kLineBuffer];
  text.append(line, WriteLine(record, line));
  return 0;
}

int FormatTaskLine(const RecordTransfer& transfer, std::string& line) {
  if (LiveRecord(transfer) == nullptr) return 1;
  line.clear();
  return AppendTaskLine(transfer, line);
}
