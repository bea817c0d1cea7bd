// SPDX-License-Identifier: MIT
// A dry run's pieces: the scratch data folder the conduit writes its backups
// to instead of the real one, what KestrelDB would hold, and whether the
// real data folder has room for what the sync would write there.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "handheld_folder/folder_lock.h"

namespace kestrel::cli {

// Where dry runs make their scratch folders: $TMPDIR, else /tmp, and never
// a place that is or lies inside one of `avoid` (then /tmp; empty with
// *error when that too lies inside one of them).
std::filesystem::path ScratchBase(const std::vector<std::filesystem::path>& avoid,
                                  std::string* error);

// Removes the scratch folders of dry runs that no longer run in `base`:
// folders of the dry run's own name form, owned by this user, that no
// process holds locked. Everything else there is left alone.
void RemoveDeadScratchFolders(const std::filesystem::path& base);

// A dry run's scratch data folder, locked while it lives, so that a later
// run can tell it from a leftover; removed with the object.
class ScratchFolder {
 public:
  ScratchFolder() = default;
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // Makes the folder in `base` with a copy of `dataFolder`'s import file
  // when that is a regular file and an empty folder for each of its
  // folders, as writable as the data folder is.
  bool Make(const std::filesystem::path& base, const std::filesystem::path& dataFolder,
            std::string* error);
  const std::filesystem::path& Path() const { return path_; }

 private:
  bool Fill(const std::filesystem::path& dataFolder, std::string* error);

  std::filesystem::path path_;
  handheld_folder::FolderLock lock_;
};

// What a database would hold, in the backup form: the header line, then one
// line per live record that reads as a task, each with a line break.
std::string BackupFormOf(const std::vector<std::vector<std::uint8_t>>& records);

// Whether what a sync would write fits on the file system of the data folder.
struct SpaceForecast {
  std::uint64_t needed = 0;     // the files' bytes plus one block a file
  std::uint64_t available = 0;  // free to this user
  bool known = false;           // whether the free space could be read
  bool fits = true;
  bool close = false;  // fits with less than 1 MiB to spare
};

// The forecast for files of `sizes` bytes written into `dataFolder`.
SpaceForecast ForecastSpace(const std::filesystem::path& dataFolder,
                            const std::vector<std::uint64_t>& sizes);

}  // namespace kestrel::cli
