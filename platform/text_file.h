// SPDX-License-Identifier: MIT
// Buffered text files for the conduit's backup and import files. Text mode:
// "\n" is written in the host's line-break form and read back as "\n"; a
// "\r\n" pair is read as "\n" on every system, so an import file written on
// Windows reads the same everywhere. Text is bytes in the host's code page.
//
// A backup file is never written in place: the text goes to a new file
// beside it, which replaces the old one only once it is complete, so the
// previous backup stays whole until then.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "handheld/sync_services.h"
#include "platform/system_path.h"

namespace kestrel {

enum class TextFileMode {
  // Writes a new file that replaces `path` on Close(). The new file,
  // `path` + "." + 16 hexadecimal digits of its own + kNewFileSuffix, is
  // created exclusively (never an existing file or a link) and held for
  // exclusive use while written (Windows: no sharing; POSIX: an exclusive
  // advisory lock, flock), so that a sync can tell a leftover of a stopped
  // run from the file of one that runs. Whatever stands at `path` (a file, a
  // link, a FIFO, a device) is replaced, never opened for writing; a folder
  // there fails the open, and so does a file that another program holds:
  // it is neither waited for nor replaced.
  CreateWrite,
  // Read only, without locking the file against other programs, and never
  // waiting: only a regular file is opened (a symbolic link to one is
  // followed). A UTF-8 byte-order mark (EF BB BF) at its very start is
  // skipped, as if it were not there.
  Read,
};

// How the name of the new file beside a backup file ends, while it is
// written, and the number of hexadecimal digits before it. Files of the
// earlier form, `path` + kEarlierNewFileSuffix, are leftovers of stopped runs.
inline constexpr char kNewFileSuffix[] = ".kestrel-backup-new";
inline constexpr std::size_t kNewFileDigits = 16;
inline constexpr char kEarlierNewFileSuffix[] = ".kestrel-new";

// kNewFileDigits hexadecimal digits (0-9, a-f) that no other run picks, for
// the name of a new file.
std::string NewFileDigits();

enum class ReadOutcome { Line, End, Error };

// A step between a new file being complete on the disk and its replacing
// the old one, given both paths: true lets the replacement go on, false
// fails it (the new file is removed and the old one stays).
using BeforeReplace = std::function<bool(const SystemPath& newFile, const SystemPath& oldFile)>;

// One open text file. The destructor closes it; a new file that was not
// closed with Close() is removed then, and replaces nothing.
class TextFile {
 public:
  TextFile() = default;
  ~TextFile();
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  bool IsOpen() const { return file_ != nullptr; }

  // Writes `text`; 0 on success, 1 when the write failed or no file is open.
  // Text may stay buffered until Close(). Once a write has failed, the new
  // file will replace nothing.
  Status Write(std::string_view text);

  // Replaces `line` with the next line: at most `maxChars` characters (at
  // least 1), stopping after the first line break, which is kept; the rest
  // of a longer line comes with the next read. Line when it read at least one
  // character, End when the file holds no more text, Error when the read
  // failed (or no file is open).
  ReadOutcome ReadLine(std::string& line, std::size_t maxChars);

  // Closes the file; 0 when everything written reached it and, for a new
  // file, it has been flushed to the disk and has replaced the old one.
  // Otherwise 1, and a new file is removed: the old one stays as it was.
  // Closing a closed file returns 0. A new file that is complete goes
  // through `beforeReplace`, when given, before it replaces the old one.
  Status Close(const BeforeReplace& beforeReplace = {});

 private:
  friend Status OpenTextFile(TextFile& file, TextFileMode mode, const std::string& path);

  std::FILE* file_ = nullptr;
  // A larger buffer than the stream's own, where the system gives one; it
  // outlives the stream.
  struct FreeBuffer {
    void operator()(char* buffer) const { std::free(buffer); }
  };
  std::unique_ptr<char, FreeBuffer> buffer_;
  SystemPath path_;      // the file a new file replaces; empty for reading
  SystemPath newPath_;   // the new file
  bool failed_ = false;  // a write failed: the new file must replace nothing
#ifdef _WIN32
  std::string lines_;  // text with its line breaks in the host's form
#endif
};

// Opens `file` on `path`, closing what it held first; 0 when it is open, 1
// when the open failed (and then nothing was created).
Status OpenTextFile(TextFile& file, TextFileMode mode, const std::string& path);

}  // namespace kestrel
