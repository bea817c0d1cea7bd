#include "tools/csv/kestrel_csv.h"

#include "product_version.h"
#include "tools/csv/kestrel_csv_commands.h"

namespace kestrel::cli {
namespace {

bool Fail(std::string* error, std::string message) {
  *error = std::move(message);
  return false;
}

std::string SeeHelp() { return std::string(" (see ") + kCsvProgramName + " --help)"; }

}  // namespace

bool ParseCsvArguments(const std::vector<std::string>& args, CsvOptions* options,
                       std::string* error) {
  CsvOptions parsed;
  std::vector<std::string> operands;
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
    std::optional<std::string>* slot = nullptr;
    if (name == "--charset") {
      slot = &parsed.charset;
    } else if (name == "--handheld-charset") {
      slot = &parsed.handheldCharset;
    } else {
      return Fail(error, "unknown option " + EscapeForMessage(name) + SeeHelp());
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return Fail(error, name + " needs a character set" + SeeHelp());
    }
    if (value.empty()) return Fail(error, name + " needs a character set" + SeeHelp());
    if (slot->has_value()) return Fail(error, name + " given twice");
    *slot = value;
  }
  if (parsed.help || parsed.version) {
    *options = parsed;
    return true;
  }
  if (operands.empty()) return Fail(error, "no command" + SeeHelp());
  parsed.command = operands[0];
  if (parsed.command != "check" && parsed.command != "to-import") {
    return Fail(error, "unknown command " + EscapeForMessage(parsed.command) + SeeHelp());
  }
  if (operands.size() < 2) return Fail(error, "no FILE" + SeeHelp());
  if (operands.size() > 2) return Fail(error, "more than one FILE" + SeeHelp());
  parsed.file = operands[1];
  if (parsed.handheldCharset && !parsed.charset) {
    return Fail(error, "--handheld-charset needs --charset");
  }
  *options = parsed;
  return true;
}

std::string CsvUsageText() {
  return "Usage: kestrel-csv check [--charset NAME] [--handheld-charset NAME] FILE\n"
         "       kestrel-csv to-import [--charset NAME] [--handheld-charset NAME] BACKUP\n"
         "\n"
         "check      reads FILE as the conduit reads import.csv and prints, for each line,\n"
         "           its number and the task as it will be stored (in the backup form) or\n"
         "           \"rejected\"; warns on standard error where a line is likely misread\n"
         "to-import  writes to standard output an import file that the conduit reads back\n"
         "           to the tasks of the backup file BACKUP; names on standard error each\n"
         "           line that cannot come back exactly\n"
         "\n"
         "  --charset NAME           the text files are in character set NAME (e.g. UTF-8);\n"
         "                           without it every byte is taken as it is\n"
         "  --handheld-charset NAME  the handheld's character set (default WINDOWS-1252);\n"
         "                           only with --charset\n"
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
                   err};
  const int status = options.command == "check" ? RunCheck(run) : RunToImport(run);
  out.flush();
  if (!out) {
    run.Refuse("cannot write to standard output");
    return kCsvExitError;
  }
  return status;
}

}  // namespace kestrel::cli
