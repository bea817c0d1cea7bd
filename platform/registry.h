// SPDX-License-Identifier: MIT
// The one registry read the conduit makes: a string value under
// HKEY_LOCAL_MACHINE. On Windows it is the system registry (registry_win32.cpp);
// on POSIX the host that links the conduit defines it, as it defines the
// handheld's operations.
#pragma once

#include <cstdint>

#include "handheld/sync_services.h"

namespace kestrel {

// Reads value `valueName` of key `keyPath` under HKEY_LOCAL_MACHINE into
// `area`. On entry *size is the area's size; on success it is the number of
// bytes stored (a string value with its terminating NUL). Returns 0 on
// success, 1 when the key or value is missing or the data does not fit the
// area. Never writes past the area, and writes nothing when it fails. On
// POSIX the lookup may throw std::bad_alloc when memory runs out.
Status QueryMachineValue(const char* keyPath, const char* valueName, char* area,
                         std::uint32_t* size);

}  // namespace kestrel
