// SPDX-License-Identifier: MIT
// What text files do the same way on every system: opening (the checks and
// the names), reading a line, turning "\r\n" into "\n", skipping a
// byte-order mark, closing and replacing. What the systems do differently
// (how a file is opened, written, renamed and removed) is in
// text_file_posix.cpp and text_file_win32.cpp. Every call into the system
// goes through the table of text_file_calls.h.
#include <cstdint>
#include <cstdio>
#include <random>
#include <utility>

#include "platform/text_file.h"
#include "platform/text_file_calls.h"
#include "platform/text_file_detail.h"

namespace kestrel {

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

int ReadByte(std::FILE* stream) {
  const int c = std::getc(stream);
  return c == EOF && std::ferror(stream) ? kReadFailed : c;
}

int CloseStream(std::FILE* stream, bool toDisk) {
  const bool flushed =
      std::fflush(stream) == 0 && !std::ferror(stream) && (!toDisk || SyncToDisk(stream));
  // Closing the stream closes its descriptor, which also gives up a lock.
  const bool closed = std::fclose(stream) == 0;
  return flushed && closed ? 0 : EOF;
}

}  // namespace text_file_detail

std::string NewFileDigits() {
  static std::uint64_t counter = 0;
  std::random_device device;
  std::uint64_t value =
      (std::uint64_t{device()} << 32) ^ device() ^ (++counter * 0x9E3779B97F4A7C15u);
  std::string digits;
  for (std::size_t i = 0; i < kNewFileDigits; ++i, value >>= 4) {
    digits += "0123456789abcdef"[value & 0xF];
  }
  return digits;
}

namespace {

// The name of a new file beside `path`.
std::string NewFileName(const std::string& path) {
  return path + '.' + NewFileDigits() + kNewFileSuffix;
}

}  // namespace

TextFile::~TextFile() {
  // A new file that was not closed on purpose is not complete.
  failed_ = true;
  Close();
}

Status OpenTextFile(TextFile& file, TextFileMode mode, const std::string& path) {
  file.Close();
  // A NUL inside the path would silently name another file.
  if (path.find('\0') != std::string::npos) return StatusFailed;
  const bool writing = mode == TextFileMode::CreateWrite;
  // Named before anything is opened: what is left to do cannot run out of
  // memory half way.
  SystemPath oldPath;
  SystemPath newPath;
  std::string newName;
  if (writing) {
    newName = NewFileName(path);
    oldPath = ToSystemPath(path);
    newPath = ToSystemPath(newName);
    if (oldPath.empty() || newPath.empty()) return StatusFailed;
  }
  std::FILE* stream = TextFileSystem().open(path, newName, mode);
  if (stream == nullptr) return StatusFailed;
  file.file_ = stream;
  file.path_ = std::move(oldPath);
  file.newPath_ = std::move(newPath);
#ifndef _WIN32
  // The backup pass hands its text over in pieces of 64 KiB: a buffer in the
  // stream would only copy them once more.
  if (writing) std::setvbuf(stream, nullptr, _IONBF, 0);
#endif
  return StatusOk;
}

ReadOutcome TextFile::ReadLine(std::string& line, std::size_t maxChars) {
  line.clear();
  if (file_ == nullptr || maxChars == 0) return ReadOutcome::Error;
  const auto read = TextFileSystem().read;
  while (line.size() < maxChars) {
    int c = read(file_);
    if (c == EOF) break;
    if (c == kReadFailed) return ReadOutcome::Error;
    if (c == '\r') {
      const int next = read(file_);
      if (next == kReadFailed) return ReadOutcome::Error;
      if (next == '\n') {
        c = '\n';
      } else if (next != EOF) {
        std::ungetc(next, file_);
      }
    }
    line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return line.empty() ? ReadOutcome::End : ReadOutcome::Line;
}

Status TextFile::Close(const BeforeReplace& beforeReplace) {
  if (file_ == nullptr) return StatusOk;
  const TextFileCalls& calls = TextFileSystem();
  std::FILE* const stream = std::exchange(file_, nullptr);
  const bool replacing = !path_.empty();
  const bool closed = calls.close(stream, replacing && !failed_) == 0;
  // The stream's buffer, where Open gave it one, is let go only after the
  // stream that used it.
  buffer_.reset();
  bool complete = closed && !failed_;
  if (replacing) {
    // The new file replaces the old one only when it is whole on the disk,
    // and is removed however the step before ends, memory running out too.
    try {
      complete = complete && (!beforeReplace || beforeReplace(newPath_, path_));
    } catch (...) {
      calls.remove(newPath_);
      path_.clear();
      newPath_.clear();
      failed_ = false;
      throw;
    }
    complete = complete && calls.rename(newPath_, path_);
    if (!complete) calls.remove(newPath_);
    path_.clear();
    newPath_.clear();
  }
  failed_ = false;
  return complete ? StatusOk : StatusFailed;
}

}  // namespace kestrel
