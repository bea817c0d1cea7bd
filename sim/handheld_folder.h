// A handheld kept as a folder of Palm database files, one database a file:
// every *.pdb and *.prc file (extension in any letter case), in byte order of
// the file names. Only regular files with those extensions are read; other
// files are left alone.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "sim/handheld.h"

namespace sim {

// Ending of the file a database is written to before it is renamed over the
// old one. Not a database extension, so a leftover one is never loaded.
inline constexpr std::string_view kNewFileSuffix = ".kestrel-new";

// Adds one slot per database file of `folder` to `handheld`, in byte order of
// the file names, each with its file name and marked unchanged. Each file is
// opened without blocking and read only as far as its header, entries,
// appInfo and sortInfo, which are checked as a whole file would be; its
// records stay in the file (Slot::source) and are read, whole, only while
// the database is open, so memory holds the databases open at the time.
// Returns false, with *error naming the file (as folder/name) and what is
// wrong, and leaves `handheld` as it was, when the folder cannot be read, a
// file cannot be read, is no regular file (a symbolic link to one is
// followed), is larger than kPdbMaxFileSize or is not a well-formed Palm
// database, or two files hold databases of the same name.
//
// When a file can no longer be read as it was loaded, opening its database
// answers kStatusUnreadable and adds a line to *lateErrors (when given)
// naming the file and what is wrong.
bool LoadHandheldFolder(const std::filesystem::path& folder, Handheld& handheld, std::string* error,
                        std::shared_ptr<std::vector<std::string>> lateErrors = nullptr);

// The file name a database created on the handheld is saved under: its
// backup stem (kestrel::BackupStem, safe for a file name), plus ".pdb".
std::string FileNameForNewDatabase(std::string_view databaseName);

// Writes back every slot marked changed: first each database to a new file
// in `folder` (its name plus kNewFileSuffix), then each new file renamed over
// the old one, so a failure leaves every file either old or new and never
// partly written. A slot created by the sync gets FileNameForNewDatabase, or
// with "-2", "-3"... before ".pdb" when a file of that name (in any letter
// case) is already in the folder. Unchanged slots are not touched. On
// success the saved slots are marked unchanged and carry their file names.
// Returns false with *error naming the file and the fault; when the fault
// comes before the first rename, no file of the folder has changed.
//
// `rename` is how each new file is put in place of the old one; tests pass
// their own to fail or interrupt a save there. Empty (the default) is
// std::filesystem::rename.
using RenameStep = std::function<void(const std::filesystem::path& from,
                                      const std::filesystem::path& to, std::error_code& ec)>;
bool SaveHandheldFolder(const std::filesystem::path& folder, Handheld& handheld, std::string* error,
                        const RenameStep& rename = {});

}  // namespace sim
