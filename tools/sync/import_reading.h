// SPDX-License-Identifier: MIT
// The import file as the conduit's import reads it, line by line, for the
// summary: which lines were rejected, which read other than a user may
// think (a quoted field, NUL bytes, UTF-16), and whether text lies past the
// 100 lines the import takes.
#pragma once

#include <string>
#include <vector>

namespace kestrel::cli {

struct ImportReading {
  bool read = false;      // false: it could not be opened or read, see error
  std::string error;      // why, without the file's name
  int lines = 0;          // lines the import takes
  std::vector<int> rejected;  // numbers of the lines the import skips
  std::vector<int> quoted;    // a field that begins with a quotation mark
  std::vector<int> nuls;      // lines holding NUL bytes
  bool utf16 = false;         // a UTF-16 byte-order mark, or NULs between ASCII characters
  bool beyond = false;        // text past the lines the import takes
};

// Reads `path` through the same text file layer and line rule as the import.
ImportReading ReadImportFile(const std::string& path);

// "line 3", "lines 3 and 5", "lines 3, 5 and 8".
std::string LineNumbers(const std::vector<int>& numbers);

}  // namespace kestrel::cli
