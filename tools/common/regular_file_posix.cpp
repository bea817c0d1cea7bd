// SPDX-License-Identifier: MIT
// Opening and reading a regular file by name on POSIX.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/common/regular_file.h"
#include "tools/common/unique_fd.h"

namespace kestrel::cli {
namespace {

bool Fail(std::string* error, const std::string& path, const std::string& what) {
  if (error != nullptr) *error = path + ": " + what;
  return false;
}

}  // namespace

// Without blocking, a FIFO or a device answers at once.
int OpenRegular(const std::string& path, int flags, std::string* error, bool* missing) {
  if (missing != nullptr) *missing = false;
  UniqueFd fd(::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666));
  if (fd.Get() < 0) {
    const int code = errno;
    if (missing != nullptr) *missing = code == ENOENT;
    if (code == ENXIO)
      Fail(error, path, "not a regular file");  // a FIFO without a reader
    else if (code == EISDIR)
      Fail(error, path, "not a regular file: it is a folder");
    else
      Fail(error, path, std::string("cannot open: ") + std::strerror(code));
    return -1;
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) {
    Fail(error, path, std::string("cannot open: ") + std::strerror(errno));
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    Fail(error, path,
         S_ISDIR(st.st_mode) ? "not a regular file: it is a folder" : "not a regular file");
    return -1;
  }
  const int current = ::fcntl(fd.Get(), F_GETFL);
  if (current >= 0) ::fcntl(fd.Get(), F_SETFL, current & ~O_NONBLOCK);
  return fd.Release();
}

bool ReadRegularFile(const std::string& path, std::uint64_t limit, std::string* text,
                     std::string* error, bool* missing) {
  UniqueFd fd(OpenRegular(path, O_RDONLY, error, missing));
  if (fd.Get() < 0) return false;
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) {
    return Fail(error, path, std::string("cannot read: ") + std::strerror(errno));
  }
  if (static_cast<std::uint64_t>(st.st_size) > limit) {
    return Fail(error, path,
                "too large: " + std::to_string(st.st_size) + " bytes, at most " +
                    std::to_string(limit) + " are read");
  }
  text->assign(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t done = 0;
  // Never past the size checked, even if the file grows meanwhile.
  while (done < text->size()) {
    const ssize_t n = ::read(fd.Get(), text->data() + done, text->size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(error, path, std::string("cannot read: ") + std::strerror(errno));
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  text->resize(done);
  return true;
}

}  // namespace kestrel::cli
