// SPDX-License-Identifier: MIT
// A handheld file opened for reading. Opening never blocks: a FIFO, a device
// or a folder is refused as "not a regular file" rather than waited on, and a
// symbolic link to a regular file is followed. Messages say what is wrong,
// without the file's name, which the caller adds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace kestrel::handheld_folder {

class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path`; false with *error ("cannot read: REASON", "not a regular
  // file") when it cannot be read or is no regular file.
  bool Open(const std::filesystem::path& path, std::string* error);

  // The size of the open file when it was opened.
  std::uint64_t Size() const { return size_; }

  // Reads `count` bytes from `offset` into `into`; false with *error when
  // reading fails or the file ends first ("file changed while it was read").
  bool ReadAt(std::uint64_t offset, std::uint8_t* into, std::size_t count, std::string* error);

  // Whether the file holds no byte at `offset`: it has not grown since.
  bool EndsAt(std::uint64_t offset);

 private:
  // Reads up to `count` bytes at `offset`: the number read, 0 at the end of
  // the file, or -1 with *error. One for each system.
  long long ReadSome(std::uint64_t offset, std::uint8_t* into, std::size_t count,
                     std::string* error);

  std::intptr_t handle_ = -1;  // a file descriptor, or a Windows HANDLE
  std::uint64_t size_ = 0;
};

}  // namespace kestrel::handheld_folder
