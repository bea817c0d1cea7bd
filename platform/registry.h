// The one registry read the conduit makes: a string value under
// HKEY_LOCAL_MACHINE. On Windows it is the system registry; on POSIX it is a
// RegistryHive (usually loaded from a registry file) that the host selects.
#pragma once

#include <cstdint>
#include <optional>

#include "handheld/sync_services.h"
#include "platform/registry_file.h"

namespace kestrel {

// Reads value `valueName` of key `keyPath` under HKEY_LOCAL_MACHINE into
// `area`. On entry *size is the area's size; on success it is the number of
// bytes stored (a string value with its terminating NUL). Returns 0 on
// success, 1 when the key or value is missing or the data does not fit the
// area. Never writes past the area, and writes nothing when it fails. On
// POSIX the lookup may throw std::bad_alloc when memory runs out.
Status QueryMachineValue(const char* keyPath, const char* valueName, char* area,
                         std::uint32_t* size);

// POSIX: the hive that QueryMachineValue reads from now on, kept for the
// process; std::nullopt means none, so every value is missing. Not available
// on Windows.
void SelectRegistry(std::optional<RegistryHive> hive);

}  // namespace kestrel
