// Getting written files onto the disk before a rename makes them the current
// ones, so that a crash or power cut after the rename cannot leave an empty
// or partial database file in place. One implementation per system.
#pragma once

#include <filesystem>
#include <string>

namespace sim {

// Flushes the data of the closed file at `path` to the disk. Returns false
// with *error ("cannot flush to disk: ...") when the system refuses.
bool SyncFileToDisk(const std::filesystem::path& path, std::string* error);

// Makes the renames done in `folder` durable where the system needs that
// (POSIX: the folder itself is flushed); best effort, no result.
void SyncFolderToDisk(const std::filesystem::path& folder);

}  // namespace sim
