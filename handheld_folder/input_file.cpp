// SPDX-License-Identifier: MIT
// Reading a handheld file, the same on every system; how a piece is read is
// each system's own (input_file_posix.cpp, input_file_win32.cpp).
#include "handheld_folder/input_file.h"

namespace kestrel::handheld_folder {

bool InputFile::ReadAt(std::uint64_t offset, std::uint8_t* into, std::size_t count,
                       std::string* error) {
  while (count > 0) {
    const long long n = ReadSome(offset, into, count, error);
    if (n < 0) return false;
    if (n == 0) {
      *error = "file changed while it was read";
      return false;
    }
    into += n;
    offset += static_cast<std::uint64_t>(n);
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

bool InputFile::EndsAt(std::uint64_t offset) {
  std::uint8_t byte = 0;
  std::string ignored;
  return ReadSome(offset, &byte, 1, &ignored) == 0;
}

}  // namespace kestrel::handheld_folder
