// SPDX-License-Identifier: MIT
#include <cstddef>
#include <new>
#include <string>

#include "handheld/record_buffer.h"
#include "record/task_record.h"
#include "transfer/passes.h"

namespace {

// Record indexes are 16 bits wide: the last one there can be. Going past it
// would wrap to 0 and read the database a second time.
constexpr std::uint16_t kLastRecordIndex = 0xFFFF;

// The lines go to the file in pieces of about this size, not one by one.
constexpr std::size_t kPieceSize = std::size_t{1} << 16;
// Room past a piece for the line that fills it: a line is far shorter, so
// adding one never has to grow the buffer.
constexpr std::size_t kLineRoom = 1024;

// Text formatted for the backup file and not yet written to it.
class PendingText {
 public:
  explicit PendingText(kestrel::TextFile& file) : file_(file) {
    text_.reserve(kPieceSize + kLineRoom);
  }
  std::string& Text() { return text_; }

  // Writes whatever is held; 0, or 1 when the write failed.
  Status Flush() {
    if (text_.empty()) return StatusOk;
    const Status status = file_.Write(text_);
    text_.clear();
    return status == StatusOk ? StatusOk : StatusFailed;
  }
  // Writes what is held once it fills a piece.
  Status FlushFull() { return text_.size() >= kPieceSize ? Flush() : StatusOk; }

 private:
  kestrel::TextFile& file_;
  std::string text_;
};

// The header and a line for each live record, into `pending`, which writes
// every full piece; what is left is the caller's to write.
Status CopyRecords(RecordTransfer& transfer, PendingText& pending) {
  std::string& text = pending.Text();
  text.append(kBackupHeader).push_back('\n');

  // The break goes before the line, so none follows the last one; a deleted
  // first record still leaves its break behind. A deleted record adds
  // neither break nor line.
  Status status = ReadRecordAt(&transfer);
  while (status == StatusOk) {
    const std::size_t before = text.size();
    if (transfer.recordIndex != 0) text.push_back('\n');
    if (AppendTaskLine(transfer, text) != 0) text.resize(before);
    if (pending.FlushFull() != StatusOk) return StatusFailed;
    if (transfer.recordIndex == kLastRecordIndex) return StatusOk;
    ++transfer.recordIndex;
    status = ReadRecordAt(&transfer);
  }
  return status == StatusNotFound ? StatusOk : status;
}

}  // namespace

Status BackupDatabase(std::uint8_t handle, kestrel::TextFile& backupFile) {
  RecordTransfer transfer{};
  transfer.handle = handle;
  const kestrel::RecordBuffer buffer(transfer, kRecordBufferSize);
  PendingText pending(backupFile);
  const Status status = CopyRecords(transfer, pending);
  // Whatever was formatted reaches the file however the pass ends, so a
  // read that fails part way leaves the lines before it; a failed write is
  // the pass's result.
  if (pending.Flush() != StatusOk) return StatusFailed;
  return status;
}
