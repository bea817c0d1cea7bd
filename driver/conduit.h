// SPDX-License-Identifier: MIT
// The conduit's face to the host: the three exported entry points. C calling
// convention; no exception ever leaves them.
#pragma once

#include <cstdint>

#include "handheld/sync_services.h"

inline constexpr char kConduitName[] = "Kestrelplan";
inline constexpr std::uint32_t kConduitVersion = 0x101;

extern "C" {

// Runs one synchronisation: backs up every task database on the handheld,
// then refills "KestrelDB" from the import file when the data folder holds
// one. Both arguments are the host's and unused. Returns the status of the
// last step that set one (when that is 0, the status of the first backup
// that failed, if one did), or StatusAllocFailed when memory ran out.
Status OpenConduit(void* hostArg1, void* hostArg2);

// Zeroes the first `length` bytes of `buffer` and copies in at most
// length - 1 characters of the conduit name, so the result is always
// NUL-terminated. With length 0 (or no buffer) nothing is written. Returns 0.
Status GetConduitName(char* buffer, std::uint16_t length);

// Returns 0x101.
std::uint32_t GetConduitVersion();

}  // extern "C"
