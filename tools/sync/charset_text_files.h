// SPDX-License-Identifier: MIT
// kestrel-sync --charset on Linux: puts the conversions of CharsetFiles in
// front of the text-file layer's system calls, so that the conduit reads and
// writes the handheld's bytes while its files are kept in the desktop's set:
// a backup file is created under its converted name and written converted,
// the import file is read whole (at most kMaxConvertedImport bytes, far more
// than the import reads) and served converted.
#pragma once

#include <cstddef>

#include "tools/sync/charset_files.h"

namespace kestrel::cli {

inline constexpr std::size_t kMaxConvertedImport = std::size_t{16} << 20;

// Converts for as long as it lives; the calls it replaced are restored when
// it goes. One at a time, on one thread, like the conduit.
class CharsetTextFileScope {
 public:
  explicit CharsetTextFileScope(CharsetFiles& files);
  ~CharsetTextFileScope();
  CharsetTextFileScope(const CharsetTextFileScope&) = delete;
  CharsetTextFileScope& operator=(const CharsetTextFileScope&) = delete;
};

}  // namespace kestrel::cli
