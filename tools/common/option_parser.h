// SPDX-License-Identifier: MIT
// The command-line conventions both commands follow, from a table of their
// options: long names typed in full or cut to any unique prefix, a value as
// "--name VALUE" or "--name=VALUE", short flags bundled ("-nq"), "--" ending
// the options, an unknown name answered with the nearest known one, and the
// options' part of --help made from the same table. Portable; no I/O.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::cli {

// What a shell may complete an option's value with.
enum class ValueKind { None, File, Folder, Charset };

// One option as the user sees it.
struct OptionDefinition {
  std::string_view name;   // the long name without its dashes, e.g. "dry-run"
  char shortName = '\0';   // '\0' for none
  std::string_view value;  // the value's name in help ("FILE"); empty for a flag
  std::string_view needs;  // what a missing value is called ("a file")
  std::string_view help;   // its help text; '\n' starts another line
  ValueKind kind = ValueKind::None;
};

// One option found in the arguments: its row in the table and its value.
struct FoundOption {
  std::size_t row = 0;
  std::string value;  // empty for a flag
};

struct ParsedArguments {
  std::vector<FoundOption> options;   // in the order given
  std::vector<std::string> operands;  // everything that is not an option; "-" is one
};

// Parses `args` against `table`. A value option given twice, an unknown or
// ambiguous name, a flag given a value and a missing or empty value are
// refused: false with *error one line (names escaped, without the program
// name) saying what to type instead; `program` names the command in the
// "(see PROGRAM --help)" hint.
bool ParseOptions(const std::vector<OptionDefinition>& table, const std::vector<std::string>& args,
                  std::string_view program, ParsedArguments* parsed, std::string* error);

// The known long option nearest to `typed` ("--dry-rn" -> "--dry-run"), or
// empty when none is close enough to be what was meant.
std::string NearestOption(const std::vector<OptionDefinition>& table, std::string_view typed);

// The nearest of `names` to `typed`, or empty when none is close: what an
// unknown key or command was likely meant to be.
std::string NearestName(const std::vector<std::string_view>& names, std::string_view typed);

// The lines of --help that list `table`, one option each ("  -n, --dry-run",
// its help from column 22, further lines of it indented as far), each
// ending in a line break.
std::string OptionsHelp(const std::vector<OptionDefinition>& table);

}  // namespace kestrel::cli
