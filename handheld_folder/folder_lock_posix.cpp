// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "handheld_folder/folder_lock.h"

namespace kestrel::handheld_folder {

FolderLock::Result FolderLock::Lock(const std::filesystem::path& folder, std::string* error) {
  Release();
  // O_NONBLOCK: whatever stands there, opening it never waits.
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int code = errno;
    if (error != nullptr) {
      *error = code == ENOENT    ? std::string("no such folder")
               : code == ENOTDIR ? std::string("not a folder")
                                 : std::string("cannot read the folder: ") + std::strerror(code);
    }
    return Result::Failed;
  }
  // flock, not fcntl: the lock belongs to this open folder, so one process
  // that locks twice is refused too.
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int code = errno;
    if (code == EINTR) continue;
    ::close(fd);
    if (code == EWOULDBLOCK) return Result::Busy;
    if (error != nullptr) *error = std::string("cannot lock: ") + std::strerror(code);
    return Result::Failed;
  }
  fd_ = fd;
  return Result::Locked;
}

void FolderLock::Release() {
  if (fd_ >= 0) ::close(fd_);  // closing lets the lock go
  fd_ = -1;
}

}  // namespace kestrel::handheld_folder
