// SPDX-License-Identifier: MIT
// The registry a host selects for the conduit's one registry read
// (QueryMachineValue of platform/registry.h). On POSIX kestrel-sync keeps the
// hive in memory (registry_posix.cpp); the Windows tests write it to the
// system registry (win32/tests).
#pragma once

#include <optional>

#include "host/registry_file.h"

namespace kestrel {

// The hive that QueryMachineValue reads from now on, kept for the process;
// std::nullopt means none, so every value is missing.
void SelectRegistry(std::optional<RegistryHive> hive);

}  // namespace kestrel
