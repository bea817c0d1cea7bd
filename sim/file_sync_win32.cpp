#include <windows.h>

#include "sim/file_sync.h"

namespace sim {

bool SyncFileToDisk(const std::filesystem::path& path, std::string* error) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD code = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
  if (file != INVALID_HANDLE_VALUE) {
    if (!FlushFileBuffers(file)) code = GetLastError();
    CloseHandle(file);
  }
  if (code == ERROR_SUCCESS) return true;
  if (error != nullptr) *error = "cannot flush to disk: system error " + std::to_string(code);
  return false;
}

// A rename on NTFS is journalled with the file system's metadata; there is
// no folder handle to flush.
void SyncFolderToDisk(const std::filesystem::path&) {}

}  // namespace sim
