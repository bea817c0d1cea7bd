// SPDX-License-Identifier: MIT
// The files kestrel-sync opens itself, as each system offers them: every one
// opened without blocking and used only when it is a regular file (a link to
// one is followed), with its size checked before it is read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "tools/common/regular_file.h"

namespace kestrel::cli {

// Where the sync log goes: a file opened for appending, or standard output.
class LogSink {
 public:
  virtual ~LogSink() = default;
  // Writes all of `text`; false when not all of it got there.
  virtual bool Write(std::string_view text) = 0;
};

// "-" for standard output, else the file at `path`, created when missing and
// appended to; nullptr with *error naming it unless it is a regular file.
std::unique_ptr<LogSink> OpenLog(const std::string& path, std::string* error);

// Whether `path` is in the folder `folder`, as the system resolves both
// (links followed). False when the folder cannot be resolved.
bool IsInFolder(const std::filesystem::path& path, const std::filesystem::path& folder);

// The files of a folder at one moment, by name: what a rewrite changes. The
// identity tells one file from another of the same name (POSIX: the inode;
// Windows: the file index and last write time).
struct FileState {
  std::uint64_t identity = 0;
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // in the system's finest unit
  bool regular = false;
  bool operator==(const FileState&) const = default;
};
using FolderState = std::map<std::string, FileState>;
// Empty when the folder cannot be read.
FolderState ReadFolderState(const std::filesystem::path& folder);

// Whether the process may create files in `folder`.
bool FolderWritable(const std::filesystem::path& folder);

// Dry runs' scratch folders: "kestrel-sync-dry-run-" and six characters.
inline constexpr char kScratchPrefix[] = "kestrel-sync-dry-run-";
inline constexpr char kDefaultScratchBase[] = "/tmp";
bool IsScratchFolderName(std::string_view name);

// A new empty folder of this process's own in `base`, for a dry run's
// backups; empty with *error when none can be made.
std::filesystem::path MakeScratchFolder(const std::filesystem::path& base, std::string* error);

// Whether what stands at `path` (not followed if a link) belongs to the
// user this process runs as.
bool OwnedByThisUser(const std::filesystem::path& path);

// The room left on the file system of `folder` for this user, and the size
// of one of its blocks.
struct FreeSpace {
  std::uint64_t available = 0;
  std::uint64_t block = 0;
  bool known = false;
};
FreeSpace FreeSpaceOf(const std::filesystem::path& folder);

}  // namespace kestrel::cli
