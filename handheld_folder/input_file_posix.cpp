// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "handheld_folder/input_file.h"

namespace kestrel::handheld_folder {
namespace {

std::string CannotRead(int code) { return "cannot read: " + std::generic_category().message(code); }

}  // namespace

InputFile::~InputFile() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool InputFile::Open(const std::filesystem::path& path, std::string* error) {
  // O_NONBLOCK: a FIFO put in place of the file opens at once instead of
  // waiting for a writer, and is then refused by its type.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *error = CannotRead(errno);
    return false;
  }
  handle_ = fd;
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    *error = CannotRead(errno);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    *error = "not a regular file";
    return false;
  }
  size_ = static_cast<std::uint64_t>(status.st_size);
  return true;
}

long long InputFile::ReadSome(std::uint64_t offset, std::uint8_t* into, std::size_t count,
                              std::string* error) {
  ssize_t n = 0;
  do {
    n = ::pread(static_cast<int>(handle_), into, count, static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  if (n < 0) *error = CannotRead(errno);
  return n;
}

}  // namespace kestrel::handheld_folder
