// SPDX-License-Identifier: MIT
#include "tools/csv/kestrel_csv.h"

#include <algorithm>

#include "product_version.h"
#include "tools/csv/kestrel_csv_commands.h"
#include "tools/csv/kestrel_csv_plan.h"

namespace kestrel::cli {
namespace {

bool Fail(std::string* error, std::string message) {
  *error = std::move(message);
  return false;
}

std::string SeeHelp() { return std::string(" (see ") + kCsvProgramName + " --help)"; }

}  // namespace

namespace {

// The commands and the options each takes.
enum Takes : unsigned {
  kCheck = 1,
  kToImport = 2,
  kToProject = 4,
  kChart = 8,
  kShow = 16,
  kAll = 31,
};

struct CommandName {
  const char* name;
  Takes bit;
};
constexpr CommandName kCommands[] = {{"check", kCheck},
                                     {"to-import", kToImport},
                                     {"to-project", kToProject},
                                     {"chart", kChart},
                                     {"show", kShow}};

struct OptionSpec {
  const char* name;
  unsigned commands;
  std::optional<std::string> CsvOptions::*value;  // nullptr for a flag
  bool CsvOptions::*flag;
  const char* needs;  // what the value is, for messages
};
const OptionSpec kOptions[] = {
    {"--charset", kAll, &CsvOptions::charset, nullptr, "a character set"},
    {"--handheld-charset", kAll, &CsvOptions::handheldCharset, nullptr, "a character set"},
    {"--today", kChart, &CsvOptions::today, nullptr, "a date YYYY-MM-DD"},
    {"--day-first", kToImport, nullptr, &CsvOptions::dayFirst, nullptr},
    {"--html", kChart, nullptr, &CsvOptions::html, nullptr},
};

// The commands that read or write XML or SVG, whose text is converted from
// the handheld's set even without --charset.
constexpr unsigned kConvertsWithoutCharset = kToImport | kToProject | kChart;

unsigned CommandBit(const std::string& command) {
  for (const CommandName& known : kCommands) {
    if (command == known.name) return known.bit;
  }
  return 0;
}

// Checks what the options allow once the command is known.
bool CheckForCommand(const CsvOptions& parsed, const std::vector<std::string>& given,
                     std::string* error) {
  const unsigned bit = CommandBit(parsed.command);
  for (const std::string& name : given) {
    for (const OptionSpec& spec : kOptions) {
      if (name == spec.name && (spec.commands & bit) == 0) {
        return Fail(error, name + " is not an option of " + parsed.command + SeeHelp());
      }
    }
  }
  if (parsed.handheldCharset && !parsed.charset && (bit & kConvertsWithoutCharset) == 0) {
    return Fail(error, "--handheld-charset needs --charset");
  }
  if (parsed.today && !plan::ParseIsoDate(*parsed.today)) {
    return Fail(error, "--today needs a date YYYY-MM-DD, not " + EscapeForMessage(*parsed.today));
  }
  return true;
}

}  // namespace

bool ParseCsvArguments(const std::vector<std::string>& args, CsvOptions* options,
                       std::string* error) {
  CsvOptions parsed;
  std::vector<std::string> operands, given;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && (arg == "-h" || arg == "--help")) {
      parsed.help = true;
      continue;
    }
    if (!optionsEnded && (arg == "-V" || arg == "--version")) {
      parsed.version = true;
      continue;
    }
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& known : kOptions) {
      if (name == known.name) spec = &known;
    }
    if (spec == nullptr) return Fail(error, "unknown option " + EscapeForMessage(name) + SeeHelp());
    if (std::find(given.begin(), given.end(), name) != given.end()) {
      return Fail(error, name + " given twice");
    }
    given.push_back(name);
    if (spec->flag != nullptr) {
      if (equals != std::string::npos) return Fail(error, name + " takes no value" + SeeHelp());
      parsed.*(spec->flag) = true;
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return Fail(error, name + " needs " + spec->needs + SeeHelp());
    }
    if (value.empty()) return Fail(error, name + " needs " + spec->needs + SeeHelp());
    parsed.*(spec->value) = value;
  }
  if (parsed.help || parsed.version) {
    *options = parsed;
    return true;
  }
  if (operands.empty()) return Fail(error, "no command" + SeeHelp());
  parsed.command = operands[0];
  if (CommandBit(parsed.command) == 0) {
    return Fail(error, "unknown command " + EscapeForMessage(parsed.command) + SeeHelp());
  }
  if (operands.size() < 2) return Fail(error, "no FILE" + SeeHelp());
  if (operands.size() > 2) return Fail(error, "more than one FILE" + SeeHelp());
  parsed.file = operands[1];
  if (!CheckForCommand(parsed, given, error)) return false;
  *options = parsed;
  return true;
}

