#include "handheld/record_buffer.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace {

// A 64-bit host cannot keep an address in the transfer's 32-bit slot, so
// there the slot holds a token: the index of the buffer in this table, plus
// one. On a 32-bit host the slot is the address, as the host's sync manager
// expects it.
constexpr bool kAddressFitsSlot = sizeof(void*) <= sizeof(std::uint32_t);

std::vector<std::uint8_t*>& TokenTable() {
  static std::vector<std::uint8_t*> table;
  return table;
}

// Returns 0 when the table cannot take another token.
std::uint32_t IssueToken(std::uint8_t* data) {
  auto& table = TokenTable();
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (table[i] == nullptr) {
      table[i] = data;
      return static_cast<std::uint32_t>(i + 1);
    }
  }
  try {
    table.push_back(data);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return static_cast<std::uint32_t>(table.size());
}

std::uint32_t SlotFor(std::uint8_t* data) {
  if constexpr (kAddressFitsSlot) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(data));
  } else {
    return IssueToken(data);
  }
}

void ReleaseSlot(std::uint32_t slot) {
  if constexpr (!kAddressFitsSlot) {
    auto& table = TokenTable();
    if (slot != 0 && slot <= table.size()) table[slot - 1] = nullptr;
  }
}

}  // namespace

std::uint8_t* RecordBufferData(const RecordTransfer& block) {
  const std::uint32_t slot = block.bufferAddress;
  if (slot == 0) return nullptr;
  if constexpr (kAddressFitsSlot) {
    return reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(slot));
  } else {
    const auto& table = TokenTable();
    return slot <= table.size() ? table[slot - 1] : nullptr;
  }
}

Status AllocRecordBuffer(RecordTransfer& block, std::uint16_t size) {
  block.bufferCapacity = 0;
  block.bufferAddress = 0;
  auto* data = new (std::nothrow) std::uint8_t[size == 0 ? 1 : size];
  if (data == nullptr) return StatusOk;
  const std::uint32_t slot = SlotFor(data);
  if (slot == 0) {
    delete[] data;
    return StatusOk;
  }
  block.bufferAddress = slot;
  block.bufferCapacity = size;
  std::memset(data, 0, size);
  return StatusOk;
}

Status FreeRecordBuffer(RecordTransfer& block) {
  if (block.bufferCapacity != 0 && block.bufferAddress != 0) {
    delete[] RecordBufferData(block);
    ReleaseSlot(block.bufferAddress);
  }
  block.bufferCapacity = 0;
  block.bufferAddress = 0;
  return StatusOk;
}
