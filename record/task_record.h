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
  std::uint8_t taskId;
  std::uint8_t reserved;
  std::uint8_t startDate[2];   // PackedDate, big-endian
  std::uint8_t duration[2];    // whole days, big-endian
  std::uint8_t finishDate[2];  // PackedDate, big-endian
  std::uint8_t predecessor;
  std::uint8_t percentComplete;
  char name[32];
  char resourceNames[32];
};
#pragma pack(pop)

static_assert(sizeof(TaskRecord) == 74);
static_assert(offsetof(TaskRecord, startDate) == 2);
static_assert(offsetof(TaskRecord, duration) == 4);
static_assert(offsetof(TaskRecord, finishDate) == 6);
static_assert(offsetof(TaskRecord, predecessor) == 8);
static_assert(offsetof(TaskRecord, percentComplete) == 9);
static_assert(offsetof(TaskRecord, name) == 10);
static_assert(offsetof(TaskRecord, resourceNames) == 42);

inline constexpr std::uint32_t kTaskRecordSize = sizeof(TaskRecord);

// Turns one import line into a TaskRecord in the transfer's record buffer
// (which must hold at least 74 bytes) and sets the record size to 74.
// Returns 0 when the line became a record, 1 when it was rejected.
int ParseTaskLine(std::string_view line, RecordTransfer& transfer);

// Replaces `line` with the backup-file form of the record in the transfer's
// buffer and returns 0; returns 1, leaving `line` untouched, for a deleted
// record.
int FormatTaskLine(const RecordTransfer& transfer, std::string& line);
