// Text files on Windows, through the C runtime in text mode: "\n" is written
// as CR LF and CR LF is read back as "\n". Backup files are opened without
// sharing, so no other program can open them while they are written; the
// import file is opened read-only with full sharing. Each open, write, line
// read and close first asks the fault seam (platform/file_faults.h) whether it
// is to fail.
#include <share.h>

#include <cstdio>
#include <utility>

#include "platform/file_faults.h"
#include "platform/text_file.h"

namespace kestrel {

TextFile::~TextFile() { Close(); }

Status TextFile::Write(std::string_view text) {
  if (file_ == nullptr) return StatusFailed;
  if (text.empty()) return StatusOk;
  if (FileOperationFails(FileOperation::Write, text)) return StatusFailed;
  return std::fwrite(text.data(), 1, text.size(), file_) == text.size() ? StatusOk : StatusFailed;
}

ReadOutcome TextFile::ReadLine(std::string& line, std::size_t maxChars) {
  line.clear();
  if (file_ == nullptr) return ReadOutcome::Error;
  if (FileOperationFails(FileOperation::Read)) return ReadOutcome::Error;
  while (line.size() < maxChars) {
    const int c = std::getc(file_);
    if (c == EOF) {
      if (std::ferror(file_) != 0) return ReadOutcome::Error;
      return line.empty() ? ReadOutcome::End : ReadOutcome::Line;
    }
    line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return ReadOutcome::Line;
}

Status TextFile::Close() {
  if (file_ == nullptr) return StatusOk;
  std::FILE* file = std::exchange(file_, nullptr);
  // A close that is made to fail still releases the file.
  const bool refused = FileOperationFails(FileOperation::Close);
  const bool failedBefore = std::ferror(file) != 0;
  const bool closed = std::fclose(file) == 0;
  return closed && !failedBefore && !refused ? StatusOk : StatusFailed;
}

Status OpenTextFile(TextFile& file, TextFileMode mode, const std::string& path) {
  file.Close();
  // A NUL inside the path would silently name another file.
  if (path.find('\0') != std::string::npos) return StatusFailed;
  if (FileOperationFails(FileOperation::Open, path)) return StatusFailed;
  std::FILE* opened = mode == TextFileMode::CreateWrite ? _fsopen(path.c_str(), "wt", _SH_DENYRW)
                                                        : _fsopen(path.c_str(), "rt", _SH_DENYNO);
  if (opened == nullptr) return StatusFailed;
  file.file_ = opened;
  return StatusOk;
}

}  // namespace kestrel
