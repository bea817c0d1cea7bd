// SPDX-License-Identifier: MIT
// kestrel-csv: what a user needs around the conduit's text files. `check`
// shows what an import file will become, line by line, read by the conduit's
// own code; `to-import` turns a backup file, a project XML file or a
// spreadsheet's CSV file into an import file; `to-project` turns a backup
// file into project XML for the desktop planners; `chart` draws a plan as
// SVG; `show` prints a handheld file's tasks in the backup form. The CSV
// forms are read and written in a desktop character set when --charset (or
// the settings file's charset) is given; XML and SVG are UTF-8. FILE "-" is
// standard input.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/common/message_escape.h"
#include "tools/common/option_parser.h"
#include "tools/common/settings_file.h"

namespace kestrel::cli {

inline constexpr char kCsvProgramName[] = "kestrel-csv";

inline constexpr int kCsvExitClean = 0;     // nothing to report
inline constexpr int kCsvExitWarnings = 1;  // lines reported on standard error
inline constexpr int kCsvExitError = 2;     // the file could not be read, or wrong arguments

struct CsvOptions {
  std::string command;                         // check, to-import, to-project, chart or show
  std::optional<std::string> charset;          // --charset NAME
  std::optional<std::string> handheldCharset;  // --handheld-charset NAME
  std::optional<std::string> today;            // --today YYYY-MM-DD
  bool dayFirst = false;                       // --day-first
  bool html = false;                           // --html
  std::string file;                            // "-" is standard input
  bool help = false;                           // -h, --help
  bool version = false;                        // -V, --version
  bool noConfig = false;                       // --no-config
};

// The options and the commands, as the parser, --help and the shell's
// completion see them.
std::vector<OptionDefinition> CsvOptionDefinitions();
std::vector<std::string_view> CsvCommandNames();

// Parses the arguments after the program name, by the conventions of
// option_parser.h: a command, and options before or after FILE. False with
// *error a one-line message for what the parser refuses, an unknown command,
// an option the command does not take, or a missing or second FILE.
bool ParseCsvArguments(const std::vector<std::string>& args, CsvOptions* options,
                       std::string* error);

// The text that --help prints, ending in a line break.
std::string CsvUsageText();

// Runs kestrel-csv with `args` (after the program name), writing to `out` and
// `err`, the settings file found through `env`; returns its exit status.
int RunKestrelCsv(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const EnvLookup& env = ProcessEnv);

// One backup line turned into the import form, as to-import writes it.
struct ImportLine {
  std::string text;                   // the import line, without a line break
  bool written = false;               // false when the line is left out
  std::vector<std::string> problems;  // why it does not come back exactly
};

// The import form of one line of a backup file (no line break), its text
// fields in the handheld's set; `converted` when they were converted from the
// desktop's set (--charset).
ImportLine BackupLineToImport(std::string_view backupLine, bool converted = false);

}  // namespace kestrel::cli
