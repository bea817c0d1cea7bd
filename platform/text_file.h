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
#include <memory>
#include <string>
#include <string_view>

#include "handheld/sync_services.h"

namespace kestrel {

enum class TextFileMode {
  // Writes a new file that replaces `path` on Close(). The new file,
  // `path` + kNewFileSuffix, is created exclusively (never an existing file
  // or a link; a leftover of a run that was stopped is removed first) and
  // held for exclusive use while written (Windows: no sharing; POSIX: an
  // exclusive advisory lock, flock). Whatever stands at `path` (a file, a
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

// The name of the new file beside a backup file, while it is written.
inline constexpr char kNewFileSuffix[] = ".kestrel-new";

enum class ReadOutcome { Line, End, Error };

#ifdef _WIN32
// Paths as the system's wide-character calls take them, so that they are
// not held to the short limit of the ANSI calls.
using SystemPath = std::wstring;
#else
using SystemPath = std::string;
#endif

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
  // Closing a closed file returns 0.
  Status Close();

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

// The separator between the data folder and a file name on this system.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace kestrel
