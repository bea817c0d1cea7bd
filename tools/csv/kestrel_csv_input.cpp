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

}  // namespace

bool OpenCsvInput(const std::string& path, CharsetConverter* toHandheld, CsvInput* input,
                  std::string* error) {
  if (path.find('\0') != std::string::npos) {
    *error = "cannot read: a NUL in the name";
    return false;
  }
  input->source = UniqueFd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (input->source.Get() < 0) {
    *error = "cannot read: " + Reason();
    return false;
  }
  struct stat info {};
  if (::fstat(input->source.Get(), &info) != 0) {
    *error = "cannot read: " + Reason();
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    *error = "not a regular file";
    return false;
  }
  int readFrom = input->source.Get();
  if (toHandheld != nullptr) {
    std::string raw;
    if (!ReadUpTo(input->source.Get(), kMaxConvertedInput, raw)) {
      *error = "cannot read: " + Reason();
      return false;
    }
    std::string text;
    toHandheld->Convert(raw, text, &input->replacedLines, true);
    input->converted = UniqueFd(::memfd_create("kestrel-csv", MFD_CLOEXEC));
    if (input->converted.Get() < 0 || !WriteAll(input->converted.Get(), text)) {
      *error = "cannot convert: " + Reason();
      return false;
    }
    readFrom = input->converted.Get();
  }
  if (kestrel::OpenTextFile(input->file, TextFileMode::Read, DescriptorPath(readFrom)) !=
      StatusOk) {
    *error = "cannot read";
    return false;
  }
  return true;
}

}  // namespace kestrel::cli
