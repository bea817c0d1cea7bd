// SPDX-License-Identifier: MIT
// The files kestrel-sync.exe opens itself. Windows has no FIFOs where a
// file is expected; what is not a regular file is refused all the same.
#include <windows.h>

#include <cstdint>
#include <fstream>
#include <iostream>
#include <system_error>

#include "tools/sync/host_files.h"

namespace kestrel::cli {
namespace fs = std::filesystem;
namespace {

bool Fail(std::string* error, const std::string& path, const std::string& what) {
  if (error != nullptr) *error = path + ": " + what;
  return false;
}

// A file type that may be used as a file: regular, or nothing yet.
bool Usable(const std::string& path, bool mayBeMissing, std::string* error) {
  std::error_code ec;
  const fs::file_type type = fs::status(path, ec).type();
  if (type == fs::file_type::regular) return true;
  if (type == fs::file_type::not_found && mayBeMissing) return true;
  if (type == fs::file_type::not_found) return Fail(error, path, "cannot open: no such file");
  if (type == fs::file_type::directory) {
    return Fail(error, path, "not a regular file: it is a folder");
  }
  return Fail(error, path, "not a regular file");
}

class StreamSink : public LogSink {
 public:
  explicit StreamSink(std::ostream& out) : out_(out) {}
  bool Write(std::string_view text) override {
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    out_.flush();
    return static_cast<bool>(out_);
  }

 private:
  std::ostream& out_;
};

// A text file: its lines end in CR LF, as the system's do.
class FileSink : public LogSink {
 public:
  explicit FileSink(const std::string& path) : file_(path, std::ios::app) {}
  bool Open() const { return file_.is_open(); }
  bool Write(std::string_view text) override {
    file_.write(text.data(), static_cast<std::streamsize>(text.size()));
    file_.flush();
    return static_cast<bool>(file_);
  }

 private:
  std::ofstream file_;
};

}  // namespace

bool ReadRegularFile(const std::string& path, std::uint64_t limit, std::string* text,
                     std::string* error, bool* missing) {
  std::error_code ec;
  *missing = fs::status(path, ec).type() == fs::file_type::not_found;
  if (!Usable(path, false, error)) return false;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) return Fail(error, path, "cannot read: " + ec.message());
  if (size > limit) {
    return Fail(error, path,
                "too large: " + std::to_string(size) + " bytes, at most " + std::to_string(limit) +
                    " are read");
  }
  std::ifstream in(path, std::ios::binary);
  text->assign(static_cast<std::size_t>(size), '\0');
  in.read(text->data(), static_cast<std::streamsize>(size));
  text->resize(static_cast<std::size_t>(in.gcount()));
  if (in.bad()) return Fail(error, path, "cannot read");
  return true;
}

std::unique_ptr<LogSink> OpenLog(const std::string& path, std::string* error) {
  if (path == "-") return std::make_unique<StreamSink>(std::cout);
  if (!Usable(path, true, error)) return nullptr;
  auto sink = std::make_unique<FileSink>(path);
  if (!sink->Open()) {
    Fail(error, path, "cannot open the log");
    return nullptr;
  }
  return sink;
}

bool IsInFolder(const fs::path& path, const fs::path& folder) {
  std::error_code ec;
  fs::path parent = fs::weakly_canonical(fs::absolute(path, ec), ec).parent_path();
  return !ec && fs::equivalent(parent, folder, ec) && !ec;
}

namespace {

std::uint64_t FileIdentity(const fs::path& path) {
  // The file's index and its last write time to the 100 ns: a file
  // replaced, or rewritten in place, gives another number.
  const HANDLE file =
      CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  if (!known) return 0;
  const std::uint64_t index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  const std::uint64_t written = (std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                info.ftLastWriteTime.dwLowDateTime;
  return index * 0x9E3779B97F4A7C15ull ^ written;
}

}  // namespace

FolderState ReadFolderState(const fs::path& folder) {
  FolderState state;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code fileError;
    FileState file;
    file.regular = it->status(fileError).type() == fs::file_type::regular;
    if (file.regular) {
      file.size = it->file_size(fileError);
      file.identity = FileIdentity(it->path());
    }
    state[it->path().filename().string()] = file;
  }
  return state;
}

bool FolderWritable(const fs::path&) { return true; }

// kestrel-sync.exe offers no dry run, and so makes no scratch folder.
fs::path MakeScratchFolder(const fs::path&, std::string* error) {
  if (error != nullptr) *error = "a dry run is not available on Windows";
  return {};
}

bool OwnedByThisUser(const fs::path&) { return false; }

FreeSpace FreeSpaceOf(const fs::path& folder) {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(folder.wstring().c_str(), &available, nullptr, nullptr)) return {};
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  const std::wstring root = folder.root_path().wstring();
  std::uint64_t block = 4096;
  if (GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                        &clusters)) {
    block = std::uint64_t{sectorsPerCluster} * bytesPerSector;
  }
  return {available.QuadPart, block, true};
}

}  // namespace kestrel::cli
