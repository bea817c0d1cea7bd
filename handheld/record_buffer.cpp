// SPDX-License-Identifier: MIT
#include "handheld/record_buffer.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace kestrel::record_buffer_detail {

// Constant-initialised (the vector's default constructor is constexpr), so
// it is ready before any other static object asks for a buffer.
constinit std::vector<std::uint8_t*> tokenTable;

}  // namespace kestrel::record_buffer_detail

namespace {

using kestrel::record_buffer_detail::kAddressFitsField;

std::vector<std::uint8_t*>& TokenTable() { return kestrel::record_buffer_detail::tokenTable; }

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

std::uint32_t AddressFor(std::uint8_t* data) {
  if constexpr (kAddressFitsField) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(data));
  } else {
    return IssueToken(data);
  }
}

void ReleaseAddress(std::uint32_t address) {
  if constexpr (!kAddressFitsField) {
    auto& table = TokenTable();
    if (address != 0 && address <= table.size()) table[address - 1] = nullptr;
  }
}

}  // namespace

Status AllocRecordBuffer(RecordTransfer& block, std::uint16_t size) {
  block.bufferCapacity = 0;
  block.bufferAddress = 0;
  auto* data = new (std::nothrow) std::uint8_t[size == 0 ? 1 : size];
  if (data == nullptr) return StatusOk;
  const std::uint32_t address = AddressFor(data);
  if (address == 0) {
    delete[] data;
    return StatusOk;
  }
  block.bufferAddress = address;
  block.bufferCapacity = size;
  std::memset(data, 0, size);
  return StatusOk;
}

Status FreeRecordBuffer(RecordTransfer& block) {
  if (block.bufferCapacity != 0 && block.bufferAddress != 0) {
    delete[] RecordBufferData(block);
    ReleaseAddress(block.bufferAddress);
  }
  block.bufferCapacity = 0;
  block.bufferAddress = 0;
  return StatusOk;
}
