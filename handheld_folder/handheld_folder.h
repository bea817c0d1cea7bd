// SPDX-License-Identifier: MIT
// A handheld kept as a folder of Palm database files, one database a file:
// every *.pdb and *.prc file (extension in any letter case), in byte order of
// the file names. Only regular files with those extensions are read; other
// files are left alone. Writing the folder back is handheld_folder_save.h.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/handheld.h"

namespace kestrel::handheld_folder {

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
bool LoadHandheldFolder(const std::filesystem::path& folder, host::Handheld& handheld,
                        std::string* error,
                        std::shared_ptr<std::vector<std::string>> lateErrors = nullptr);

}  // namespace kestrel::handheld_folder
