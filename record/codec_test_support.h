// SPDX-License-Identifier: MIT
// What the codec tests share: a transfer with its own record buffer, and a
// builder for the expected 74 record bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "handheld/record_buffer.h"
#include "record/task_record.h"

namespace kestrel::testing {

// What the tests fill a buffer with first, so a byte the parser never wrote
// shows as this value.
inline constexpr std::uint8_t kUntouched = 0xEE;

// 74 bytes: `head`, then each text as a 32-byte field (its first 32 bytes,
// NULs after them), then kUntouched up to the end.
inline std::vector<std::uint8_t> RecordBytes(std::initializer_list<std::uint8_t> head,
                                             std::initializer_list<std::string_view> texts) {
  std::vector<std::uint8_t> bytes(head);
  for (std::string_view text : texts) {
    const std::size_t start = bytes.size();
    bytes.resize(start + kTaskTextFieldSize, 0);
    std::memcpy(bytes.data() + start, text.data(), std::min(text.size(), kTaskTextFieldSize));
  }
  bytes.resize(kTaskRecordSize, kUntouched);
  return bytes;
}

// A RecordTransfer holding a full-size record buffer for the test's length.
class TestTransfer {
 public:
  TestTransfer() : buffer_(transfer, kRecordBufferSize) {}

  std::uint8_t* Bytes() { return buffer_.Data(); }

  void Fill(std::uint8_t value) { std::memset(Bytes(), value, kRecordBufferSize); }

  void Load(const std::vector<std::uint8_t>& bytes) {
    std::copy(bytes.begin(), bytes.end(), Bytes());
  }

  // The first 74 bytes of the buffer.
  std::vector<std::uint8_t> Record() { return {Bytes(), Bytes() + kTaskRecordSize}; }

  RecordTransfer transfer{};

 private:
  kestrel::RecordBuffer buffer_;
};

}  // namespace kestrel::testing
