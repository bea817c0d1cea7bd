// SPDX-License-Identifier: MIT
// Plain files and folders of the data folder beside the text files: the
// backup history's reads, exclusive creations, links, copies, folders,
// listings and removals. Every call into the system goes through the table
// FileStore(), whose entries a test program may set by name to make a call
// fail (platform/system_call.h); nothing in the conduit sets one. Paths are
// SystemPath, made with ToSystemPath. Files are opened without blocking: a
// FIFO or a device is never opened where a file is expected.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/system_call.h"
#include "platform/system_path.h"

namespace kestrel {

// An open file of the system: a descriptor on POSIX, a HANDLE on Windows.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

enum class OpenResult {
  Opened,      // a regular file, now open
  Missing,     // nothing stands there
  NotRegular,  // a folder, a link (when links are not followed), a FIFO, a device
  Failed,      // it could not be told or opened
};

// What a call that puts a file at a new name answers.
enum class PlaceResult {
  Placed,   // the name now holds the file
  Exists,   // something already stands at the name, which is left as it was
  Refused,  // the file system makes no hard links (FAT, many shares): copy instead
  Failed,
};

// Which file an open file is, and how long it is.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t index = 0;
  std::uint64_t size = 0;
  bool SameFile(const FileIdentity& other) const {
    return device == other.device && index == other.index;
  }
};

struct FileStoreCalls {
  // Opens a regular file for reading, with full sharing and without locking
  // it; a link is followed only when `followLink`.
  SystemCall<OpenResult(const SystemPath& path, bool followLink, FileHandle* file)> openRegular;
  // Creates a new file for writing, exclusively (never an existing name,
  // never through a link), held for exclusive use. False when it cannot.
  SystemCall<bool(const SystemPath& path, FileHandle* file)> createNew;
  // Reads up to `size` bytes at `offset`: how many (0 at the end), -1 on a failure.
  SystemCall<long long(FileHandle file, std::uint64_t offset, char* data, std::size_t size)> read;
  // Writes all `size` bytes at the end of what was written; false when it did not.
  SystemCall<bool(FileHandle file, const char* data, std::size_t size)> write;
  // Gets what was written onto the disk.
  SystemCall<bool(FileHandle file)> flush;
  SystemCall<bool(FileHandle file, FileIdentity* identity)> identify;
  SystemCall<void(FileHandle file)> close;
  // Gives `source` (open as `file`) the further name `target` by a hard
  // link, never through a link at `source`: should `source` no longer be
  // the open file, the name is taken back and the answer is Refused.
  SystemCall<PlaceResult(FileHandle file, const SystemPath& source, const SystemPath& target)> link;
  // Renames `from` to `target` where nothing stands at `target` yet.
  SystemCall<PlaceResult(const SystemPath& from, const SystemPath& target)> placeNew;
  // Makes a folder exclusively; true also when a folder (never a link to one)
  // already stands there.
  SystemCall<bool(const SystemPath& path)> makeFolder;
  // The names in a folder (not "." and ".."), in the host's code page; a
  // name it cannot hold is left out. False when the folder cannot be read.
  SystemCall<bool(const SystemPath& folder, std::vector<std::string>* names)> list;
  // Removes a regular file that no other program holds, or with `orLink` a
  // link itself (never what it leads to); never a folder. False when
  // nothing was removed.
  SystemCall<bool(const SystemPath& path, bool orLink)> remove;
};

FileStoreCalls& FileStore();

// An open file of the store, closed when the object goes.
class StoreFile {
 public:
  StoreFile() = default;
  ~StoreFile() { Close(); }
  StoreFile(const StoreFile&) = delete;
  StoreFile& operator=(const StoreFile&) = delete;

  FileHandle Handle() const { return file_; }
  bool IsOpen() const { return file_ != kNoFile; }
  // For an open call to fill in; closes what was open first.
  FileHandle* ToFill() {
    Close();
    return &file_;
  }
  void Close() {
    if (file_ != kNoFile) FileStore().close(std::exchange(file_, kNoFile));
  }

 private:
  FileHandle file_ = kNoFile;
};

// A file this object created, removed when the object goes unless it was
// placed under its name for good: a copy that is not complete yet.
class NewStoreFile {
 public:
  NewStoreFile() = default;
  ~NewStoreFile() {
    file.Close();
    if (!path_.empty()) FileStore().remove(path_, false);
  }
  NewStoreFile(const NewStoreFile&) = delete;
  NewStoreFile& operator=(const NewStoreFile&) = delete;

  // Creates `path` (createNew); false when it could not.
  bool Create(SystemPath path) {
    if (!FileStore().createNew(path, file.ToFill())) return false;
    path_ = std::move(path);
    return true;
  }
  const SystemPath& Path() const { return path_; }
  // The file has gone to its name for good: nothing is left to remove.
  void Placed() { path_.clear(); }

  StoreFile file;

 private:
  SystemPath path_;
};

}  // namespace kestrel
