#include "tools/csv/kestrel_csv_input.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

bool Fail(std::string* error, std::string message) {
  *error = std::move(message);
  return false;
}

// Opens a named file into input->source: regular files only.
bool OpenNamed(const std::string& path, CsvInput* input, std::string* error) {
  if (path.find('\0') != std::string::npos) return Fail(error, "cannot read: a NUL in the name");
  input->source = UniqueFd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (input->source.Get() < 0) return Fail(error, "cannot read: " + Reason());
  struct stat info {};
  if (::fstat(input->source.Get(), &info) != 0) return Fail(error, "cannot read: " + Reason());
  if (!S_ISREG(info.st_mode)) return Fail(error, "not a regular file");
  return true;
}

// Reads at most kMaxConvertedInput bytes of input->source, converts them
// with `toHandheld` when given, and keeps the result in input->converted,
// a file in memory.
bool CopyIntoMemory(CharsetConverter* toHandheld, CsvInput* input, std::string* error) {
  std::string raw;
  if (!ReadUpTo(input->source.Get(), kMaxConvertedInput, raw)) {
    return Fail(error, "cannot read: " + Reason());
  }
  std::string text;
  if (toHandheld != nullptr) {
    toHandheld->Convert(raw, text, &input->replacedLines, true);
  } else {
    text = std::move(raw);
  }
  input->converted = UniqueFd(::memfd_create("kestrel-csv", MFD_CLOEXEC));
  if (input->converted.Get() < 0 || !WriteAll(input->converted.Get(), text)) {
    return Fail(error, "cannot keep the input in memory: " + Reason());
  }
  return true;
}

}  // namespace

bool IsStandardInput(const std::string& path) { return path == "-" || path == "/dev/stdin"; }

bool OpenCsvInput(const std::string& path, CharsetConverter* toHandheld, CsvInput* input,
                  std::string* error) {
  const bool fromStdin = IsStandardInput(path);
  if (fromStdin) {
    input->source = UniqueFd(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0));
    if (input->source.Get() < 0) return Fail(error, "cannot read: " + Reason());
  } else if (!OpenNamed(path, input, error)) {
    return false;
  }
  int readFrom = input->source.Get();
  if (fromStdin || toHandheld != nullptr) {
    if (!CopyIntoMemory(toHandheld, input, error)) return false;
    readFrom = input->converted.Get();
  }
  if (kestrel::OpenTextFile(input->file, TextFileMode::Read, DescriptorPath(readFrom)) !=
      StatusOk) {
    return Fail(error, "cannot read");
  }
  return true;
}

}  // namespace kestrel::cli
