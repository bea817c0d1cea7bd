// What text files do the same way on every system: reading a line, turning
// "\r\n" into "\n", skipping a byte-order mark, and closing. Opening,
// writing and replacing, where the systems differ, are in
// text_file_posix.cpp and text_file_win32.cpp.
//
// Every read of a file goes through ReadByte below. Each line read and close
// first asks the fault seam (platform/file_faults.h) whether it is to fail.
#include <cstdio>
#include <utility>

#include "platform/file_faults.h"
#include "platform/text_file.h"
#include "platform/text_file_detail.h"

namespace kestrel {
namespace {

// The next byte, or EOF at the end of the file or on a failed read.
int ReadByte(std::FILE* file) { return std::getc(file); }

}  // namespace

namespace text_file_detail {

bool SkipByteOrderMark(std::FILE* stream) {
  constexpr unsigned char kMark[] = {0xEF, 0xBB, 0xBF};
  for (const unsigned char expected : kMark) {
    if (std::getc(stream) != expected) {
      // Not a mark: the bytes read belong to the first line.
      return std::fseek(stream, 0, SEEK_SET) == 0;
    }
  }
  return true;
}

}  // namespace text_file_detail

TextFile::~TextFile() {
  // A new file that was not closed on purpose is not complete.
  failed_ = true;
  Close();
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
  const bool replacing = !path_.empty();
  // A close that is made to fail still releases the file.
  const bool refused = FileOperationFails(FileOperation::Close);
  const bool flushed = std::fflush(stream) == 0 && !std::ferror(stream) &&
                       (!replacing || failed_ || text_file_detail::SyncToDisk(stream));
  // Closing the stream closes its descriptor, which also gives up a lock.
  const bool closed = std::fclose(stream) == 0;
  // The stream's buffer, where Open gave it one, is let go only after the
  // stream that used it.
  buffer_.reset();
  bool complete = flushed && closed && !refused && !failed_;
  if (replacing) complete = EndReplace(complete);
  failed_ = false;
  return complete ? StatusOk : StatusFailed;
}

}  // namespace kestrel
