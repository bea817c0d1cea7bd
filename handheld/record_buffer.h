// The record buffer of a RecordTransfer: allocation, release, and the way
// from the transfer's 32-bit address slot to the bytes.
#pragma once

#include "handheld/sync_services.h"

// Sets the capacity to 0, allocates `size` bytes and stores their address;
// only when the allocation succeeded does it store the capacity and zero the
// buffer. Returns 0 either way: a failed allocation shows as capacity 0.
Status AllocRecordBuffer(RecordTransfer& block, std::uint16_t size);

// Releases the buffer when the capacity is nonzero and the address not null,
// and clears both. Returns 0.
Status FreeRecordBuffer(RecordTransfer& block);

// The bytes behind the transfer's address slot, or nullptr when it holds none.
std::uint8_t* RecordBufferData(const RecordTransfer& block);

namespace kestrel {

// Owns the record buffer of one transfer for the length of a pass.
class RecordBuffer {
 public:
  RecordBuffer(RecordTransfer& block, std::uint16_t size) : block_(block) {
    AllocRecordBuffer(block_, size);
  }
  ~RecordBuffer() { FreeRecordBuffer(block_); }
  RecordBuffer(const RecordBuffer&) = delete;
  RecordBuffer& operator=(const RecordBuffer&) = delete;

  bool Allocated() const { return block_.bufferCapacity != 0; }
  std::uint8_t* Data() const { return RecordBufferData(block_); }

 private:
  RecordTransfer& block_;
};

}  // namespace kestrel
