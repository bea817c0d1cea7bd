// SPDX-License-Identifier: MIT
// The operating-system calls of the text-file layer, gathered in one table.
// Every open, write, byte read, close, rename and removal of a TextFile goes
// through it. Each entry holds the system's own function and may be set by
// name to another one that stands in front of it (platform/system_call.h):
// a test program does so to make a call fail as a full disk would, and the
// host kestrel-sync --charset to keep the files in another character set.
// Nothing in the conduit sets an entry.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "platform/system_call.h"
#include "platform/system_path.h"
#include "platform/text_file.h"

namespace kestrel {

// What the read call returns when reading failed (EOF is the end of the file).
inline constexpr int kReadFailed = EOF - 1;

struct TextFileCalls {
  // Opens the import file `path` for reading (TextFileMode::Read; `newPath`
  // is empty), or creates the new file `newPath` that will replace `path`
  // (TextFileMode::CreateWrite); the rules are TextFileMode's. nullptr when
  // it cannot.
  SystemCall<std::FILE*(const std::string& path, const std::string& newPath, TextFileMode mode)>
      open;
  // Writes `size` bytes to the stream; how many it wrote.
  SystemCall<std::size_t(const char* data, std::size_t size, std::FILE* stream)> write;
  // The next byte of the stream, EOF at its end, kReadFailed on a failure.
  SystemCall<int(std::FILE* stream)> read;
  // Flushes and closes the stream, with `toDisk` also onto the disk; always
  // releases it. 0, or EOF when something written did not reach the file.
  SystemCall<int(std::FILE* stream, bool toDisk)> close;
  // Renames the new file `from` over `to`; true when it did.
  SystemCall<bool(const SystemPath& from, const SystemPath& to)> rename;
  // Removes a new file that is to replace nothing.
  SystemCall<void(const SystemPath& path)> remove;
};

// The table the text-file layer calls through; it starts with the system's
// own functions (defined with them, one set per system).
TextFileCalls& TextFileSystem();

}  // namespace kestrel
