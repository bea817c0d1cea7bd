// How kestrel-csv opens the file it is given: without blocking, only when it
// is a regular file (a symbolic link to one is followed), and, with a
// converter, turned into the handheld's character set before any line of it
// is read. Linux.
#pragma once

#include <string>
#include <vector>

#include "platform/text_file.h"
#include "tools/common/charset.h"
#include "tools/common/unique_fd.h"

namespace kestrel::cli {

// The most of a file that is converted: far more than the import ever reads
// (100 lines of 4478 characters), and a bound on the memory taken.
inline constexpr std::size_t kMaxConvertedInput = std::size_t{16} << 20;

struct CsvInput {
  TextFile file;                   // the text, in the handheld's set when converted
  std::vector<int> replacedLines;  // the line of each character that became "?"
  UniqueFd source;                 // the file as opened
  UniqueFd converted;              // the converted text, when there is one
};

// Opens `path` for reading into `input`. With `toHandheld`, the first
// kMaxConvertedInput bytes of the file are converted (a byte-order mark at
// its start left out) and `input->file` reads the result. False with *error
// a one-line message ("cannot read: REASON", "not a regular file") when the
// file cannot be had.
bool OpenCsvInput(const std::string& path, CharsetConverter* toHandheld, CsvInput* input,
                  std::string* error);

}  // namespace kestrel::cli
