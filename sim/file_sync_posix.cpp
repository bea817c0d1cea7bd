#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/file_sync.h"

namespace sim {

bool SyncFileToDisk(const std::filesystem::path& path, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  int code = fd < 0 ? errno : 0;
  if (fd >= 0) {
    if (::fsync(fd) != 0) code = errno;
    ::close(fd);
  }
  if (code == 0) return true;
  if (error != nullptr) *error = std::string("cannot flush to disk: ") + std::strerror(code);
  return false;
}

void SyncFolderToDisk(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace sim
