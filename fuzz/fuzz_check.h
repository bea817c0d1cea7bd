// SPDX-License-Identifier: MIT
// What a fuzz target does when a property fails: says which and aborts, so
// that libFuzzer keeps the input as a crash and a replay run fails.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace kestrel::fuzz {

inline void Check(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property failed: %s\n", property);
  std::abort();
}

}  // namespace kestrel::fuzz
