#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "handheld/record_buffer.h"
#include "record/task_record.h"

namespace {

void AppendNumber(std::string& line, std::int32_t number) {
  char digits[12];
  const auto result = std::to_chars(digits, digits + sizeof digits, number);
  line.append(digits, result.ptr);
}

constexpr std::int32_t Signed8(std::uint8_t byte) { return static_cast<std::int8_t>(byte); }

// month "/" day "/" four-digit year, each as stored.
void AppendDate(std::string& line, const std::uint8_t* field) {
  const PackedDate date{LoadField16(field)};
  AppendNumber(line, date.Month());
  line += '/';
  AppendNumber(line, date.Day());
  line += '/';
  AppendNumber(line, date.Year());
}

// The text up to its NUL, never past the end of its field.
void AppendText(std::string& line, const std::uint8_t* field) {
  const void* nul = std::memchr(field, 0, kTaskTextFieldSize);
  const std::size_t length =
      nul == nullptr ? kTaskTextFieldSize
                     : static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - field);
  line.append(reinterpret_cast<const char*>(field), length);
}

}  // namespace

int FormatTaskLine(const RecordTransfer& transfer, std::string& line) {
  if ((transfer.attributes & kRecordDeleted) != 0) return 1;
  const std::uint8_t* const record = RecordBufferData(transfer);
  if (record == nullptr || transfer.bufferCapacity < kTaskRecordSize) return 1;

  line.clear();
  AppendNumber(line, Signed8(record[offsetof(TaskRecord, taskId)]));
  line += ',';
  AppendDate(line, record + offsetof(TaskRecord, startDate));
  line += ',';
  AppendNumber(line, LoadField16(record + offsetof(TaskRecord, duration)));
  line += " days,";
  AppendDate(line, record + offsetof(TaskRecord, finishDate));
  line += ',';
  const std::int32_t predecessor = Signed8(record[offsetof(TaskRecord, predecessor)]);
  if (predecessor > 0) AppendNumber(line, predecessor);
  line += ',';
  AppendNumber(line, Signed8(record[offsetof(TaskRecord, percentComplete)]));
  line += "%,";
  AppendText(line, record + offsetof(TaskRecord, name));
  line += ',';
  AppendText(line, record + offsetof(TaskRecord, resourceNames));
  return 0;
}
