// SPDX-License-Identifier: MIT
// Text files on Windows: the system's own open, write, rename and removal
// for the table of text_file_calls.h. The host's line break is CR LF: each
// "\n" written goes to the file as "\r\n", and reading turns "\r\n" into
// "\n". The translation is done over a binary stream, by Write below and
// the shared ReadLine, rather than by the C runtime's text mode, so that the
// file reads exactly as on POSIX (text mode would also end the text at the
// first Ctrl-Z byte and drop what follows).
// A new backup file is created without sharing, so no other program can open
// it while it is written, and replaces the old one with MoveFileEx; the
// import file is opened read-only with full sharing.
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/text_file.h"
#include "platform/text_file_calls.h"
#include "platform/text_file_detail.h"

namespace kestrel {
namespace {

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

// The new file `newName` beside `path`, created exclusively without
// sharing, as a binary stream; nullptr when it cannot be made.
std::FILE* CreateNew(const std::string& path, const std::string& newName) {
  const std::wstring oldPath = ToSystemPath(path);
  const std::wstring newPath = ToSystemPath(newName);
  if (oldPath.empty() || newPath.empty() || !OldIsReplaceable(oldPath)) return nullptr;
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
  if (GetFileType(handle) != FILE_TYPE_DISK || !text_file_detail::SkipByteOrderMark(stream)) {
    std::fclose(stream);
    return nullptr;
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
  return MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void Remove(const SystemPath& path) { DeleteFileW(path.c_str()); }

}  // namespace

TextFileCalls& TextFileSystem() {
  static constinit TextFileCalls calls = {
      &Open, &Write, &text_file_detail::ReadByte, &text_file_detail::CloseStream, &Rename, &Remove};
  return calls;
}

namespace text_file_detail {

bool SyncToDisk(std::FILE* stream) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  return FlushFileBuffers(handle) != 0;
}

}  // namespace text_file_detail

Status TextFile::Write(std::string_view text) {
  if (file_ == nullptr) return StatusFailed;
  if (text.empty()) return StatusOk;
  // The text goes to the file in one write, its line breaks as CR LF.
  std::string_view bytes = text;
  if (text.find('\n') != std::string_view::npos) {
    lines_.clear();
    for (const char c : text) {
      if (c == '\n') lines_ += '\r';
      lines_ += c;
    }
    bytes = lines_;
  }
  if (TextFileSystem().write(bytes.data(), bytes.size(), file_) != bytes.size()) {
    failed_ = true;
    return StatusFailed;
  }
  return StatusOk;
}

}  // namespace kestrel
