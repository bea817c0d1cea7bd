// SPDX-License-Identifier: MIT
// Writing a database file so that it is safe against a crash and against
// whatever stands in the folder: a new file created exclusively under a name
// of its own, its bytes on the disk before a rename makes it the current one,
// and the folder made durable after the renames. One implementation per
// system.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace kestrel::handheld_folder {

// Creates `path` as a new file (never an existing file, nor through a
// symbolic link), writes `bytes` to it and flushes them to the disk. Returns
// true; or false, having removed what it created, with *error saying what
// failed ("cannot write: No space left on device") and *exists set when a
// file of that name was already there (so another name can be tried).
bool WriteNewFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                  std::string* error, bool* exists);

// Makes the renames done in `folder` durable where the system needs that
// (POSIX: the folder itself is flushed); best effort, no result.
void SyncFolderToDisk(const std::filesystem::path& folder);

}  // namespace kestrel::handheld_folder
