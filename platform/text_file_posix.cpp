// Text files on POSIX: opening, writing and replacing. The files are stdio
// streams over descriptors that are opened, and for writing locked, here.
// The host's line break is "\n", so writing needs no translation. Reading
// and closing are the same on every system (text_file_common.cpp).
//
// Every open and write of a file goes through OpenDescriptor and WriteBytes
// below. Each open and write first asks the fault seam
// (platform/file_faults.h) whether it is to fail.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/file_faults.h"
#include "platform/text_file.h"
#include "platform/text_file_detail.h"

namespace kestrel {
namespace {

// The descriptor of a newly opened file, or -1.
int OpenDescriptor(const std::string& path, int flags) {
  return ::open(path.c_str(), flags | O_CLOEXEC, 0666);
}

// Returns false when the bytes did not all reach the stream.
bool WriteBytes(std::FILE* file, const char* data, std::size_t size) {
  return std::fwrite(data, 1, size, file) == size;
}

// A regular file at `path` (never followed through a link), opened without
// waiting and locked for exclusive use: its descriptor; -1 when someone else
// holds it or it cannot be opened. *busy tells the two apart.
int LockExisting(const std::string& path, bool* busy) {
  const int fd = OpenDescriptor(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
  *busy = false;
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *busy = true;
    ::close(fd);
    return -1;
  }
  return fd;
}

// Takes what stands at the backup path: nothing, or something to replace.
// A regular file there is locked, so that one another program holds is not
// replaced; its descriptor goes to *held (-1 when it could not be opened,
// when the rename still replaces it). False for a folder or a busy file.
bool TakeOld(const std::string& path, int* held) {
  *held = -1;
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT;
  if (S_ISDIR(info.st_mode)) return false;
  if (!S_ISREG(info.st_mode)) return true;  // a link, a FIFO, a device: replaced by name
  bool busy = false;
  *held = LockExisting(path, &busy);
  return !busy;
}

// Removes a new file left behind by a run that was stopped; one that a
// running sync still writes (and so holds locked) is left to it.
bool RemoveLeftover(const std::string& newPath) {
  struct stat info {};
  if (::lstat(newPath.c_str(), &info) != 0) return errno == ENOENT;
  if (S_ISDIR(info.st_mode)) return false;
  if (S_ISREG(info.st_mode)) {
    bool busy = false;
    const int fd = LockExisting(newPath, &busy);
    if (busy) return false;
    const bool removed = ::unlink(newPath.c_str()) == 0;
    if (fd >= 0) ::close(fd);
    return removed;
  }
  return ::unlink(newPath.c_str()) == 0;
}

// The new file that will replace `path`, created exclusively and locked, as
// a stream with a large buffer; nullptr when it cannot be made.
std::FILE* CreateNew(const std::string& newPath) {
  if (!RemoveLeftover(newPath)) return nullptr;
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
  if (stream == nullptr) ::close(fd);
  return stream;
}

}  // namespace

namespace text_file_detail {

bool SyncToDisk(std::FILE* stream) { return ::fsync(::fileno(stream)) == 0; }

}  // namespace text_file_detail

Status OpenTextFile(TextFile& file, TextFileMode mode, const std::string& path) {
  file.Close();
  // A NUL inside the path would silently name another file.
  if (path.find('\0') != std::string::npos) return StatusFailed;
  if (FileOperationFails(FileOperation::Open, path)) return StatusFailed;
  if (mode == TextFileMode::Read) {
    std::FILE* stream = OpenForReading(path);
    if (stream == nullptr) return StatusFailed;
    if (!text_file_detail::SkipByteOrderMark(stream)) {
      std::fclose(stream);
      return StatusFailed;
    }
    file.file_ = stream;
    return StatusOk;
  }

  // Named before anything is opened: what is left to do cannot run out of
  // memory half way.
  std::string newPath = path + kNewFileSuffix;
  std::string oldPath = path;
  int held = -1;
  if (!TakeOld(path, &held)) return StatusFailed;
  std::FILE* stream = CreateNew(newPath);
  if (stream == nullptr) {
    if (held >= 0) ::close(held);
    return StatusFailed;
  }
  file.file_ = stream;
  file.path_ = std::move(oldPath);
  file.newPath_ = std::move(newPath);
  file.heldOld_ = held;
  // The backup pass hands its text over in pieces of 64 KiB: a buffer in the
  // stream would only copy them once more.
  std::setvbuf(stream, nullptr, _IONBF, 0);
  return StatusOk;
}

Status TextFile::Write(std::string_view text) {
  if (file_ == nullptr) return StatusFailed;
  if (text.empty()) return StatusOk;
  if (FileOperationFails(FileOperation::Write, text) ||
      !WriteBytes(file_, text.data(), text.size())) {
    failed_ = true;
    return StatusFailed;
  }
  return StatusOk;
}

bool TextFile::EndReplace(bool commit) {
  const bool replaced = commit && std::rename(newPath_.c_str(), path_.c_str()) == 0;
  if (!replaced) ::unlink(newPath_.c_str());
  if (heldOld_ >= 0) ::close(heldOld_);
  heldOld_ = -1;
  path_.clear();
  newPath_.clear();
  return replaced;
}

}  // namespace kestrel
