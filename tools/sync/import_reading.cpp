// SPDX-License-Identifier: MIT
// The summary's reading of the import file, by the import's own line rule.
#include "tools/sync/import_reading.h"

#include "handheld/record_buffer.h"
#include "platform/text_file.h"
#include "record/task_record.h"
#include "transfer/import_lines.h"

namespace kestrel::cli {
namespace {

bool StartsUtf16(const std::string& line) {
  const bool bom = line.size() >= 2 && ((line[0] == '\xFF' && line[1] == '\xFE') ||
                                        (line[0] == '\xFE' && line[1] == '\xFF'));
  const bool spaced = line.size() >= 4 && line[1] == '\0' && line[3] == '\0' && line[0] != '\0';
  return bom || spaced;
}

bool HasQuotedField(const std::string& line) {
  bool fieldStart = true;
  for (const char c : line) {
    if (fieldStart && c == '"') return true;
    fieldStart = c == ',';
  }
  return false;
}

void Look(const std::string& line, int number, RecordTransfer& transfer, ImportReading& r) {
  if (number == 1 && StartsUtf16(line)) r.utf16 = true;
  if (line.find('\0') != std::string::npos) r.nuls.push_back(number);
  if (HasQuotedField(line)) r.quoted.push_back(number);
  if (ParseTaskLine(line, transfer) != 0) r.rejected.push_back(number);
}

}  // namespace

ImportReading ReadImportFile(const std::string& path) {
  ImportReading reading;
  kestrel::TextFile file;
  if (OpenTextFile(file, kestrel::TextFileMode::Read, path) != StatusOk) {
    reading.error = "it could not be opened";
    return reading;
  }
  RecordTransfer transfer{};
  const RecordBuffer buffer(transfer, kRecordBufferSize);
  kestrel::ImportLineReader lines(file);
  std::string line;
  for (;;) {
    const kestrel::ReadOutcome outcome = lines.Next(line);
    if (outcome == kestrel::ReadOutcome::End) break;
    if (outcome == kestrel::ReadOutcome::Error) {
      reading.error = "reading it failed after line " + std::to_string(lines.LinesRead());
      return reading;
    }
    Look(line, lines.LinesRead(), transfer, reading);
  }
  reading.read = true;
  reading.lines = lines.LinesRead();
  reading.beyond = reading.lines == kMaxImportLines &&
                   file.ReadLine(line, kImportLineChars) == kestrel::ReadOutcome::Line;
  return reading;
}

std::string LineNumbers(const std::vector<int>& numbers) {
  std::string text = numbers.size() == 1 ? "line " : "lines ";
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    if (i > 0) text += i + 1 == numbers.size() ? " and " : ", ";
    text += std::to_string(numbers[i]);
  }
  return text;
}

}  // namespace kestrel::cli
