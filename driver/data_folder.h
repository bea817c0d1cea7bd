// SPDX-License-Identifier: MIT
// The data folder: where every text file of the conduit lives. It is named by
// one registry value under HKEY_LOCAL_MACHINE, the conduit's whole
// configuration; there is no default.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "handheld/sync_services.h"

namespace kestrel {

inline constexpr char kDataFolderKey[] = "SOFTWARE\\Norvane\\Kestrelplan\\1.00";
inline constexpr char kDataFolderValue[] = "Kestrelplan Path";
// The value is read into an area of this many bytes: at most 254 characters
// and the terminating NUL.
inline constexpr std::uint32_t kDataFolderArea = 255;

// Reads the data folder afresh into `folder`. Returns 0 when `folder` now
// holds it; 1 when the key or value is missing, empty or longer than 254
// characters, and then `folder` is left as it was.
Status ReadDataFolder(std::string& folder);

// The folder text in the bytes that the registry stored in the value area:
// up to the first NUL, never past the area. A value stored without its NUL
// that fills the whole area is a 255-character folder and fails like any
// over-long one; an empty text names no folder and fails too. Returns 0 and
// assigns `folder`, or 1 leaving it as it was.
Status FolderFromValueArea(std::string_view stored, std::string& folder);

}  // namespace kestrel
