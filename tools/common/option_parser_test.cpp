// SPDX-License-Identifier: MIT
// The option-table parser: a table of argument lists with what each gives,
// and the help lines made from the table.
#include "tools/common/option_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel::cli {
namespace {

using Args = std::vector<std::string>;

const std::vector<OptionDefinition> kTable = {
    {"data-folder", '\0', "DIR", "a folder", "use DIR"},
    {"dry-run", 'n', "", "", "change nothing"},
    {"log", 'l', "FILE", "a file", "append the log to FILE;\n\"-\" is standard output"},
    {"quiet", 'q', "", "", "no summary"},
    {"charset", '\0', "NAME", "a character set", "the desktop's set"},
    {"charset-check", '\0', "", "", "a name that starts another"},
    {"handheld-charset", '\0', "NAME", "a character set", "the handheld's set"},
};

// The parse as one string: each option's long name and value, then the
// operands, e.g. "dry-run log=x | hh".
std::string Shown(const ParsedArguments& parsed) {
  std::string text;
  for (const FoundOption& found : parsed.options) {
    text += std::string(kTable[found.row].name);
    if (!found.value.empty()) text += "=" + found.value;
    text += " ";
  }
  text += "|";
  for (const std::string& operand : parsed.operands) text += " " + operand;
  return text;
}

TEST(ParseOptions, AcceptsTheUsualForms) {
  const std::vector<std::pair<Args, std::string>> cases = {
      {{"hh"}, "| hh"},
      {{"--dry-run", "hh"}, "dry-run | hh"},
      {{"--dry", "hh"}, "dry-run | hh"},
      {{"--dr"}, "dry-run |"},
      {{"--data-fold", "/d", "hh"}, "data-folder=/d | hh"},
      {{"--data-folder=/d=e"}, "data-folder=/d=e |"},
      {{"--l=x"}, "log=x |"},
      {{"-nq", "hh"}, "dry-run quiet | hh"},
      {{"-qlx"}, "quiet log=x |"},
      {{"-l", "x", "-n"}, "log=x dry-run |"},
      {{"-", "--", "-n", "--log"}, "| - -n --log"},
      {{"hh", "-n", "-n"}, "dry-run dry-run | hh"},
      // An exact name is taken even when it starts a longer one.
      {{"--charset", "UTF-8"}, "charset=UTF-8 |"},
      {{"--charset-"}, "charset-check |"},
      {{"--h", "CP1252"}, "handheld-charset=CP1252 |"},
  };
  for (const auto& [args, shown] : cases) {
    ParsedArguments parsed;
    std::string error;
    ASSERT_TRUE(ParseOptions(kTable, args, "prog", &parsed, &error)) << shown << ": " << error;
    EXPECT_EQ(Shown(parsed), shown) << args[0];
  }
}

TEST(ParseOptions, RefusesWithOneLineSayingWhatToType) {
  const std::vector<std::pair<Args, std::string>> cases = {
      {{"--dry-rn"}, "unknown option --dry-rn; did you mean --dry-run?"},
      {{"--dryrun=1"}, "unknown option --dryrun; did you mean --dry-run?"},
      {{"--verbose"}, "unknown option --verbose (see prog --help)"},
      {{"--qiuet"}, "unknown option --qiuet; did you mean --quiet?"},
      {{"--x\x1b"}, "unknown option --x\\x1b (see prog --help)"},
      {{"-x"}, "unknown option -x (see prog --help)"},
      {{"-nx"}, "unknown option -x (see prog --help)"},
      {{"-dry-run"}, "unknown option -d in -dry-run; did you mean --dry-run?"},
      {{"-quiet"}, "unknown option -u in -quiet; did you mean --quiet?"},
      {{"--d"},
       "option --d is ambiguous: it may be --data-folder or --dry-run; type more of its name"},
      {{"--c"},
       "option --c is ambiguous: it may be --charset or --charset-check; type more of its name"},
      {{"--log"}, "--log needs a file (see prog --help)"},
      {{"-l"}, "--log needs a file (see prog --help)"},
      {{"--log="}, "--log needs a file (see prog --help)"},
      {{"--data-folder", ""}, "--data-folder needs a folder (see prog --help)"},
      {{"--log", "a", "-lb"}, "--log given twice"},
      {{"--quiet=yes"}, "--quiet takes no value (see prog --help)"},
      {{"--qu=yes"}, "--quiet takes no value (see prog --help)"},
  };
  for (const auto& [args, message] : cases) {
    ParsedArguments parsed;
    parsed.operands = {"untouched"};
    std::string error;
    EXPECT_FALSE(ParseOptions(kTable, args, "prog", &parsed, &error)) << message;
    EXPECT_EQ(error, message);
    EXPECT_EQ(parsed.operands, Args{"untouched"});
  }
}

TEST(NearestName, OnlyWhatIsCloseEnoughToBeASlip) {
  const std::vector<std::string_view> names = {"charset", "handheld-charset", "data-folder", "log"};
  EXPECT_EQ(NearestName(names, "charest"), "charset");
  EXPECT_EQ(NearestName(names, "data_folder"), "data-folder");
  EXPECT_EQ(NearestName(names, "lg"), "log");
  EXPECT_EQ(NearestName(names, "color"), "");
  EXPECT_EQ(NearestName({}, "log"), "");
}

TEST(OptionsHelp, OneOptionALineAndTheTextInOneColumn) {
  EXPECT_EQ(OptionsHelp(kTable),
            "  --data-folder DIR   use DIR\n"
            "  -n, --dry-run       change nothing\n"
            "  -l, --log FILE      append the log to FILE;\n"
            "                      \"-\" is standard output\n"
            "  -q, --quiet         no summary\n"
            "  --charset NAME      the desktop's set\n"
            "  --charset-check     a name that starts another\n"
            "  --handheld-charset NAME\n"
            "                      the handheld's set\n");
}

}  // namespace
}  // namespace kestrel::cli
