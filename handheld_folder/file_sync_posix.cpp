// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "handheld_folder/file_sync.h"

namespace kestrel::handheld_folder {
namespace {

bool Failed(std::string* error, const char* what, int code) {
  if (error != nullptr) *error = std::string(what) + ": " + std::strerror(code);
  return false;
}

}  // namespace

bool WriteNewFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                  std::string* error, bool* exists) {
  *exists = false;
  // O_EXCL: never an existing file, and never through a symbolic link.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    *exists = errno == EEXIST;
    return Failed(error, "cannot create the new file", errno);
  }
  const char* what = nullptr;
  int code = 0;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      what = "cannot write the new file";
      code = n < 0 ? errno : ENOSPC;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (what == nullptr && ::fsync(fd) != 0) {
    what = "cannot flush the new file to disk";
    code = errno;
  }
  if (::close(fd) != 0 && what == nullptr) {
    what = "cannot write the new file";
    code = errno;
  }
  if (what == nullptr) return true;
  ::unlink(path.c_str());
  return Failed(error, what, code);
}

void SyncFolderToDisk(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace kestrel::handheld_folder
