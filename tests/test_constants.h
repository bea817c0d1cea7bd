// SPDX-License-Identifier: MIT
// Constants that several of the conduit's test files share.
#pragma once

#include "handheld/sync_services.h"

namespace kestrel::testing {

// A failure status of the host's own: none of the conduit's, none with a
// fixed meaning, none the simulated handheld answers by itself.
inline constexpr Status kRefused = 0x4242;

// Where the registry keeps the data folder, as a registry file names it.
inline constexpr char kMachineDataFolderKey[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00";
inline constexpr char kDataFolderValueName[] = "Kestrelplan Path";

}  // namespace kestrel::testing
