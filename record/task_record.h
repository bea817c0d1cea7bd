// SPDX-License-Identifier: MIT
// The handheld task record and its two text forms: the import line parser
// and the backup line formatter. Pure codec: buffers and strings in and out,
// no I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "handheld/sync_services.h"

// One project task as the handheld stores it: 74 bytes, no gaps, multi-byte
// fields big-endian.
#pragma pack(push, 1)
struct TaskRecord {
  std::uint8_t taskId;           // read as signed
  std::uint8_t reserved;         // 0
  std::uint8_t startDate[2];     // PackedDate, big-endian
  std::uint8_t duration[2];      // whole days, big-endian
  std::uint8_t finishDate[2];    // PackedDate, big-endian
  std::uint8_t predecessor;      // signed; 0 or less means none
  std::uint8_t percentComplete;  // signed
  char name[32];                 // NUL-terminated, at most 31 characters
  char resourceNames[32];        // NUL-terminated, at most 31 characters
};
#pragma pack(pop)

static_assert(sizeof(TaskRecord) == 74);
static_assert(offsetof(TaskRecord, taskId) == 0);
static_assert(offsetof(TaskRecord, reserved) == 1);
static_assert(offsetof(TaskRecord, startDate) == 2);
static_assert(offsetof(TaskRecord, duration) == 4);
static_assert(offsetof(TaskRecord, finishDate) == 6);
static_assert(offsetof(TaskRecord, predecessor) == 8);
static_assert(offsetof(TaskRecord, percentComplete) == 9);
static_assert(offsetof(TaskRecord, name) == 10);
static_assert(offsetof(TaskRecord, resourceNames) == 42);

inline constexpr std::uint32_t kTaskRecordSize = sizeof(TaskRecord);
inline constexpr std::size_t kTaskTextFieldSize = sizeof(TaskRecord::name);

// The 16-bit value with its two bytes exchanged.
constexpr std::uint16_t SwapBytes16(std::uint16_t value) {
  return static_cast<std::uint16_t>((value << 8) | (value >> 8));
}

// Reads the big-endian 16-bit field at `field` into host order.
constexpr std::uint16_t LoadField16(const std::uint8_t* field) {
  // The stored bytes, first byte low, are the swapped value.
  return SwapBytes16(static_cast<std::uint16_t>(field[0] | (field[1] << 8)));
}

// Stores `value` big-endian at `field`: the swapped value, low byte first.
constexpr void StoreField16(std::uint8_t* field, std::uint16_t value) {
  const std::uint16_t swapped = SwapBytes16(value);
  field[0] = static_cast<std::uint8_t>(swapped & 0xFF);
  field[1] = static_cast<std::uint8_t>(swapped >> 8);
}

// A calendar date in 16 bits: years since 1904 in bits 15-9, month in bits
// 8-5, day in bits 4-0. Month and day need not form a calendar date; they
// are kept as given.
struct PackedDate {
  std::uint16_t value = 0;

  // Packs a date, each field taken modulo its width: years since 1904 modulo
  // 128 (2032 becomes 1904, 1903 becomes 2031), month modulo 16, day modulo 32.
  static constexpr PackedDate Pack(std::int32_t year, std::int32_t month, std::int32_t day) {
    // Unsigned arithmetic wraps modulo 2^32, a multiple of every width, so
    // the masks give the true modulo for negative values too.
    const auto years = (static_cast<std::uint32_t>(year) - 1904u) & 0x7Fu;
    const auto months = static_cast<std::uint32_t>(month) & 0x0Fu;
    const auto days = static_cast<std::uint32_t>(day) & 0x1Fu;
    return PackedDate{static_cast<std::uint16_t>(years << 9 | months << 5 | days)};
  }

  constexpr std::int32_t Year() const { return 1904 + (value >> 9); }
  constexpr std::int32_t Month() const { return (value >> 5) & 0x0F; }
  constexpr std::int32_t Day() const { return value & 0x1F; }
};

static_assert(PackedDate::Pack(1998, 4, 13).value == 0xBC8D);
static_assert(SwapBytes16(0xBC8D) == 0x8DBC);

// Turns one import line into a TaskRecord in the transfer's record buffer
// and sets the record size to 74. Returns 0 when the line became a record,
// 1 when it was rejected: a line that starts with a comma or holds none, a
// line whose ID is followed by exactly six commas, or a transfer whose
// buffer holds fewer than 74 bytes. A rejected line writes at most the ID
// byte and leaves the record size as it was.
//
// The line is read by position, searching for the next delimiter; quotation
// marks mean nothing and every byte, NUL included, is taken as it comes.
// Bytes of the buffer that a line does not reach (when a delimiter is
// missing, later fields land earlier) keep what they held before.
// Two-digit years are 2000-2089 under 90 and 1990-1999 from 90; a year of
// 100 or more is the year itself.
int ParseTaskLine(std::string_view line, RecordTransfer& transfer);

// Replaces `line` with the backup-file form of the record in the transfer's
// buffer (no line break) and returns 0; returns 1, leaving `line` untouched,
// for a deleted record (attribute bit 0x80) or a transfer whose buffer holds
// fewer than 74 bytes. A text field without a NUL in its 32 bytes is written
// as all 32 of its bytes.
int FormatTaskLine(const RecordTransfer& transfer, std::string& line);

// As FormatTaskLine, but adds the line to the end of `text` instead of
// replacing it; `text` is untouched when it returns 1.
int AppendTaskLine(const RecordTransfer& transfer, std::string& text);
