// SPDX-License-Identifier: MIT
// Where a sync's own files may be: checks that keep the sync log and the
// data folder apart from the handheld folder, and every file of the sync's
// folders apart from the log. Portable; links are followed as the system
// follows them when it opens the file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kestrel::cli {

// Whether `inner` is the folder `outer` or lies somewhere inside it, both
// resolved with links followed. False when either cannot be resolved.
bool IsSameOrInside(const std::filesystem::path& inner, const std::filesystem::path& outer);

// The first file in `folder` or any folder below it (links not followed)
// that is the very file `file` is (the same device and file number: a hard
// link, or a link to it); none when there is none or `file` is not there.
std::optional<std::filesystem::path> SameFileIn(const std::filesystem::path& file,
                                                const std::filesystem::path& folder);

}  // namespace kestrel::cli
