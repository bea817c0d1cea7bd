// Text files on Windows. The host's line break is CR LF: each "\n" written
// goes to the file as "\r\n", and reading turns "\r\n" into "\n". The
// translation is done over a binary stream, by Write below and the shared
// ReadLine, rather than by the C runtime's text mode, so that the file reads
// exactly as on POSIX (text mode would also end the text at the first Ctrl-Z
// byte and drop what follows).
// A new backup file is created without sharing, so no other program can open
// it while it is written, and replaces the old one with MoveFileEx; the
// import file is opened read-only with full sharing.
//
// Opening, writing and replacing are here; reading and closing are the same
// on every system (text_file_common.cpp). Every open and write of a file goes
// through the functions below. Each open and write first asks the fault seam
// (platform/file_faults.h) whether it is to fail.
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "platform/file_faults.h"
#include "platform/text_file.h"
#include "platform/text_file_detail.h"

namespace kestrel {
namespace {

// A path in the host's ANSI code page as the wide-character calls take it;
// empty when it cannot be converted.
std::wstring Wide(const std::string& path) {
  if (path.empty()) return {};
  const int size = static_cast<int>(path.size());
  const int length =
      MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.data(), size, wide.data(), length);
  return wide;
}

// Returns false when the bytes did not all reach the stream.
bool WriteBytes(std::FILE* file, const char* data, std::size_t size) {
  return std::fwrite(data, 1, size, file) == size;
}

// Whether what stands at the backup path may be replaced: nothing, or a file
// that no other program holds. A folder is never replaced.
bool OldIsReplaceable(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  // Opened without sharing, as the backup file itself would be: this fails
  // while another program has it open.
  const HANDLE old = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (old == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_SHARING_VIOLATION;
  CloseHandle(old);
  return true;
}

// The new file, created exclusively (a leftover of a run that was stopped is
// removed first) without sharing, as a binary stream; nullptr when it cannot
// be made.
std::FILE* CreateNew(const std::wstring& newPath) {
  if (!DeleteFileW(newPath.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) return nullptr;
  const HANDLE handle = CreateFileW(newPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd == -1) {
    CloseHandle(handle);
    DeleteFileW(newPath.c_str());
    return nullptr;
  }
  std::FILE* stream = _fdopen(fd, "wb");
  if (stream == nullptr) {
    _close(fd);
    DeleteFileW(newPath.c_str());
  }
  return stream;
}

// The import file, shared with every other program; only a file on a disk.
std::FILE* OpenForReading(const std::string& path) {
  std::FILE* stream = _fsopen(path.c_str(), "rb", _SH_DENYNO);
  if (stream == nullptr) return nullptr;
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    std::fclose(stream);
    return nullptr;
  }
  return stream;
}

}  // namespace

namespace text_file_detail {

bool SyncToDisk(std::FILE* stream) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  return FlushFileBuffers(handle) != 0;
}

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
  std::wstring oldPath = Wide(path);
  std::wstring newPath = Wide(path + kNewFileSuffix);
  if (oldPath.empty() || newPath.empty() || !OldIsReplaceable(oldPath)) return StatusFailed;
  std::FILE* stream = CreateNew(newPath);
  if (stream == nullptr) return StatusFailed;
  file.file_ = stream;
  file.path_ = std::move(oldPath);
  file.newPath_ = std::move(newPath);
  return StatusOk;
}

Status TextFile::Write(std::string_view text) {
  if (file_ == nullptr) return StatusFailed;
  if (text.empty()) return StatusOk;
  if (FileOperationFails(FileOperation::Write, text)) {
    failed_ = true;
    return StatusFailed;
  }
  for (;;) {
    const std::size_t lineBreak = text.find('\n');
    const std::size_t length = lineBreak == std::string_view::npos ? text.size() : lineBreak;
    if (!WriteBytes(file_, text.data(), length) ||
        (lineBreak != std::string_view::npos && !WriteBytes(file_, "\r\n", 2))) {
      failed_ = true;
      return StatusFailed;
    }
    if (lineBreak == std::string_view::npos) return StatusOk;
    text.remove_prefix(lineBreak + 1);
  }
}

bool TextFile::EndReplace(bool commit) {
  const bool replaced =
      commit && MoveFileExW(newPath_.c_str(), path_.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!replaced) DeleteFileW(newPath_.c_str());
  path_.clear();
  newPath_.clear();
  return replaced;
}

}  // namespace kestrel
