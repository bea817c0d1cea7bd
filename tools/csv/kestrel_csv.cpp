// kestrel-csv's outline: its options and commands from one table each, the
// help made from them, the settings file's character sets, and running the
// command asked for.
#include "tools/csv/kestrel_csv.h"

#include <unistd.h>

#include "product_version.h"
#include "tools/csv/kestrel_csv_commands.h"
#include "tools/csv/kestrel_csv_input.h"

namespace kestrel::cli {
namespace {

bool Fail(std::string* error, std::string message) {
  *error = std::move(message);
  return false;
}

std::string SeeHelp() { return std::string(" (see ") + kCsvProgramName + " --help)"; }

// One option: how the user sees it and where it goes. A new option is one
// more row.
struct CsvOptionRow {
  OptionSpec spec;
  bool CsvOptions::*flag;
  std::optional<std::string> CsvOptions::*text;
};

const CsvOptionRow kOptions[] = {
    {{"charset", '\0', "NAME", "a character set",
      "the text files are in character set NAME (e.g. UTF-8);\n"
      "without it every byte is taken as it is; \"none\" turns a\n"
      "configured set off for this run",
      ValueKind::Charset},
     nullptr, &CsvOptions::charset},
    {{"handheld-charset", '\0', "NAME", "a character set",
      "the handheld's character set (default WINDOWS-1252);\nonly with --charset",
      ValueKind::Charset},
     nullptr, &CsvOptions::handheldCharset},
    {{"no-config", '\0', "", "", "read no settings file"}, &CsvOptions::noConfig, nullptr},
    {{"help", 'h', "", "", "print this help"}, &CsvOptions::help, nullptr},
    {{"version", 'V', "", "", "print the version"}, &CsvOptions::version, nullptr},
};

// One command: its name, what it is given, its help, and what runs it. A
// new command is one more row.
struct CsvCommand {
  std::string_view name;
  std::string_view operand;
  std::string_view help;
  int (*run)(const CsvRun&);
};

const CsvCommand kCommands[] = {
    {"check", "FILE",
     "reads FILE as the conduit reads import.csv and prints, for each line,\n"
     "its number and the task as it will be stored (in the backup form) or\n"
     "\"rejected\"; warns on standard error where a line is likely misread",
     RunCheck},
    {"to-import", "BACKUP",
     "writes to standard output an import file that the conduit reads back\n"
     "to the tasks of the backup file BACKUP; names on standard error each\n"
     "line that cannot come back exactly",
     RunToImport},
};

constexpr std::size_t kCommandColumn = 11;

constexpr char kAfterOptions[] =
    "\n"
    "FILE or BACKUP \"-\" is standard input, read to its end (at most 16 MiB). The\n"
    "settings file $XDG_CONFIG_HOME/kestrelplan/kestrel-sync.conf (~/.config when\n"
    "unset) gives charset and handheld-charset when the command line does not.\n"
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

// The character sets in force: the command line's, else the settings file's.
bool ChooseRunCharsets(const CsvOptions& options, const EnvLookup& env, CharsetChoice* choice,
                       std::string* error) {
  Settings file;
  if (!options.noConfig && !LoadSettings(env, &file, error)) return false;
  choice->charset = options.charset;
  choice->handheldCharset = options.handheldCharset;
  return ChooseCharsets(file, choice, error);
}

int Print(std::ostream& out, const std::string& text) {
  out << text << std::flush;
  return out ? kCsvExitClean : kCsvExitError;
}

}  // namespace

std::vector<OptionSpec> CsvOptionSpecs() {
  std::vector<OptionSpec> specs;
  for (const CsvOptionRow& row : kOptions) specs.push_back(row.spec);
  return specs;
}

std::vector<std::string_view> CsvCommandNames() {
  std::vector<std::string_view> names;
  for (const CsvCommand& command : kCommands) names.push_back(command.name);
  return names;
}

bool ParseCsvArguments(const std::vector<std::string>& args, CsvOptions* options,
                       std::string* error) {
  ParsedArguments found;
  if (!ParseOptions(CsvOptionSpecs(), args, kCsvProgramName, &found, error)) return false;
  CsvOptions parsed;
  for (const FoundOption& option : found.options) {
    const CsvOptionRow& row = kOptions[option.row];
    if (row.flag != nullptr) {
      parsed.*row.flag = true;
    } else {
      parsed.*row.text = option.value;
    }
  }
  if (!parsed.help && !parsed.version && !CheckOperands(found.operands, &parsed, error)) {
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
  return text + "\nOptions:\n" + OptionsHelp(CsvOptionSpecs()) + kAfterOptions;
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
                   fromStdin && options.file == "-" ? "standard input"
                                                    : EscapeForMessage(options.file),
                   choice.charset ? &charsets : nullptr,
                   choice.handheldCharset.value_or(kDefaultHandheldCharset),
                   out,
                   err};
  if (fromStdin && ::isatty(STDIN_FILENO) == 1) {
    err << kCsvProgramName << ": reading standard input; end it with Ctrl-D" << std::endl;
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
