// SPDX-License-Identifier: MIT
// kestrel-sync's --charset: the conduit's text files as the desktop keeps
// them. The conduit reads and writes bytes in the handheld's character set;
// with --charset the Linux host's text-file layer converts a backup file's
// name and text to the desktop's set as they are written, and an import
// file's text to the handheld's set as it is read. Characters that cannot be
// converted become "?" and are counted for the summary.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tools/common/charset.h"

namespace kestrel::cli {

class CharsetFiles {
 public:
  // Converts with `pair`; the names are the two sets' names, for messages.
  CharsetFiles(CharsetPair pair, std::string desktopName, std::string handheldName);

  // `path` with its file name (what follows the last "/") converted from the
  // handheld's set to the desktop's; the folder is the desktop's already.
  std::string DesktopPath(std::string_view path) const;
  // A file name converted from the handheld's set to the desktop's.
  std::string DesktopName(std::string_view name) const;

  // The bytes of the import file at `path` as the conduit is to read them:
  // in the handheld's set, a byte-order mark at the start left out.
  std::string ImportText(std::string_view bytes, std::string_view path);

  // Counts the characters of the file name of `path` (a backup file's, in
  // the handheld's set) that the desktop's set cannot hold; counted once a
  // file, however often it is opened.
  void CountName(std::string_view path);

  // Text that the conduit writes to the backup file at `path` (the desktop
  // path), in the desktop's set.
  std::string BackupText(std::string_view text, std::string_view path);

  // Notes that `handheldPath`, the backup `desktopPath` under its name in the
  // handheld's bytes (as a sync without --charset writes it), is there too.
  void NoteOtherSetFile(std::string_view handheldPath, std::string_view desktopPath);

  // One line for each file in which characters became "?", and one for each
  // backup that has a twin in the handheld's character set, without the
  // program name or a line break, and not escaped, e.g. `3 characters of /d/import.csv that
  // WINDOWS-1252 cannot hold were read as "?"`, then one for each file name.
  std::vector<std::string> SummaryLines() const;

 private:
  struct Count {
    std::string path;
    bool import = false;
    std::size_t replaced = 0;
  };
  void Add(std::string_view path, bool import, std::size_t replaced);

  CharsetPair pair_;
  std::string desktopName_;
  std::string handheldName_;
  std::vector<Count> counts_;
  std::vector<Count> names_;  // by the desktop path of the file
  std::vector<std::pair<std::string, std::string>> twins_;  // handheld path, desktop path
};

}  // namespace kestrel::cli
