// SPDX-License-Identifier: MIT
// kestrel-sync's options: the table they are parsed and shown from, the
// settings file merged under them, --help and --show-config.
#include <string>

#include "driver/data_folder.h"
#include "tools/common/charset.h"
#include "tools/sync/sync_cli.h"

namespace kestrel::cli {
namespace {

bool Fail(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
  return false;
}

// One option: how the user sees it, where it goes, and which OptionSet
// entry offers it. A new option is one more row.
struct OptionRow {
  OptionDefinition definition;
  bool SyncOptions::*flag;
  std::optional<std::string> SyncOptions::*text;
  bool OptionSet::*offeredBy;  // nullptr: always offered
};

const OptionRow kOptions[] = {
    {{"registry", '\0', "FILE", "a file",
      "read the data folder (\"Kestrelplan Path\") from this registry\n"
      "file; by default $KESTRELPLAN_REGISTRY, else the settings\n"
      "file's data-folder, else $XDG_CONFIG_HOME/kestrelplan/registry.reg",
      ValueKind::File},
     nullptr,
     &SyncOptions::registryFile,
     &OptionSet::registry},
    {{"data-folder", '\0', "DIR", "a folder",
      "use DIR as the data folder for this run, reading no registry", ValueKind::Folder},
     nullptr,
     &SyncOptions::dataFolder,
     &OptionSet::registry},
    {{"log", '\0', "FILE", "a file",
      "append the sync log to FILE instead of standard output;\n\"-\" is standard output",
      ValueKind::File},
     nullptr,
     &SyncOptions::logFile,
     nullptr},
    {{"dry-run", 'n', "", "",
      "run the whole sync but change nothing: backups go to a\n"
      "scratch folder, the handheld folder is not written, and\n"
      "what KestrelDB would hold is printed on standard output\n"
      "in the backup form; no sync log is written"},
     &SyncOptions::dryRun,
     nullptr,
     &OptionSet::dryRun},
    {{"list", '\0', "", "",
      "print each database of HANDHELD_DIR as the conduit sees\n"
      "it and whether a sync backs it up; changes nothing"},
     &SyncOptions::list,
     nullptr,
     &OptionSet::list},
    {{"charset", '\0', "NAME", "a character set",
      "keep the text files in character set NAME (e.g. UTF-8):\n"
      "backup files and their names are written in it and\n"
      "import.csv is read in it; without it every byte is kept;\n"
      "\"none\" turns a configured set off for this run",
      ValueKind::Charset},
     nullptr,
     &SyncOptions::charset,
     &OptionSet::charset},
    {{"handheld-charset", '\0', "NAME", "a character set",
      "the handheld's character set (default WINDOWS-1252)", ValueKind::Charset},
     nullptr,
     &SyncOptions::handheldCharset,
     &OptionSet::charset},
    {{"no-config", '\0', "", "", "read no settings file"},
     &SyncOptions::noConfig,
     nullptr,
     &OptionSet::config},
    {{"show-config", '\0', "", "",
      "print the settings in force, each with where it comes\nfrom, and exit"},
     &SyncOptions::showConfig,
     nullptr,
     &OptionSet::config},
    {{"quiet", 'q', "", "", "leave out the summary on standard error"},
     &SyncOptions::quiet,
     nullptr,
     nullptr},
    {{"timings", '\0', "", "",
      "print to standard error how long loading the handheld\n"
      "folder, the conduit and saving took"},
     &SyncOptions::timings,
     nullptr,
     nullptr},
    {{"help", 'h', "", "", "print this help"}, &SyncOptions::help, nullptr, nullptr},
    {{"version", 'V', "", "", "print the version"}, &SyncOptions::version, nullptr, nullptr},
};

std::vector<const OptionRow*> OfferedRows(const OptionSet& accepted) {
  std::vector<const OptionRow*> rows;
  for (const OptionRow& row : kOptions) {
    if (row.offeredBy == nullptr || accepted.*row.offeredBy) rows.push_back(&row);
  }
  return rows;
}

std::string SeeHelp() { return std::string(" (see ") + kProgramName + " --help)"; }

constexpr char kIntroPosix[] =
    "Runs one Kestrelplan synchronisation against the handheld kept as Palm database\n"
    "files (*.pdb, *.prc) in HANDHELD_DIR: backs up every task database into the data\n"
    "folder, imports the data folder's import.csv into KestrelDB, then writes back the\n"
    "databases that changed. One sync at a time uses a handheld folder.\n";

constexpr char kIntroWindows[] =
    "Runs one Kestrelplan synchronisation through kstlcond.dll against the handheld\n"
    "kept as Palm database files (*.pdb, *.prc) in HANDHELD_DIR: backs up every task\n"
    "database into the data folder, imports the data folder's import.csv into\n"
    "KestrelDB, then writes back the databases that changed. The data folder is the\n"
    "registry value \"Kestrelplan Path\" of\n"
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00.\n";

constexpr char kTyping[] =
    "\n"
    "Long options may be shortened to any unique beginning (--dry for --dry-run) and\n"
    "short ones bundled (-nq); scripts are clearer with the full names.\n";

constexpr char kSettings[] =
    "\n"
    "Settings: $XDG_CONFIG_HOME/kestrelplan/kestrel-sync.conf (~/.config when unset)\n"
    "may hold \"key = value\" lines for charset, handheld-charset, data-folder and log;\n"
    "an option on the command line wins over the file.\n";

constexpr char kStreams[] =
    "\n"
    "The sync log goes to standard output (or --log); a summary of what the sync did\n"
    "goes to standard error: the data folder, each task database's backup, the\n"
    "import, and the handheld files rewritten. --quiet leaves out the summary, never\n"
    "the sync log or what a dry run shows KestrelDB would hold.\n";

constexpr char kExitStatus[] =
    "\n"
    "Exit status:\n"
    "  0  the sync did its whole job: every task database was backed up, and the\n"
    "     import ran or the data folder holds no import file\n"
    "  1  the sync ran but something failed (a backup, the import, no data folder\n"
    "     configured); a one-line message says what\n"
    "  2  refused: bad arguments, an unusable handheld folder, registry file or log,\n"
    "     another sync using the handheld folder, a sync log that could not be\n"
    "     written, or a failed save; nothing in the handheld folder changed\n";

// Checks that need the whole command line.
bool CheckArguments(SyncOptions& parsed, const std::vector<std::string>& folders,
                    std::string* error) {
  if (parsed.registryFile && parsed.dataFolder) {
    return Fail(error, "--registry and --data-folder cannot be used together");
  }
  if (parsed.list && parsed.dryRun)
    return Fail(error, "--list and --dry-run cannot be used together");
  if (parsed.dataFolder && parsed.dataFolder->size() >= kDataFolderArea) {
    return Fail(error, "--data-folder is longer than " + std::to_string(kDataFolderArea - 1) +
                           " characters");
  }
  if (folders.size() > 1) {
    return Fail(error, "more than one handheld folder given: " + folders[0] + ", " + folders[1]);
  }
  if (folders.empty()) {
    if (!parsed.help && !parsed.version && !parsed.showConfig) {
      return Fail(error, "no handheld folder given" + SeeHelp());
    }
  } else {
    parsed.handheldDir = folders[0];
  }
  return true;
}

// "NAME = VALUE (from SOURCE)" and a line break.
std::string Shown(std::string_view name, std::string_view value, std::string_view source) {
  return std::string(name) + " = " + std::string(value) + " (" + std::string(source) + ")\n";
}

}  // namespace

std::vector<OptionDefinition> SyncOptionDefinitions(const OptionSet& accepted) {
  std::vector<OptionDefinition> definitions;
  for (const OptionRow* row : OfferedRows(accepted)) definitions.push_back(row->definition);
  return definitions;
}

bool ParseSyncArguments(const std::vector<std::string>& args, SyncOptions* options,
                        std::string* error, const OptionSet& accepted) {
  const std::vector<const OptionRow*> rows = OfferedRows(accepted);
  ParsedArguments found;
  if (!ParseOptions(SyncOptionDefinitions(accepted), args, kProgramName, &found, error))
    return false;
  SyncOptions parsed;
  for (const FoundOption& option : found.options) {
    const OptionRow& row = *rows[option.row];
    if (row.flag != nullptr) {
      parsed.*row.flag = true;
    } else {
      parsed.*row.text = option.value;
    }
  }
  if (!CheckArguments(parsed, found.operands, error)) return false;
  *options = std::move(parsed);
  return true;
}

bool ApplySettings(const Settings& file, SyncOptions* options, std::string* error) {
  options->settingsFile = file.path;
  if (options->logFile) {
    options->logSource = "--log";
  } else if (const SettingValue* log = file.Find("log")) {
    options->logFile = log->value;
    options->logSource = file.Source("log");
  }
  if (const SettingValue* folder = file.Find("data-folder")) {
    if (folder->value.size() >= kDataFolderArea) {
      return Fail(error, file.path + ":" + std::to_string(folder->line) +
                             ": data-folder is longer than " + std::to_string(kDataFolderArea - 1) +
                             " characters, the most the conduit reads");
    }
    options->configDataFolder = folder->value;
    options->configDataFolderSource = file.Source("data-folder");
  }
  options->charsets.charset = options->charset;
  options->charsets.handheldCharset = options->handheldCharset;
  if (!ChooseCharsets(file, &options->charsets, error)) return false;
  options->charset = options->charsets.charset;
  options->handheldCharset = options->charsets.handheldCharset;
  return true;
}

std::string UsageText(const OptionSet& accepted) {
  std::string text = "Usage: kestrel-sync [OPTION]... HANDHELD_DIR\n\n";
  text += accepted.registry ? kIntroPosix : kIntroWindows;
  text += "\nOptions:\n" + OptionsHelp(SyncOptionDefinitions(accepted)) + kTyping;
  if (accepted.config) text += kSettings;
  return text + kStreams + kExitStatus;
}

std::string ShowConfigText(const SyncOptions& options, const DataFolderSetting& setting) {
  const CharsetChoice& sets = options.charsets;
  std::string text;
  if (sets.charset) {
    text += Shown("charset", *sets.charset, "from " + sets.charsetSource);
    text += Shown("handheld-charset", sets.handheldCharset.value_or(kDefaultHandheldCharset),
                  sets.handheldCharset ? "from " + sets.handheldSource : "the default");
  } else {
    text += Shown("charset", "none",
                  sets.turnedOff ? "from " + sets.charsetSource + "; every byte is kept"
                                 : "the default; every byte is kept");
  }
  text += setting.folder ? Shown("data-folder", *setting.folder, "from " + setting.source)
                         : Shown("data-folder", "none", setting.problem.value_or("not set"));
  text += options.logFile ? Shown("log", *options.logFile, "from " + options.logSource)
                          : Shown("log", "-", "the default: standard output");
  if (options.noConfig) return text + "settings file: none read (--no-config)\n";
  if (options.settingsFile.empty()) return text + "settings file: none\n";
  return text + "settings file: " + options.settingsFile + "\n";
}

}  // namespace kestrel::cli
