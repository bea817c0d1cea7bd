// SPDX-License-Identifier: MIT
#include <windows.h>

#include <algorithm>

#include "handheld_folder/file_sync.h"

namespace kestrel::handheld_folder {
namespace {

bool Failed(std::string* error, const char* what, DWORD code) {
  if (error != nullptr) *error = std::string(what) + ": system error " + std::to_string(code);
  return false;
}

}  // namespace

bool WriteNewFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                  std::string* error, bool* exists) {
  *exists = false;
  // CREATE_NEW: never an existing file or link. No sharing while it is written.
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    *exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
    return Failed(error, "cannot create the new file", code);
  }
  const char* what = nullptr;
  DWORD code = ERROR_SUCCESS;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      what = "cannot write the new file";
      code = GetLastError();
      break;
    }
    done += written;
  }
  if (what == nullptr && !FlushFileBuffers(file)) {
    what = "cannot flush the new file to disk";
    code = GetLastError();
  }
  if (!CloseHandle(file) && what == nullptr) {
    what = "cannot write the new file";
    code = GetLastError();
  }
  if (what == nullptr) return true;
  DeleteFileW(path.c_str());
  return Failed(error, what, code);
}

// A rename on NTFS is journalled with the file system's metadata; there is
// no folder handle to flush.
void SyncFolderToDisk(const std::filesystem::path&) {}

}  // namespace kestrel::handheld_folder
