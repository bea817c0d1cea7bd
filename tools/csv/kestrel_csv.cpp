// SPDX-License-Identifier: MIT
// kestrel-csv's outline: its options and commands from one table each, the
// help made from them, the settings file's character sets, and running the
// command asked for.
#include "tools/csv/kestrel_csv.h"

#ifdef _WIN32
#include <io.h>

#include <cstdio>
#else
#include <unistd.h>
#endif

#include <algorithm>

#include "product_version.h"
#include "tools/csv/kestrel_csv_commands.h"
#include "tools/csv/kestrel_csv_input.h"
#include "tools/csv/kestrel_csv_plan.h"

namespace kestrel::cli {
namespace {

bool Fail(std::string* error, std::string message) {
  *error = std::move(message);
  return false;
}

std::string SeeHelp() { return std::string(" (see ") + kCsvProgramName + " --help)"; }

// The commands, one bit each, for the options each takes.
enum Takes : unsigned {
  kCheck = 1,
  kToImport = 2,
  kToProject = 4,
  kChart = 8,
  kShow = 16,
  kAll = 31,
};

// The commands that read or write XML or SVG, whose text is converted from
// the handheld's set even without --charset.
constexpr unsigned kConvertsWithoutCharset = kToImport | kToProject | kChart;

// One option: how the user sees it, where it goes, and the commands that
// take it. A new option is one more row.
struct CsvOptionRow {
  OptionDefinition definition;
  bool CsvOptions::*flag;
  std::optional<std::string> CsvOptions::*text;
  unsigned commands;
};

const CsvOptionRow kOptions[] = {
    {{"charset", '\0', "NAME", "a character set",
      "the CSV files are in character set NAME (e.g. UTF-8);\n"
      "without it every byte is taken as the handheld's; \"none\"\n"
      "turns a configured set off for this run",
      ValueKind::Charset},
     nullptr,
     &CsvOptions::charset,
     kAll},
    {{"handheld-charset", '\0', "NAME", "a character set",
      "the handheld's character set (default WINDOWS-1252);\n"
      "for check and show only with --charset; XML and SVG\n"
      "are converted from it when --charset is not given",
      ValueKind::Charset},
     nullptr,
     &CsvOptions::handheldCharset,
     kAll},
    {{"day-first", '\0', "", "", "to-import: spreadsheet dates as day/month/year"},
     &CsvOptions::dayFirst,
     nullptr,
     kToImport},
    {{"html", '\0', "", "", "chart: an HTML page with a table of the tasks"},
     &CsvOptions::html,
     nullptr,
     kChart},
    {{"today", '\0', "YYYY-MM-DD", "a date YYYY-MM-DD", "chart: the day the line for today marks"},
     nullptr,
     &CsvOptions::today,
     kChart},
    {{"no-config", '\0', "", "", "read no settings file"}, &CsvOptions::noConfig, nullptr, kAll},
    {{"help", 'h', "", "", "print this help"}, &CsvOptions::help, nullptr, kAll},
    {{"version", 'V', "", "", "print the version"}, &CsvOptions::version, nullptr, kAll},
};

int RunToImportOfAny(const CsvRun& run);

// One command: its name, what it is given, its help, and what runs it. A
// new command is one more row.
struct CsvCommand {
  std::string_view name;
  Takes bit;
  std::string_view operand;
  std::string_view help;
  int (*run)(const CsvRun&);
};

const CsvCommand kCommands[] = {
    {"check", kCheck, "FILE",
     "reads FILE as the conduit reads import.csv and prints, for each line,\n"
     "its number and the task as it will be stored (in the backup form) or\n"
     "\"rejected\"; warns on standard error where a line is likely misread",
     RunCheck},
    {"to-import", kToImport, "FILE",
     "writes to standard output an import file of the tasks of FILE: a\n"
     "backup file, a project XML file or a spreadsheet's CSV file whose\n"
     "first line names the columns; names on standard error each task\n"
     "that the import cannot read back as it stands",
     RunToImportOfAny},
    {"to-project", kToProject, "BACKUP",
     "writes the tasks of the backup file BACKUP as project XML, which\n"
     "TaskJuggler, Planner and other planners read",
     RunToProject},
    {"chart", kChart, "FILE",
     "draws the plan of FILE (a backup file, an import file or project\n"
     "XML) as an SVG timeline on standard output",
     RunChart},
    {"show", kShow, "FILE.pdb",
     "prints the task records of a Palm database file as a sync would\n"
     "write them to its backup file",
     RunShow},
};

constexpr std::size_t kCommandColumn = 12;

constexpr char kAfterOptions[] =
    "\n"
    "FILE \"-\" is standard input, read to its end (at most 16 MiB). The settings\n"
    "file $XDG_CONFIG_HOME/kestrelplan/kestrel-sync.conf (~/.config when unset)\n"
    "gives charset and handheld-charset when the command line does not.\n"
    "Long options may be shortened to any unique beginning (--char for --charset);\n"
    "scripts are clearer with the full names.\n"
    "\n"
    "What was asked for goes to standard output; warnings and messages go to\n"
    "standard error.\n"
    "\n"
    "Exit status: 0 when there is nothing to report, 1 when lines were reported on\n"
    "standard error, 2 when the file cannot be read or the arguments are wrong.\n";

const CsvCommand* FindCommand(std::string_view name) {
  for (const CsvCommand& command : kCommands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

// to-import: a backup file as before, any other form through the plan.
int RunToImportOfAny(const CsvRun& run) {
  std::string text;
  if (!ReadPlanFile(run, &text)) return kCsvExitError;
  if (FormOfText(text) != PlanForm::Backup) return RunToImportOfPlan(run, text);
  run.Refuse("read as a backup file");
  return RunToImport(run);
}

bool CheckOperands(const std::vector<std::string>& operands, CsvOptions* parsed,
                   std::string* error) {
  if (operands.empty()) return Fail(error, "no command" + SeeHelp());
  parsed->command = operands[0];
  if (FindCommand(parsed->command) == nullptr) {
    const std::string nearest = NearestName(CsvCommandNames(), parsed->command);
    return Fail(error, "unknown command " + EscapeForMessage(parsed->command) +
                           (nearest.empty() ? SeeHelp() : "; did you mean " + nearest + "?"));
  }
  if (operands.size() < 2) return Fail(error, "no FILE" + SeeHelp());
  if (operands.size() > 2) return Fail(error, "more than one FILE" + SeeHelp());
  parsed->file = operands[1];
  return true;
}

// Checks what the options allow once the command is known.
bool CheckForCommand(const CsvOptions& parsed, const ParsedArguments& found, std::string* error) {
  const unsigned bit = FindCommand(parsed.command)->bit;
  for (const FoundOption& option : found.options) {
    const CsvOptionRow& row = kOptions[option.row];
    if ((row.commands & bit) == 0) {
      return Fail(error, "--" + std::string(row.definition.name) + " is not an option of " +
                             parsed.command + SeeHelp());
    }
  }
  if (parsed.today && !plan::ParseIsoDate(*parsed.today)) {
    return Fail(error, "--today needs a date YYYY-MM-DD, not " + EscapeForMessage(*parsed.today));
  }
  return true;
}

// The character sets in force: the command line's, else the settings file's.
bool ChooseRunCharsets(const CsvOptions& options, const EnvLookup& env, CharsetChoice* choice,
                       std::string* error) {
  Settings file;
#ifndef _WIN32
  if (!options.noConfig && !LoadSettings(env, &file, error)) return false;
#else
  (void)env;
#endif
  choice->charset = options.charset;
  choice->handheldCharset = options.handheldCharset;
  const bool handheldAlone = (FindCommand(options.command)->bit & kConvertsWithoutCharset) != 0;
  return ChooseCharsets(file, choice, error, handheldAlone);
}

#ifdef _WIN32
constexpr char kEndOfInput[] = "Ctrl-Z and Enter";
bool OnTerminal() { return _isatty(_fileno(stdin)) != 0; }
#else
constexpr char kEndOfInput[] = "Ctrl-D";
bool OnTerminal() { return ::isatty(STDIN_FILENO) == 1; }
#endif

int Print(std::ostream& out, const std::string& text) {
  out << text << std::flush;
  return out ? kCsvExitClean : kCsvExitError;
}

}  // namespace

std::vector<OptionDefinition> CsvOptionDefinitions() {
  std::vector<OptionDefinition> definitions;
  for (const CsvOptionRow& row : kOptions) definitions.push_back(row.definition);
  return definitions;
}

std::vector<std::string_view> CsvCommandNames() {
  std::vector<std::string_view> names;
  for (const CsvCommand& command : kCommands) names.push_back(command.name);
  return names;
}

bool ParseCsvArguments(const std::vector<std::string>& args, CsvOptions* options,
                       std::string* error) {
  ParsedArguments found;
  if (!ParseOptions(CsvOptionDefinitions(), args, kCsvProgramName, &found, error)) return false;
  CsvOptions parsed;
  for (const FoundOption& option : found.options) {
    const CsvOptionRow& row = kOptions[option.row];
    if (row.flag != nullptr) {
      parsed.*row.flag = true;
    } else {
      parsed.*row.text = option.value;
    }
  }
  if (!parsed.help && !parsed.version &&
      (!CheckOperands(found.operands, &parsed, error) || !CheckForCommand(parsed, found, error))) {
    return false;
  }
  *options = parsed;
  return true;
}

std::string CsvUsageText() {
  std::string text;
  for (const CsvCommand& command : kCommands) {
    text += std::string(text.empty() ? "Usage: " : "       ") + kCsvProgramName + " " +
            std::string(command.name) + " [OPTION]... " + std::string(command.operand) + "\n";
  }
  text += "\n";
  for (const CsvCommand& command : kCommands) {
    std::string name(command.name);
    name.resize(std::max(kCommandColumn, name.size() + 1), ' ');
    std::string help(command.help);
    for (std::size_t at = 0; (at = help.find('\n', at)) != std::string::npos; at += 1) {
      help.insert(at + 1, std::string(kCommandColumn, ' '));
    }
    text += name + help + "\n";
  }
  return text + "\nOptions:\n" + OptionsHelp(CsvOptionDefinitions()) + kAfterOptions;
}

void CsvRun::Warn(int line, const std::string& text) const {
  err << kCsvProgramName << ": " << shownPath << ':' << line << ": " << text << '\n';
}

void CsvRun::Refuse(const std::string& text) const {
  err << kCsvProgramName << ": " << shownPath << ": " << text << '\n';
}

std::string CsvRun::ToDesktop(const std::string& text) const {
  if (charsets == nullptr) return text;
  std::string converted;
  charsets->toDesktop->Convert(text, converted);
  return converted;
}

int RunKestrelCsv(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const EnvLookup& env) {
  CsvOptions options;
  std::string error;
  CharsetChoice choice;
  if (!ParseCsvArguments(args, &options, &error)) {
    err << kCsvProgramName << ": " << error << '\n';
    return kCsvExitError;
  }
  if (options.help) return Print(out, CsvUsageText());
  if (options.version) {
    return Print(out, std::string(kCsvProgramName) + " " + kProductVersion +
                          " (Kestrelplan conduit)\n" + kCopyrightNotice);
  }
  CharsetPair charsets;
  if (!ChooseRunCharsets(options, env, &choice, &error) ||
      (choice.charset &&
       !OpenCharsetPair(*choice.charset, choice.handheldCharset.value_or(kDefaultHandheldCharset),
                        &charsets, &error))) {
    err << kCsvProgramName << ": " << EscapeForMessage(error) << '\n';
    return kCsvExitError;
  }
  const bool fromStdin = IsStandardInput(options.file);
  const CsvRun run{options.file,
                   options.file == "-" ? "standard input" : EscapeForMessage(options.file),
                   choice.charset ? &charsets : nullptr,
                   choice.handheldCharset.value_or(kDefaultHandheldCharset),
                   out,
                   err,
                   choice.charset.value_or(""),
                   options.dayFirst,
                   options.html,
                   options.today ? plan::ParseIsoDate(*options.today) : std::nullopt};
  if (fromStdin && OnTerminal()) {
    err << kCsvProgramName << ": reading standard input; end it with " << kEndOfInput << std::endl;
  }
  const int status = FindCommand(options.command)->run(run);
  out.flush();
  if (!out) {
    run.Refuse("cannot write to standard output");
    return kCsvExitError;
  }
  return status;
}

}  // namespace kestrel::cli
