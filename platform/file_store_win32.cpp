// SPDX-License-Identifier: MIT
// The file store on Windows: the wide calls on long-form paths. Files are
// opened with FILE_FLAG_OPEN_REPARSE_POINT where a link must not be
// followed, new ones without sharing; a placed name replaces nothing
// (MoveFileExW without MOVEFILE_REPLACE_EXISTING).
#include <windows.h>

#include "platform/file_store.h"

namespace kestrel {
namespace {

HANDLE Native(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
FileHandle Ours(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool IsRegular(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) {
    return false;
  }
  constexpr DWORD kNotAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return (info.dwFileAttributes & kNotAFile) == 0;
}

OpenResult OpenRegular(const SystemPath& path, bool followLink, FileHandle* file) {
  *file = kNoFile;
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  const HANDLE handle =
      CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return IsMissing(GetLastError()) ? OpenResult::Missing : OpenResult::Failed;
  }
  if (!IsRegular(handle)) {
    CloseHandle(handle);
    return OpenResult::NotRegular;
  }
  *file = Ours(handle);
  return OpenResult::Opened;
}

bool CreateNew(const SystemPath& path, FileHandle* file) {
  *file = kNoFile;
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  *file = Ours(handle);
  return true;
}

long long Read(FileHandle file, std::uint64_t offset, char* data, std::size_t size) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const DWORD wanted = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
  if (!ReadFile(Native(file), data, wanted, &got, &at)) {
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  }
  return got;
}

bool Write(FileHandle file, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD piece = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
    DWORD put = 0;
    if (!WriteFile(Native(file), data, piece, &put, nullptr) || put == 0) return false;
    data += put;
    size -= put;
  }
  return true;
}

bool Flush(FileHandle file) { return FlushFileBuffers(Native(file)) != 0; }

bool Identify(FileHandle file, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(Native(file), &info)) return false;
  identity->device = info.dwVolumeSerialNumber;
  identity->index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  identity->size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  return true;
}

void Close(FileHandle file) { CloseHandle(Native(file)); }

PlaceResult Link(FileHandle file, const SystemPath& source, const SystemPath& target) {
  if (!CreateHardLinkW(target.c_str(), source.c_str(), nullptr)) {
    switch (GetLastError()) {
      case ERROR_ALREADY_EXISTS:
      case ERROR_FILE_EXISTS:
        return PlaceResult::Exists;
      case ERROR_NOT_SUPPORTED:
      case ERROR_INVALID_FUNCTION:
      case ERROR_ACCESS_DENIED:
      case ERROR_NOT_SAME_DEVICE:
      case ERROR_INVALID_PARAMETER:
      case ERROR_TOO_MANY_LINKS:
        return PlaceResult::Refused;
      default:
        return PlaceResult::Failed;
    }
  }
  // The name must lead to the file that was opened and checked.
  FileHandle linked = kNoFile;
  FileIdentity opened;
  FileIdentity found;
  bool same = false;
  if (OpenRegular(target, false, &linked) == OpenResult::Opened) {
    same = Identify(file, &opened) && Identify(linked, &found) && opened.SameFile(found);
    Close(linked);
  }
  if (same) return PlaceResult::Placed;
  DeleteFileW(target.c_str());
  return PlaceResult::Refused;
}

PlaceResult PlaceNew(const SystemPath& from, const SystemPath& target) {
  if (MoveFileExW(from.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) return PlaceResult::Placed;
  const DWORD error = GetLastError();
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? PlaceResult::Exists
                                                                     : PlaceResult::Failed;
}

bool MakeFolder(const SystemPath& path) {
  if (CreateDirectoryW(path.c_str(), nullptr)) return true;
  if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// A name in the host's code page; empty when it holds a character that the
// code page does not.
std::string Narrowed(const wchar_t* name) {
  BOOL lost = FALSE;
  const int length =
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, -1, nullptr, 0, nullptr, &lost);
  if (length <= 1 || lost) return {};
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, -1, narrow.data(), length, nullptr,
                      &lost);
  narrow.pop_back();  // the NUL
  return lost ? std::string() : narrow;
}

bool List(const SystemPath& folder, std::vector<std::string>* names) {
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return false;
  }
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  names->clear();
  bool listed = true;
  try {
    do {
      const std::string name = Narrowed(found.cFileName);
      if (!name.empty() && name != "." && name != "..") names->push_back(name);
    } while (FindNextFileW(search, &found));
    listed = GetLastError() == ERROR_NO_MORE_FILES;
  } catch (...) {
    FindClose(search);
    throw;
  }
  FindClose(search);
  return listed;
}

bool Remove(const SystemPath& path, bool orLink) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && !orLink) return false;
  // A file that a running sync writes is open without sharing: it stays.
  return DeleteFileW(path.c_str()) != 0;
}

}  // namespace

FileStoreCalls& FileStore() {
  static constinit FileStoreCalls calls = {&OpenRegular, &CreateNew,  &Read,  &Write,
                                           &Flush,       &Identify,   &Close, &Link,
                                           &PlaceNew,    &MakeFolder, &List,  &Remove};
  return calls;
}

}  // namespace kestrel
