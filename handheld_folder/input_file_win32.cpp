// SPDX-License-Identifier: MIT
#include <windows.h>

#include <system_error>

#include "handheld_folder/input_file.h"

namespace kestrel::handheld_folder {
namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::string CannotRead() {
  return "cannot read: " + std::system_category().message(static_cast<int>(::GetLastError()));
}

}  // namespace

InputFile::~InputFile() {
  if (handle_ != -1) ::CloseHandle(AsHandle(handle_));
}

bool InputFile::Open(const std::filesystem::path& path, std::string* error) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = CannotRead();
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    *error = "not a regular file";
    return false;
  }
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file, &size)) {
    *error = CannotRead();
    return false;
  }
  size_ = static_cast<std::uint64_t>(size.QuadPart);
  return true;
}

long long InputFile::ReadSome(std::uint64_t offset, std::uint8_t* into, std::size_t count,
                              std::string* error) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  const DWORD chunk = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
  if (!::ReadFile(AsHandle(handle_), into, chunk, &read, &at)) {
    if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
    *error = CannotRead();
    return -1;
  }
  return read;
}

}  // namespace kestrel::handheld_folder
