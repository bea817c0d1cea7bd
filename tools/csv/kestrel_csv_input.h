// SPDX-License-Identifier: MIT
// How kestrel-csv opens the file it is given: without blocking, only when it
// is a regular file (a symbolic link to one is followed), or standard input
// read into memory; with a converter, turned into the handheld's character
// set before any line of it is read. One implementation for each system.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/text_file.h"
#include "tools/common/charset.h"

namespace kestrel::cli {

// The most of a file that is converted: far more than the import ever reads
// (100 lines of 4478 characters), and a bound on the memory taken.
inline constexpr std::size_t kMaxConvertedInput = std::size_t{16} << 20;

// What keeps the text that `file` reads there, each system's own.
struct CsvInputSource;

struct CsvInput {
  CsvInput();
  ~CsvInput();
  std::unique_ptr<CsvInputSource> source;  // outlives `file`, which reads it
  TextFile file;                           // the text, in the handheld's set when converted
  std::vector<int> replacedLines;          // the line of each character that became "?"
};

// Whether `path` names standard input: "-", or "/dev/stdin", which may be a
// pipe.
inline bool IsStandardInput(const std::string& path) {
  return path == "-" || path == "/dev/stdin";
}

// Opens `path` for reading into `input`. Standard input is read to its end,
// at most kMaxConvertedInput bytes, and `input->file` reads that copy as it
// would a file. With `toHandheld`, the first kMaxConvertedInput bytes of the
// input are converted (a byte-order mark at its start left out) and
// `input->file` reads the result. False with *error a one-line message
// ("cannot read: REASON", "not a regular file") when the input cannot be had.
bool OpenCsvInput(const std::string& path, CharsetConverter* toHandheld, CsvInput* input,
                  std::string* error);

// Reads the regular file at `path` (or standard input, to its end) whole
// into *text, opened as OpenCsvInput opens it. False with *error a one-line message ("cannot read: REASON",
// "not a regular file", "too large: N bytes, at most LIMIT are read").
bool ReadCsvFile(const std::string& path, std::size_t limit, std::string* text, std::string* error);

}  // namespace kestrel::cli
