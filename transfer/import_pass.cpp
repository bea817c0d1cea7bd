#include <new>
#include <string>

#include "handheld/record_buffer.h"
#include "record/task_record.h"
#include "transfer/import_lines.h"
#include "transfer/passes.h"

namespace {

Status FillDatabase(kestrel::TextFile& importFile, std::uint8_t handle) {
  if (const Status cleared = ClearDatabase(handle); cleared != StatusOk) {
    LogMessage(kClearFailedText, LogClearFailed, 0);
    return cleared;
  }

  // One buffer for every line, zeroed once: a line that leaves bytes of the
  // record unwritten keeps what the line before put there.
  RecordTransfer transfer{};
  transfer.handle = handle;
  const kestrel::RecordBuffer buffer(transfer, kRecordBufferSize);
  if (!buffer.Allocated()) return StatusAllocFailed;

  kestrel::ImportLineReader lines(importFile);
  std::string line;
  for (;;) {
    const kestrel::ReadOutcome outcome = lines.Next(line);
    if (outcome == kestrel::ReadOutcome::End) break;
    if (outcome == kestrel::ReadOutcome::Error) return StatusFailed;

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

}  // namespace

Status ImportTaskFile(kestrel::TextFile& importFile, std::uint8_t handle) {
  try {
    return FillDatabase(importFile, handle);
  } catch (const std::bad_alloc&) {
    return StatusAllocFailed;
  }
}
