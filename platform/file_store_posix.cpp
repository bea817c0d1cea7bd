// SPDX-License-Identifier: MIT
// The file store on POSIX: descriptors opened without following a link
// where one must not be followed and without blocking, advisory locks
// (flock) on new files, and renameat2 so that a placed name replaces nothing.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/file_store.h"

namespace kestrel {
namespace {

int Descriptor(FileHandle file) { return static_cast<int>(file); }

OpenResult OpenRegular(const SystemPath& path, bool followLink, FileHandle* file) {
  *file = kNoFile;
  const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
  const int fd = ::open(path.c_str(), flags);
  if (fd < 0) {
    if (errno == ENOENT) return OpenResult::Missing;
    // A link where none is followed, or a FIFO or device that refused.
    return errno == ELOOP || errno == ENXIO ? OpenResult::NotRegular : OpenResult::Failed;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    ::close(fd);
    return OpenResult::Failed;
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return OpenResult::NotRegular;
  }
  *file = fd;
  return OpenResult::Opened;
}

bool CreateNew(const SystemPath& path, FileHandle* file) {
  *file = kNoFile;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    ::unlink(path.c_str());
    return false;
  }
  *file = fd;
  return true;
}

long long Read(FileHandle file, std::uint64_t offset, char* data, std::size_t size) {
  ssize_t got = 0;
  do {
    got = ::pread(Descriptor(file), data, size, static_cast<off_t>(offset));
  } while (got < 0 && errno == EINTR);
  return got;
}

bool Write(FileHandle file, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(Descriptor(file), data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

bool Flush(FileHandle file) { return ::fsync(Descriptor(file)) == 0; }

bool Identify(FileHandle file, FileIdentity* identity) {
  struct stat info {};
  if (::fstat(Descriptor(file), &info) != 0) return false;
  *identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
               static_cast<std::uint64_t>(info.st_size)};
  return true;
}

void Close(FileHandle file) { ::close(Descriptor(file)); }

PlaceResult Link(FileHandle file, const SystemPath& source, const SystemPath& target) {
  // linkat without AT_SYMLINK_FOLLOW links a link itself, never its target.
  if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), 0) != 0) {
    switch (errno) {
      case EEXIST:
        return PlaceResult::Exists;
      case EXDEV:
      case EPERM:
      case EOPNOTSUPP:
      case EMLINK:
        return PlaceResult::Refused;
      default:
        return PlaceResult::Failed;
    }
  }
  // The name must lead to the file that was opened and checked: what
  // replaced it at `source` since is not taken into the history.
  struct stat opened {};
  struct stat linked {};
  if (::fstat(Descriptor(file), &opened) == 0 && ::lstat(target.c_str(), &linked) == 0 &&
      S_ISREG(linked.st_mode) && opened.st_dev == linked.st_dev && opened.st_ino == linked.st_ino) {
    return PlaceResult::Placed;
  }
  ::unlink(target.c_str());
  return PlaceResult::Refused;
}

PlaceResult PlaceNew(const SystemPath& from, const SystemPath& target) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    return PlaceResult::Placed;
  }
  if (errno == EEXIST) return PlaceResult::Exists;
  if (errno != EINVAL && errno != ENOSYS) return PlaceResult::Failed;
  // A file system without the flag: looked at first, then renamed.
  struct stat info {};
  if (::lstat(target.c_str(), &info) == 0) return PlaceResult::Exists;
  if (errno != ENOENT) return PlaceResult::Failed;
  return ::rename(from.c_str(), target.c_str()) == 0 ? PlaceResult::Placed : PlaceResult::Failed;
}

bool MakeFolder(const SystemPath& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  if (errno != EEXIST) return false;
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool List(const SystemPath& folder, std::vector<std::string>* names) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), &::closedir);
  if (!dir) {
    ::close(fd);
    return false;
  }
  names->clear();
  errno = 0;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names->push_back(name);
  }
  return errno == 0;
}

bool Remove(const SystemPath& path, bool orLink) {
  struct stat link {};
  if (orLink && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    return ::unlink(path.c_str()) == 0;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  // Held locked while it goes, so that no running sync's file is taken.
  const bool removable =
      ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  const bool removed = removable && ::unlink(path.c_str()) == 0;
  ::close(fd);
  return removed;
}

}  // namespace

FileStoreCalls& FileStore() {
  static constinit FileStoreCalls calls = {&OpenRegular, &CreateNew,  &Read,  &Write,
                                           &Flush,       &Identify,   &Close, &Link,
                                           &PlaceNew,    &MakeFolder, &List,  &Remove};
  return calls;
}

}  // namespace kestrel
