// Reading text several bytes at a time, for the codec's searches: a word of
// eight bytes in memory order and the first zero byte in it, and a block of
// bytes (16 with SSE2, else 8) turned into one bit a byte for the bytes
// equal to a given one. Internal to record/.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Marks every zero byte of `word` with its high bit, and nothing else.
inline std::uint64_t ExactZeroMarks(std::uint64_t word) {
  constexpr std::uint64_t kLowBits = 0x7F7F7F7F7F7F7F7Full;
  return ~(((word & kLowBits) + kLowBits) | word | kLowBits);
}

#if defined(__SSE2__)
inline constexpr std::size_t kBlockSize = 16;
#else
inline constexpr std::size_t kBlockSize = 8;
#endif

// Bit i set where byte i of the kBlockSize bytes at `p` is `c`; no other
// bits.
inline std::uint32_t MatchBits(const char* p, unsigned char c) {
#if defined(__SSE2__)
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i wanted = _mm_set1_epi8(static_cast<char>(c));
  return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, wanted)));
#else
  std::uint64_t word = Load(p);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  // Now byte i of memory is bits 8i to 8i+7. The multiplication gathers the
  // mark of byte i, moved down to bit 8i, into bit 56+i.
  const std::uint64_t marks = ExactZeroMarks(word ^ (kOnes * c)) >> 7;
  return static_cast<std::uint32_t>((marks * 0x0102040810204080ull) >> 56);
#endif
}

}  // namespace kestrel::words
