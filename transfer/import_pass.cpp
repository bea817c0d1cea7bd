// SPDX-License-Identifier: MIT
#include <string>
#include <vector>

#include "handheld/record_buffer.h"
#include "record/task_record.h"
#include "transfer/import_lines.h"
#include "transfer/passes.h"

namespace {

// Reads the lines the pass takes into `lines`. False when reading failed
// other than at the end of the file.
bool ReadImportLines(kestrel::TextFile& importFile, std::vector<std::string>& lines) {
  lines.reserve(kMaxImportLines);
  kestrel::ImportLineReader reader(importFile);
  std::string line;
  for (;;) {
    const kestrel::ReadOutcome outcome = reader.Next(line);
    if (outcome == kestrel::ReadOutcome::End) return true;
    if (outcome == kestrel::ReadOutcome::Error) return false;
    lines.push_back(line);
  }
}

}  // namespace

Status ImportTaskFile(kestrel::TextFile& importFile, std::uint8_t handle) {
  // Everything the pass needs is had before KestrelDB is touched: a file
  // that cannot be read, or memory that runs out, leaves it as it was.
  std::vector<std::string> lines;
  if (!ReadImportLines(importFile, lines)) return StatusFailed;
  // One buffer for every line, zeroed once: a line that leaves bytes of the
  // record unwritten keeps what the line before put there.
  RecordTransfer transfer{};
  transfer.handle = handle;
  const kestrel::RecordBuffer buffer(transfer, kRecordBufferSize);

  if (const Status cleared = ClearDatabase(handle); cleared != StatusOk) {
    LogMessage(kClearFailedText, LogClearFailed, 0);
    return cleared;
  }
  for (const std::string& line : lines) {
    if (ParseTaskLine(line, transfer) != 0) {
      LogMessage(kSkippedLineText, LogText, 0);
      continue;
    }
    if (const Status written = WriteRecord(&transfer); written != StatusOk) return written;
    // The host filled in the new record's ID; the next write is a new record too.
    transfer.recordId = 0;
    transfer.category = 0;
  }
  return StatusOk;
}
