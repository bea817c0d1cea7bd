// Text files on POSIX: opening and writing. The files are stdio streams over
// descriptors that are opened, and for writing locked, here. The host's line
// break is "\n", so writing needs no translation. Reading and closing are the
// same on every system (text_file_common.cpp).
//
// Every open and write of a file goes through OpenDescriptor and WriteBytes
// below. Each open and write first asks the fault seam
// (platform/file_faults.h) whether it is to fail.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/file_faults.h"
#include "platform/text_file.h"

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

// Takes the lock, then empties the file: a file that someone else holds is
// left as it is.
bool PrepareForWriting(int fd) {
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  // Devices and pipes cannot be emptied, and need not be.
  return !S_ISREG(info.st_mode) || ::ftruncate(fd, 0) == 0;
}

// A backup file runs to megabytes: it goes to the disk in pieces of this
// size rather than the stream's usual few kilobytes.
constexpr std::size_t kWriteBufferSize = std::size_t{1} << 16;

bool IsFolder(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

Status OpenTextFile(TextFile& file, TextFileMode mode, const std::string& path) {
  file.Close();
  // A NUL inside the path would silently name another file.
  if (path.find('\0') != std::string::npos) return StatusFailed;
  if (FileOperationFails(FileOperation::Open, path)) return StatusFailed;
  const bool writing = mode == TextFileMode::CreateWrite;
  const int fd = OpenDescriptor(path, writing ? O_WRONLY | O_CREAT : O_RDONLY);
  if (fd < 0) return StatusFailed;
  const bool ready = writing ? PrepareForWriting(fd) : !IsFolder(fd);
  std::FILE* stream = ready ? ::fdopen(fd, writing ? "w" : "r") : nullptr;
  if (stream == nullptr) {
    ::close(fd);
    return StatusFailed;
  }
  file.file_ = stream;
  if (writing) {
    // Taken like the stream's own buffer; without it the stream keeps its own.
    file.buffer_.reset(static_cast<char*>(std::malloc(kWriteBufferSize)));
    if (file.buffer_) std::setvbuf(stream, file.buffer_.get(), _IOFBF, kWriteBufferSize);
  }
  return StatusOk;
}

Status TextFile::Write(std::string_view text) {
  if (file_ == nullptr) return StatusFailed;
  if (text.empty()) return StatusOk;
  if (FileOperationFails(FileOperation::Write, text)) return StatusFailed;
  return WriteBytes(file_, text.data(), text.size()) ? StatusOk : StatusFailed;
}

}  // namespace kestrel
