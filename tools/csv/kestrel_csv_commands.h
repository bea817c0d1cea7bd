// SPDX-License-Identifier: MIT
// The kestrel-csv commands, for kestrel_csv.cpp, which parses the
// arguments and opens the character sets. Internal to tools/csv/.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "tools/common/charset.h"
#include "tools/csv/plan/civil_date.h"

namespace kestrel::cli {

// What a command is given.
struct CsvRun {
  std::string path;                 // FILE as given
  std::string shownPath;            // FILE escaped for messages
  CharsetPair* charsets = nullptr;  // with --charset, else nullptr
  std::string handheldCharset;      // its name, for messages
  std::ostream& out;
  std::ostream& err;
  std::string charsetName;               // --charset NAME, or empty
  bool dayFirst = false;                 // --day-first
  bool html = false;                     // --html
  std::optional<plan::CivilDate> today;  // --today

  // Writes "kestrel-csv: FILE:LINE: TEXT" and a line break to `err`.
  void Warn(int line, const std::string& text) const;
  // Writes "kestrel-csv: FILE: TEXT" and a line break to `err`.
  void Refuse(const std::string& text) const;
  // `text` in the desktop's set: converted with --charset, else as it is.
  std::string ToDesktop(const std::string& text) const;
};

int RunCheck(const CsvRun& run);
// to-import of a backup file.
int RunToImport(const CsvRun& run);
int RunShow(const CsvRun& run);

}  // namespace kestrel::cli
