// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "tools/common/unique_fd.h"
#include "tools/csv/kestrel_csv_input.h"

// The text-file layer opens by path. The file is checked on a descriptor of
// our own and handed over as /proc/self/fd/N, which opens that same file, so
// what was checked is what is read even if the name is changed meanwhile.

namespace kestrel::cli {
namespace {

std::string Reason() { return std::strerror(errno); }

std::string DescriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// Reads at most `limit` bytes from `fd` into `text`; false on a failed read.
bool ReadUpTo(int fd, std::size_t limit, std::string& text) {
  text.clear();
  char buffer[65536];
  while (text.size() < limit) {
    const std::size_t want = std::min(sizeof buffer, limit - text.size());
    const ssize_t got = ::read(fd, buffer, want);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

// Opens `path` without blocking into *fd when it is a regular file; its
// size in *size.
bool OpenRegular(const std::string& path, UniqueFd* fd, std::uint64_t* size, std::string* error) {
  if (path.find('\0') != std::string::npos) {
    *error = "cannot read: a NUL in the name";
    return false;
  }
  *fd = UniqueFd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd->Get() < 0) {
    *error = "cannot read: " + Reason();
    return false;
  }
  struct stat info {};
  if (::fstat(fd->Get(), &info) != 0) {
    *error = "cannot read: " + Reason();
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    *error = S_ISDIR(info.st_mode) ? "not a regular file: it is a folder" : "not a regular file";
    return false;
  }
  *size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

// Standard input to its end, at most kMaxConvertedInput bytes. It can be
// read only once, and a command may look at its input twice (to-import tells
// the form first), so what was read is kept for the rest of the run.
bool ReadStandardInput(std::string* text, std::string* error) {
  static std::optional<std::string> kept;
  if (!kept) {
    std::string read;
    if (!ReadUpTo(STDIN_FILENO, kMaxConvertedInput, read)) {
      *error = "cannot read: " + Reason();
      return false;
    }
    kept = std::move(read);
  }
  *text = *kept;
  return true;
}

}  // namespace

struct CsvInputSource {
  UniqueFd source;     // the file as opened
  UniqueFd converted;  // the converted text, when there is one
};

CsvInput::CsvInput() = default;
CsvInput::~CsvInput() = default;

bool ReadCsvFile(const std::string& path, std::size_t limit, std::string* text,
                 std::string* error) {
  if (IsStandardInput(path)) {
    if (!ReadStandardInput(text, error)) return false;
    if (text->size() > limit) text->resize(limit);
    return true;
  }
  UniqueFd fd;
  std::uint64_t size = 0;
  if (!OpenRegular(path, &fd, &size, error)) return false;
  if (size > limit) {
    *error = "too large: " + std::to_string(size) + " bytes, at most " + std::to_string(limit) +
             " are read";
    return false;
  }
  if (!ReadUpTo(fd.Get(), limit, *text)) {
    *error = "cannot read: " + Reason();
    return false;
  }
  return true;
}

bool OpenCsvInput(const std::string& path, CharsetConverter* toHandheld, CsvInput* input,
                  std::string* error) {
  input->source = std::make_unique<CsvInputSource>();
  CsvInputSource& held = *input->source;
  std::uint64_t size = 0;
  const bool fromStdin = IsStandardInput(path);
  if (!fromStdin && !OpenRegular(path, &held.source, &size, error)) return false;
  int readFrom = held.source.Get();
  // Standard input, which may be a pipe, is read into memory like a text
  // that is converted.
  if (fromStdin || toHandheld != nullptr) {
    std::string raw;
    if (fromStdin ? !ReadStandardInput(&raw, error)
                  : !ReadUpTo(held.source.Get(), kMaxConvertedInput, raw)) {
      if (!fromStdin) *error = "cannot read: " + Reason();
      return false;
    }
    std::string text;
    if (toHandheld != nullptr) {
      toHandheld->Convert(raw, text, &input->replacedLines, true);
    } else {
      text = std::move(raw);
    }
    held.converted = UniqueFd(::memfd_create("kestrel-csv", MFD_CLOEXEC));
    if (held.converted.Get() < 0 || !WriteAll(held.converted.Get(), text)) {
      *error = "cannot convert: " + Reason();
      return false;
    }
    readFrom = held.converted.Get();
  }
  if (kestrel::OpenTextFile(input->file, TextFileMode::Read, DescriptorPath(readFrom)) !=
      StatusOk) {
    *error = "cannot read";
    return false;
  }
  return true;
}

}  // namespace kestrel::cli
