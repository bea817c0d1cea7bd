// SPDX-License-Identifier: MIT
// Writing a handheld kept as a folder of Palm database files back after a
// sync: only what the sync changed or created, each database to a new file
// renamed over the old one, so that every file is always either the old one
// or the new one, whole.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

#include "host/handheld.h"

namespace kestrel::handheld_folder {

// Ending of the new files a save writes before it renames them into place.
// Not a database extension, so a leftover one is never loaded.
inline constexpr std::string_view kNewFileSuffix = ".kestrel-new";

// The file stem a database created by the sync is saved under, from its
// name; the caller's naming rule, which must give a name safe for a file.
using FileStemRule = std::function<std::string(std::string_view databaseName)>;

// How each new file is put in place of the old one; tests pass their own to
// fail or interrupt a save there. Empty means std::filesystem::rename.
using RenameStep = std::function<void(const std::filesystem::path& from,
                                      const std::filesystem::path& to, std::error_code& ec)>;

// Writes back every slot marked changed. First every leftover new file of an
// earlier save that was stopped (a name ending in kNewFileSuffix) is
// removed; then each database is written to a new file of a name of its own
// ("NAME.<unique>.kestrel-new"), created exclusively, never through a
// symbolic link; then each new file is renamed over its database's file. A
// slot created by the sync is saved as stemOf(name) + ".pdb" ("_" for an
// empty stem), or with "-2", "-3"... before ".pdb" when a file of that name
// (in any letter case) is already in the folder. Unchanged slots are not
// touched. On success the saved slots are marked unchanged and carry their
// file names. Returns false with *error naming the database file and the
// fault; when the fault comes before the first rename, no database file of
// the folder has changed and no new file is left behind.
bool SaveHandheldFolder(const std::filesystem::path& folder, host::Handheld& handheld,
                        const FileStemRule& stemOf, std::string* error,
                        const RenameStep& rename = {});

}  // namespace kestrel::handheld_folder
