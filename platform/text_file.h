// Buffered text files for the conduit's backup and import files. Text mode:
// "\n" is written in the host's line-break form and read back as "\n"; a
// "\r\n" pair is read as "\n" on every system, so an import file written on
// Windows reads the same everywhere. Text is bytes in the host's code page.
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
  // Create the file or empty an existing one, held for exclusive use while
  // open (Windows: no sharing; POSIX: an exclusive advisory lock, flock). A
  // file that another holder has locked is neither waited for nor emptied:
  // the open fails.
  CreateWrite,
  // Read only, without locking the file against other programs. A folder is
  // not a file: opening one fails.
  Read,
};

enum class ReadOutcome { Line, End, Error };

// One open text file. Closed on destruction (the result then goes unseen);
// Close() reports whether the buffered text reached the file.
class TextFile {
 public:
  TextFile() = default;
  ~TextFile();
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  bool IsOpen() const { return file_ != nullptr; }

  // Writes `text`; 0 on success, 1 when the write failed or no file is open.
  // Text may stay buffered until Close().
  Status Write(std::string_view text);

  // Replaces `line` with the next line: at most `maxChars` characters (at
  // least 1), stopping after the first line break, which is kept; the rest
  // of a longer line comes with the next read. Line when it read at least one
  // character, End when the file holds no more text, Error when the read
  // failed (or no file is open).
  ReadOutcome ReadLine(std::string& line, std::size_t maxChars);

  // Closes the file; 0 when everything written reached it, 1 otherwise.
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
};

// Opens `file` on `path`, closing what it held first; 0 when it is open, 1
// when the open failed.
Status OpenTextFile(TextFile& file, TextFileMode mode, const std::string& path);

// The separator between the data folder and a file name on this system.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace kestrel
