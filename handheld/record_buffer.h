// SPDX-License-Identifier: MIT
// The record buffer of a RecordTransfer: allocation, release, and the way
// from the transfer's 32-bit address field to the bytes.
#pragma once

#include <cstdint>
#include <new>
#include <vector>

#include "handheld/sync_services.h"

namespace kestrel::record_buffer_detail {

// A 64-bit host cannot keep an address in the transfer's 32-bit field, so
// there the field holds a token: the index of the buffer in this table, plus
// one. On a 32-bit host the field is the address, as the host's sync manager
// expects it. The table is kept by record_buffer.cpp; it is named here only
// so that RecordBufferData, called once a record, can be inline.
inline constexpr bool kAddressFitsField = sizeof(void*) <= sizeof(std::uint32_t);
extern std::vector<std::uint8_t*> tokenTable;

}  // namespace kestrel::record_buffer_detail

// Sets the capacity to 0, allocates `size` bytes and stores their address;
// only when the allocation succeeded does it store the capacity and zero the
// buffer. Returns 0 either way: a failed allocation shows as capacity 0.
Status AllocRecordBuffer(RecordTransfer& block, std::uint16_t size);

// Releases the buffer when the capacity is nonzero and the address not null,
// and clears both. Returns 0.
Status FreeRecordBuffer(RecordTransfer& block);

// The bytes behind the transfer's address field, or nullptr when it holds none.
inline std::uint8_t* RecordBufferData(const RecordTransfer& block) {
  namespace detail = kestrel::record_buffer_detail;
  const std::uint32_t address = block.bufferAddress;
  if (address == 0) return nullptr;
  if constexpr (detail::kAddressFitsField) {
    return reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(address));
  } else {
    const auto& table = detail::tokenTable;
    return address <= table.size() ? table[address - 1] : nullptr;
  }
}

namespace kestrel {

// Owns the record buffer of one transfer for the length of a pass. Memory
// that runs out is the conduit's own failure, never a host status: the
// constructor throws std::bad_alloc when the buffer cannot be had.
class RecordBuffer {
 public:
  RecordBuffer(RecordTransfer& block, std::uint16_t size) : block_(block) {
    AllocRecordBuffer(block_, size);
    if (!Allocated()) throw std::bad_alloc();
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
