// Text files on Windows. The host's line break is CR LF: each "\n" written
// goes to the file as "\r\n", and reading turns "\r\n" into "\n". The
// translation is done over a binary stream, by Write below and the shared
// ReadLine, rather than by the C runtime's text mode, so that the file reads
// exactly as on POSIX (text mode would also end the text at the first Ctrl-Z
// byte and drop what follows).
// Backup files are opened without sharing, so no other program can open them
// while they are written; the import file is opened read-only with full
// sharing.
//
// Opening and writing are here; reading and closing are the same on every
// system (text_file_common.cpp). Every open and write of a file goes through
// OpenStream and WriteBytes below. Each open and write first asks the fault
// seam (platform/file_faults.h) whether it is to fail.
#include <share.h>

#include <cstdio>

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

}  // namespace kestrel
