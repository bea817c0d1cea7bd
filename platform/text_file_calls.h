// The operating-system calls of the text-file layer, gathered in one table.
// Every open, write, byte read, close, rename and removal of a TextFile goes
// through it; the table holds the system's own functions, and a test
// program may put functions of its own in front of them (to make a call
// fail as a full disk would), as may the host (kestrel-sync --charset keeps
// the files in another character set). Nothing in the conduit changes the
// table.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "platform/text_file.h"

namespace kestrel {

// What the read call returns when reading failed (EOF is the end of the file).
inline constexpr int kReadFailed = EOF - 1;

struct TextFileCalls {
  // Opens the import file for reading (TextFileMode::Read), or creates the
  // new file beside `path` that will replace it (TextFileMode::CreateWrite);
  // the rules are TextFileMode's. nullptr when it cannot.
  std::FILE* (*open)(const std::string& path, TextFileMode mode);
  // Writes `size` bytes to the stream; how many it wrote.
  std::size_t (*write)(const char* data, std::size_t size, std::FILE* stream);
  // The next byte of the stream, EOF at its end, kReadFailed on a failure.
  int (*read)(std::FILE* stream);
  // Flushes and closes the stream, with `toDisk` also onto the disk; always
  // releases it. 0, or EOF when something written did not reach the file.
  int (*close)(std::FILE* stream, bool toDisk);
  // Renames the new file `from` over `to`; true when it did.
  bool (*rename)(const SystemPath& from, const SystemPath& to);
  // Removes a new file that is to replace nothing.
  void (*remove)(const SystemPath& path);
};

// The table the text-file layer calls through; it starts with the system's
// own functions (defined with them, one set per system).
TextFileCalls& TextFileSystem();

}  // namespace kestrel
