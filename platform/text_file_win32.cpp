// Text files on Windows. The host's line break is CR LF: each "\n" written
// goes to the file as "\r\n", and reading turns "\r\n" into "\n". The
// translation is done here over a binary stream rather than by the C
// runtime's text mode, so that the file reads exactly as on POSIX (text mode
// would also end the text at the first Ctrl-Z byte and drop what follows).
// Backup files are opened without sharing, so no other program can open them
// while they are written; the import file is opened read-only with full
// sharing.
//
// Every open, write and read of a file goes through OpenStream, WriteBytes
// and ReadByte below. Each open, write, line read and close first asks the
// fault seam (platform/file_faults.h) whether it is to fail.
#include <share.h>

#include <cstdio>
#include <utility>

#include "platform/file_faults.h"
#include "platform/text_file.h"

namespace kestrel {
namespace {

std::FILE* OpenStream(const std::string& path, TextFileMode mode) {
  return mode == TextFileMode::CreateWrite ? _fsopen(path.c_str(), "wb", _SH_DENYRW)
                                           : _fsopen(path.c_str(), "rb", _SH_DENYNO);
}

// Returns false when the bytes did not all reach the stream.
bool WriteBytes(std::FILE* file, const char* data, std::size_t size) {
  return std::fwrite(data, 1, size, file) == size;
}

// The next byte, or EOF at the end of the file or on a failed read.
int ReadByte(std::FILE* file) { return std::getc(file); }

}  // namespace

Status OpenTextFile(TextFile& file, TextFileMode mode, const std::string& path) {
  file.Close();
  // A NUL inside the path would silently name another file.
  if (path.find('\0') != std::string::npos) return StatusFailed;
  if (FileOperationFails(FileOperation::Open, path)) return StatusFailed;
  // Creating over a file that another program holds fails on the sharing
  // check before anything is emptied; a folder cannot be opened as a file.
  std::FILE* stream = OpenStream(path, mode);
  if (stream == nullptr) return StatusFailed;
  file.file_ = stream;
  return StatusOk;
}

TextFile::~TextFile() { Close(); }

Status TextFile::Write(std::string_view text) {
  if (file_ == nullptr) return StatusFailed;
  if (text.empty()) return StatusOk;
  if (FileOperationFails(FileOperation::Write, text)) return StatusFailed;
  for (;;) {
    const std::size_t lineBreak = text.find('\n');
    const std::size_t length = lineBreak == std::string_view::npos ? text.size() : lineBreak;
    if (!WriteBytes(file_, text.data(), length)) return StatusFailed;
    if (lineBreak == std::string_view::npos) return StatusOk;
    if (!WriteBytes(file_, "\r\n", 2)) return StatusFailed;
    text.remove_prefix(lineBreak + 1);
  }
}

ReadOutcome TextFile::ReadLine(std::string& line, std::size_t maxChars) {
  line.clear();
  if (file_ == nullptr || maxChars == 0) return ReadOutcome::Error;
  if (FileOperationFails(FileOperation::Read)) return ReadOutcome::Error;
  while (line.size() < maxChars) {
    int c = ReadByte(file_);
    if (c == EOF) break;
    if (c == '\r') {
      const int next = ReadByte(file_);
      if (next == '\n') {
        c = '\n';
      } else if (next != EOF) {
        std::ungetc(next, file_);
      }
    }
    line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  if (std::ferror(file_)) return ReadOutcome::Error;
  return line.empty() ? ReadOutcome::End : ReadOutcome::Line;
}

Status TextFile::Close() {
  if (file_ == nullptr) return StatusOk;
  std::FILE* const stream = std::exchange(file_, nullptr);
  // A close that is made to fail still releases the file.
  const bool refused = FileOperationFails(FileOperation::Close);
  const bool flushed = std::fflush(stream) == 0 && !std::ferror(stream);
  const bool closed = std::fclose(stream) == 0;
  return flushed && closed && !refused ? StatusOk : StatusFailed;
}

}  // namespace kestrel
