// SPDX-License-Identifier: MIT
// One sync per handheld folder: an exclusive lock on the folder, held by the
// object for as long as it lives. It is taken at once or not at all, and
// leaves nothing in the folder (POSIX: a lock on the folder itself; Windows:
// a mutex named after the folder's full path).
#pragma once

#include <filesystem>
#include <string>

namespace kestrel::handheld_folder {

class FolderLock {
 public:
  enum class Result { Locked, Busy, Failed };

  FolderLock() = default;
  ~FolderLock() { Release(); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Takes the lock on `folder` without waiting: Locked, or Busy when another
  // process holds it, or Failed with *error saying why ("no such folder",
  // "not a folder", "cannot read the folder: ..."), without the folder's name.
  Result Lock(const std::filesystem::path& folder, std::string* error);
  void Release();

 private:
#ifdef _WIN32
  void* mutex_ = nullptr;
  std::wstring name_;
#else
  int fd_ = -1;
#endif
};

}  // namespace kestrel::handheld_folder