std::string CsvUsageText() {
  return "Usage: kestrel-csv check [--charset NAME] [--handheld-charset NAME] FILE\n"
         "       kestrel-csv to-import [--charset NAME] [--handheld-charset NAME] [--day-first] "
         "FILE\n"
         "       kestrel-csv to-project [--charset NAME] [--handheld-charset NAME] BACKUP\n"
         "       kestrel-csv chart [--charset NAME] [--handheld-charset NAME] [--html]\n"
         "                         [--today YYYY-MM-DD] FILE\n"
         "       kestrel-csv show [--charset NAME] [--handheld-charset NAME] FILE.pdb\n"
         "\n"
         "check       reads FILE as the conduit reads import.csv and prints, for each line,\n"
         "            its number and the task as it will be stored (in the backup form) or\n"
         "            \"rejected\"; warns on standard error where a line is likely misread\n"
         "to-import   writes to standard output an import file of the tasks of FILE: a\n"
         "            backup file, a project XML file or a spreadsheet's CSV file whose\n"
         "            first line names the columns; names on standard error each task\n"
         "            that the import cannot read back as it stands\n"
         "to-project  writes the tasks of the backup file BACKUP as project XML, which\n"
         "            TaskJuggler, Planner and other planners read\n"
         "chart       draws the plan of FILE (a backup file, an import file or project\n"
         "            XML) as an SVG timeline on standard output\n"
         "show        prints the task records of a Palm database file as a sync would\n"
         "            write them to its backup file\n"
         "\n"
         "  --charset NAME           the CSV files are in character set NAME (e.g. UTF-8);\n"
         "                           without it every byte is taken as the handheld's\n"
         "  --handheld-charset NAME  the handheld's character set (default WINDOWS-1252);\n"
         "                           for check and show only with --charset; XML and SVG\n"
         "                           are converted from it when --charset is not given\n"
         "  --day-first              to-import: spreadsheet dates as day/month/year\n"
         "  --html                   chart: an HTML page with a table of the tasks\n"
         "  --today YYYY-MM-DD       chart: the day the line for today marks\n"
         "  -h, --help               print this help\n"
         "  -V, --version            print the version\n"
         "\n"
         "Exit status: 0 when there is nothing to report, 1 when lines were reported on\n"
         "standard error, 2 when the file cannot be read or the arguments are wrong.\n";
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

namespace {

// to-import: a backup file as before, any other form through the plan.
int RunToImportOfAny(const CsvRun& run) {
  std::string text;
  if (!ReadPlanFile(run, &text)) return kCsvExitError;
  if (FormOfText(text) != PlanForm::Backup) return RunToImportOfPlan(run, text);
  run.Refuse("read as a backup file");
  return RunToImport(run);
}

int RunCommand(const std::string& command, const CsvRun& run) {
  if (command == "check") return RunCheck(run);
  if (command == "to-import") return RunToImportOfAny(run);
  if (command == "to-project") return RunToProject(run);
  if (command == "chart") return RunChart(run);
  return RunShow(run);
}

}  // namespace

int RunKestrelCsv(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CsvOptions options;
  std::string error;
  if (!ParseCsvArguments(args, &options, &error)) {
    err << kCsvProgramName << ": " << error << '\n';
    return kCsvExitError;
  }
  if (options.help) {
    out << CsvUsageText() << std::flush;
    return out ? kCsvExitClean : kCsvExitError;
  }
  if (options.version) {
    out << kCsvProgramName << ' ' << kProductVersion << " (Kestrelplan conduit)\n"
        << kCopyrightNotice << std::flush;
    return out ? kCsvExitClean : kCsvExitError;
  }
  CharsetPair charsets;
  const std::string handheld = options.handheldCharset.value_or(kDefaultHandheldCharset);
  if (options.charset && !OpenCharsetPair(*options.charset, handheld, &charsets, &error)) {
    err << kCsvProgramName << ": " << EscapeForMessage(error) << '\n';
    return kCsvExitError;
  }
  const CsvRun run{options.file,
                   EscapeForMessage(options.file),
                   options.charset ? &charsets : nullptr,
                   handheld,
                   out,
                   err,
                   options.charset.value_or(""),
                   options.dayFirst,
                   options.html,
                   options.today ? plan::ParseIsoDate(*options.today) : std::nullopt};
  const int status = RunCommand(options.command, run);
  out.flush();
  if (!out) {
    run.Refuse("cannot write to standard output");
    return kCsvExitError;
  }
  return status;
}

}  // namespace kestrel::cli
