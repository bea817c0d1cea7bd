// Reading text eight bytes at a time, for the codec's searches: a word of
// eight bytes in memory order and the first zero byte in it. Internal to
// record/.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kestrel::words {

inline constexpr std::uint64_t kOnes = 0x0101010101010101ull;

// The eight bytes at `p`, in memory order.
inline std::uint64_t Load(const void* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// The position in memory of the first zero byte of `word`, or 8 when it has
// none.
inline std::size_t FirstZeroByte(std::uint64_t word) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
  constexpr std::uint64_t kLowBits = 0x7F7F7F7F7F7F7F7Full;
  if constexpr (std::endian::native == std::endian::little) {
    // Marks every zero byte and perhaps bytes after one (a borrow runs
    // upwards), so the lowest mark is exact.
    const std::uint64_t marks = (word - kOnes) & ~word & kHighBits;
    return static_cast<std::size_t>(std::countr_zero(marks)) / 8;
  } else {
    // Marks the zero bytes and nothing else.
    const std::uint64_t marks = ~(((word & kLowBits) + kLowBits) | word | kLowBits);
    return static_cast<std::size_t>(std::countl_zero(marks)) / 8;
  }
}

// The position in memory of the first byte `c` of `word`, or 8.
inline std::size_t FirstByte(std::uint64_t word, unsigned char c) {
  return FirstZeroByte(word ^ (kOnes * c));
}

}  // namespace kestrel::words
