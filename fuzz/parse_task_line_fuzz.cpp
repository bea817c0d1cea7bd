// SPDX-License-Identifier: MIT
// The import line parser on any bytes as a line. The record is never written
// outside its 74 bytes (an exact 74-byte buffer, which a sanitizer build
// guards, and a longer one whose bytes past 74 must keep their canary); an
// accepted line sets the record size to 74 and byte 1 to 0; a rejected line
// writes nothing but the ID byte and keeps the record size; whether a line is
// accepted follows the two rejection rules; a buffer of 73 bytes is refused
// untouched.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "handheld/record_buffer.h"
#include "record/task_record.h"

namespace {

using kestrel::fuzz::Check;

constexpr std::uint8_t kFill = 0xA5;
constexpr std::uint8_t kCanary = 0x5A;
constexpr std::uint16_t kGuard = 16;
constexpr std::uint32_t kSizeBefore = 0x12345678;

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A line is rejected when, without its trailing white space, it starts with
// a comma or holds none, or its ID is followed by exactly six commas.
bool Accepted(std::string_view line) {
  while (!line.empty() && IsWhiteSpace(line.back())) line.remove_suffix(1);
  const std::size_t comma = line.find(',');
  if (comma == 0 || comma == std::string_view::npos) return false;
  return line.substr(comma + 1) != ",,,,,,";
}

// Parses into a buffer of `capacity` bytes, the first 74 filled with kFill
// and the rest with kCanary. Returns the parser's answer.
int ParseInto(std::string_view line, std::uint16_t capacity, RecordTransfer& transfer,
              const kestrel::RecordBuffer& buffer) {
  Check(buffer.Allocated(), "the record buffer is allocated");
  std::uint8_t* bytes = buffer.Data();
  std::fill(bytes, bytes + std::min<std::uint16_t>(capacity, kTaskRecordSize), kFill);
  if (capacity > kTaskRecordSize) std::fill(bytes + kTaskRecordSize, bytes + capacity, kCanary);
  transfer.recordSize = kSizeBefore;
  return ParseTaskLine(line, transfer);
}

void CheckRecord(std::string_view line, std::uint16_t capacity) {
  RecordTransfer transfer{};
  const kestrel::RecordBuffer buffer(transfer, capacity);
  const int result = ParseInto(line, capacity, transfer, buffer);
  const std::uint8_t* bytes = buffer.Data();

  Check(result == 0 || result == 1, "the parser answers 0 or 1");
  Check((result == 0) == Accepted(line), "a line is rejected exactly by the two rules");
  if (result == 0) {
    Check(transfer.recordSize == kTaskRecordSize, "an accepted line sets the record size to 74");
    Check(bytes[1] == 0, "an accepted line writes 0 at offset 1");
  } else {
    Check(transfer.recordSize == kSizeBefore, "a rejected line keeps the record size");
    Check(
        std::all_of(bytes + 1, bytes + kTaskRecordSize, [](std::uint8_t b) { return b == kFill; }),
        "a rejected line writes nothing past the ID byte");
  }
  Check(std::all_of(bytes + kTaskRecordSize, bytes + capacity,
                    [](std::uint8_t b) { return b == kCanary; }),
        "nothing is written past the record's 74 bytes");
}

void CheckTooSmallBuffer(std::string_view line) {
  constexpr std::uint16_t kSmall = kTaskRecordSize - 1;
  RecordTransfer transfer{};
  const kestrel::RecordBuffer buffer(transfer, kSmall);
  Check(ParseInto(line, kSmall, transfer, buffer) == 1, "a 73-byte buffer is refused");
  Check(transfer.recordSize == kSizeBefore, "a refused buffer keeps the record size");
  const std::uint8_t* bytes = buffer.Data();
  Check(std::all_of(bytes, bytes + kSmall, [](std::uint8_t b) { return b == kFill; }),
        "a refused buffer is not written");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  CheckRecord(line, kTaskRecordSize);
  CheckRecord(line, kTaskRecordSize + kGuard);
  CheckTooSmallBuffer(line);
  return 0;
}
