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

#include "sim/handheld.h"

namespace sim {

// Adds one slot per database file of `folder` to `handheld`, in byte order of
// the file names, each with its file name and marked unchanged. Returns
// false, with *error naming the file (as folder/name) and what is wrong, and
// leaves `handheld` as it was, when the folder cannot be read, a file cannot
// be read or is not a well-formed Palm database, or two files hold databases
// of the same name.
bool LoadHandheldFolder(const std::filesystem::path& folder, Handheld& handheld,
                        std::string* error);

// As LoadHandheldFolder, every file read and checked whole, but each slot
// keeps only the header, appInfo and sortInfo of its database: the records
// or resources are read from the file again when the database is opened and
// let go when it is closed unchanged (Slot::loadEntries), so memory holds
// the databases open at the time, not all of them. When a file can no
// longer be read as it was loaded, opening its database answers
// kStatusUnreadable and adds a line to *lateErrors naming the file (as
// folder/name) and what is wrong.
bool LoadHandheldFolderOnDemand(const std::filesystem::path& folder, Handheld& handheld,
                                std::string* error,
                                std::shared_ptr<std::vector<std::string>> lateErrors);

}  // namespace sim
