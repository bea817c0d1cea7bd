// SPDX-License-Identifier: MIT
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/common/unique_fd.h"
#include "tools/sync/host_files.h"

namespace kestrel::cli {
namespace {

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

class FdSink : public LogSink {
 public:
  FdSink(int fd, bool owned) : fd_(fd), owned_(owned) {}
  ~FdSink() override {
    if (owned_) ::close(fd_);
  }
  bool Write(std::string_view text) override { return WriteAll(fd_, text); }

 private:
  int fd_;
  bool owned_;
};

}  // namespace

std::unique_ptr<LogSink> OpenLog(const std::string& path, std::string* error) {
  if (path == "-") return std::make_unique<FdSink>(STDOUT_FILENO, false);
  const int fd = OpenRegular(path, O_WRONLY | O_APPEND | O_CREAT, error, nullptr);
  if (fd < 0) {
    if (error != nullptr && error->find(": not a regular file") != std::string::npos) {
      *error = path +
               ": the sync log goes only to a regular file; to keep no log, leave out --log "
               "and redirect standard output (>/dev/null); -q leaves out the summary";
    }
    return nullptr;
  }
  return std::make_unique<FdSink>(fd, true);
}

bool IsInFolder(const std::filesystem::path& path, const std::filesystem::path& folder) {
  struct stat folderStat {};
  if (::stat(folder.c_str(), &folderStat) != 0) return false;
  // The folder the file is in once links are followed: a link that leads
  // nowhere yet would have the file created where it points.
  std::error_code ec;
  std::filesystem::path at = path;
  for (int hops = 0; hops < 40; ++hops) {
    const std::filesystem::path resolved = std::filesystem::canonical(at, ec);
    if (!ec) {
      at = resolved;
      break;
    }
    if (!std::filesystem::is_symlink(at, ec)) break;
    const std::filesystem::path target = std::filesystem::read_symlink(at, ec);
    if (ec) break;
    at = target.is_absolute() ? target : at.parent_path() / target;
  }
  std::filesystem::path parent = at.parent_path();
  if (parent.empty()) parent = ".";
  struct stat st {};
  if (::stat(parent.c_str(), &st) != 0) return false;
  return st.st_dev == folderStat.st_dev && st.st_ino == folderStat.st_ino;
}

FolderState ReadFolderState(const std::filesystem::path& folder) {
  FolderState state;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return state;
  // One stat per entry: a sync looks at the folder after every backup.
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    FileState file;
    if (::fstatat(dirFd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) {
      file.regular = true;
      file.identity = static_cast<std::uint64_t>(st.st_ino);
      file.size = static_cast<std::uint64_t>(st.st_size);
      file.modified = std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    }
    state[name] = file;
  }
  ::closedir(dir);
  return state;
}

bool FolderWritable(const std::filesystem::path& folder) {
  return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::filesystem::path MakeScratchFolder(const std::filesystem::path& base, std::string* error) {
  std::string pattern = (base / (std::string(kScratchPrefix) + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    if (error != nullptr) {
      *error = pattern + ": cannot make a scratch folder: " + std::strerror(errno);
    }
    return {};
  }
  return pattern;
}

bool OwnedByThisUser(const std::filesystem::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && st.st_uid == ::geteuid();
}

FreeSpace FreeSpaceOf(const std::filesystem::path& folder) {
  struct statvfs vfs {};
  if (::statvfs(folder.c_str(), &vfs) != 0) return {};
  const std::uint64_t unit = vfs.f_frsize != 0 ? vfs.f_frsize : vfs.f_bsize;
  return {static_cast<std::uint64_t>(vfs.f_bavail) * unit, unit, true};
}

}  // namespace kestrel::cli
