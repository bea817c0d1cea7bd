#include <string>

#include "handheld/record_buffer.h"
#include "record/task_record.h"
#include "transfer/passes.h"

namespace {

// Record indexes are 16 bits wide: the last one there can be. Going past it
// would wrap to 0 and read the database a second time.
constexpr std::uint16_t kLastRecordIndex = 0xFFFF;

}  // namespace

Status BackupDatabase(std::uint8_t handle, kestrel::TextFile& backupFile) {
  RecordTransfer transfer{};
  transfer.handle = handle;
  const kestrel::RecordBuffer buffer(transfer, kRecordBufferSize);

  if (backupFile.Write(kBackupHeader) != StatusOk || backupFile.Write("\n") != StatusOk) {
    return StatusFailed;
  }

  // The break goes before the line, so none follows the last one; a deleted
  // first record still leaves its break behind. Break and line go to the
  // file in one write.
  std::string text;
  Status status = ReadRecordAt(&transfer);
  while (status == StatusOk) {
    text.clear();
    if (transfer.recordIndex != 0) text += '\n';
    if (AppendTaskLine(transfer, text) == 0 && backupFile.Write(text) != StatusOk) {
      return StatusFailed;
    }
    if (transfer.recordIndex == kLastRecordIndex) return StatusOk;
    ++transfer.recordIndex;
    status = ReadRecordAt(&transfer);
  }
  return status == StatusNotFound ? StatusOk : status;
}
