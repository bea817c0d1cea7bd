// SPDX-License-Identifier: MIT
// Text files on POSIX: the system's own open, write, rename and removal for
// the table of text_file_calls.h. The files are stdio streams over
// descriptors that are opened, and for writing locked, here. The host's line
// break is "\n", so writing needs no translation.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/text_file.h"
#include "platform/text_file_calls.h"
#include "platform/text_file_detail.h"

namespace kestrel {
namespace {

// The descriptor of a newly opened file, or -1.
int OpenDescriptor(const std::string& path, int flags) {
  return ::open(path.c_str(), flags | O_CLOEXEC, 0666);
}

// Whether a regular file at `path` (never followed through a link) is held
// locked by another program.
bool IsHeld(const std::string& path) {
  const int fd = OpenDescriptor(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  ::close(fd);
  return held;
}

// Whether what stands at the backup path may be replaced by name: nothing,
// a link, a FIFO, a device, or a file that no other program holds. Never a
// folder.
bool OldIsReplaceable(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT;
  if (S_ISDIR(info.st_mode)) return false;
  return !S_ISREG(info.st_mode) || !IsHeld(path);
}

// The new file `newPath` beside `path`, created exclusively and locked;
// nullptr when it cannot be made.
std::FILE* CreateNew(const std::string& path, const std::string& newPath) {
  if (!OldIsReplaceable(path)) return nullptr;
  const int fd = OpenDescriptor(newPath, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW);
  if (fd < 0) return nullptr;
  std::FILE* stream = ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? ::fdopen(fd, "w") : nullptr;
  if (stream == nullptr) {
    ::close(fd);
    ::unlink(newPath.c_str());
  }
  return stream;
}

// The import file: a regular file only, opened without waiting on a FIFO or
// a device, and then read in the usual blocking way.
std::FILE* OpenForReading(const std::string& path) {
  const int fd = OpenDescriptor(path, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat info {};
  const int flags = ::fcntl(fd, F_GETFL);
  std::FILE* stream = nullptr;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flags != -1 &&
      ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) {
    stream = ::fdopen(fd, "r");
  }
  if (stream == nullptr) {
    ::close(fd);
  } else if (!text_file_detail::SkipByteOrderMark(stream)) {
    std::fclose(stream);
    stream = nullptr;
  }
  return stream;
}

std::FILE* Open(const std::string& path, const std::string& newPath, TextFileMode mode) {
  return mode == TextFileMode::Read ? OpenForReading(path) : CreateNew(path, newPath);
}

std::size_t Write(const char* data, std::size_t size, std::FILE* stream) {
  return std::fwrite(data, 1, size, stream);
}

bool Rename(const SystemPath& from, const SystemPath& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

void Remove(const SystemPath& path) { ::unlink(path.c_str()); }

}  // namespace

TextFileCalls& TextFileSystem() {
  static constinit TextFileCalls calls = {
      &Open, &Write, &text_file_detail::ReadByte, &text_file_detail::CloseStream, &Rename, &Remove};
  return calls;
}

namespace text_file_detail {

bool SyncToDisk(std::FILE* stream) { return ::fsync(::fileno(stream)) == 0; }

}  // namespace text_file_detail

Status TextFile::Write(std::string_view text) {
  if (file_ == nullptr) return StatusFailed;
  if (text.empty()) return StatusOk;
  if (TextFileSystem().write(text.data(), text.size(), file_) != text.size()) {
    failed_ = true;
    return StatusFailed;
  }
  return StatusOk;
}

}  // namespace kestrel
