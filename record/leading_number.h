// SPDX-License-Identifier: MIT
// Reading the decimal number at the start of a text, as the C library's
// text-to-integer conversion reads it, with defined behaviour throughout.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrel {

// The number at the start of `text`: leading white space (space, tab, line
// feed, vertical tab, form feed, carriage return) skipped, an optional sign,
// then digits up to the first other byte; 0 when there are no digits. A value
// outside the 32-bit signed range is clamped to it.
std::int32_t LeadingNumber(std::string_view text);

// White space as the C library's "C" locale knows it; bytes of 0x80 and
// above are never white space.
constexpr bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace kestrel
