// SPDX-License-Identifier: MIT
#include "tools/sync/sync_cli.h"

#include <cinttypes>
#include <cstdio>

#include "driver/data_folder.h"
#include "product_version.h"
#include "tools/common/message_escape.h"

namespace kestrel::cli {
namespace {

bool Fail(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
  return false;
}

// One option: its names, what its value is (nullptr for a flag), where it
// goes, and which OptionSet entry offers it. A new option is one more row.
struct OptionRow {
  const char* name;
  char shortName;  // '\0' for none
  const char* value;
  bool SyncOptions::*flag;
  std::optional<std::string> SyncOptions::*text;
  bool OptionSet::*offeredBy;  // nullptr: always offered
};

constexpr OptionRow kOptions[] = {
    {"--registry", '\0', "a file", nullptr, &SyncOptions::registryFile, &OptionSet::registry},
    {"--data-folder", '\0', "a folder", nullptr, &SyncOptions::dataFolder, &OptionSet::registry},
    {"--log", '\0', "a file", nullptr, &SyncOptions::logFile, nullptr},
    {"--dry-run", 'n', nullptr, &SyncOptions::dryRun, nullptr, &OptionSet::dryRun},
    {"--list", '\0', nullptr, &SyncOptions::list, nullptr, &OptionSet::list},
    {"--charset", '\0', "a character set", nullptr, &SyncOptions::charset, &OptionSet::charset},
    {"--handheld-charset", '\0', "a character set", nullptr, &SyncOptions::handheldCharset,
     &OptionSet::charset},
    {"--quiet", 'q', nullptr, &SyncOptions::quiet, nullptr, nullptr},
    {"--timings", '\0', nullptr, &SyncOptions::timings, nullptr, nullptr},
    {"--help", 'h', nullptr, &SyncOptions::help, nullptr, nullptr},
    {"--version", 'V', nullptr, &SyncOptions::version, nullptr, nullptr},
};

const OptionRow* FindOption(const std::string& name, const OptionSet& accepted) {
  for (const auto& row : kOptions) {
    if (row.offeredBy != nullptr && !(accepted.*row.offeredBy)) continue;
    if (name == row.name ||
        (row.shortName != '\0' && name.size() == 2 && name[0] == '-' && name[1] == row.shortName)) {
      return &row;
    }
  }
  return nullptr;
}

std::string SeeHelp() { return std::string(" (see ") + kProgramName + " --help)"; }

// Days from 1970-01-01 to a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool IsWindowsPath(const std::string& folder) {
  const bool letter = folder.size() >= 2 && ((folder[0] >= 'A' && folder[0] <= 'Z') ||
                                             (folder[0] >= 'a' && folder[0] <= 'z'));
  return letter && folder[1] == ':';
}

}  // namespace

bool ParseSyncArguments(const std::vector<std::string>& args, SyncOptions* options,
                        std::string* error, const OptionSet& accepted) {
  SyncOptions parsed;
  std::vector<std::string> folders;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      folders.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const bool longForm = arg.compare(0, 2, "--") == 0;
    const std::size_t equals = longForm ? arg.find('=') : std::string::npos;
    const std::string name = arg.substr(0, equals);
    const OptionRow* row = FindOption(name, accepted);
    if (row == nullptr) return Fail(error, "unknown option " + name + SeeHelp());
    if (row->flag != nullptr) {
      if (equals != std::string::npos) return Fail(error, name + " takes no value");
      parsed.*row->flag = true;
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return Fail(error, name + " needs " + row->value);
    }
    if (value.empty()) return Fail(error, name + " needs " + row->value);
    std::optional<std::string>& slot = parsed.*row->text;
    if (slot.has_value()) return Fail(error, name + " given twice");
    slot = std::move(value);
  }
  if (parsed.registryFile && parsed.dataFolder) {
    return Fail(error, "--registry and --data-folder cannot be used together");
  }
  if (parsed.list && parsed.dryRun) return Fail(error, "--list and --dry-run cannot be used together");
  if (parsed.handheldCharset && !parsed.charset) {
    return Fail(error, "--handheld-charset needs --charset");
  }
  if (parsed.dataFolder && parsed.dataFolder->size() >= kDataFolderArea) {
    return Fail(error, "--data-folder is longer than " + std::to_string(kDataFolderArea - 1) +
                           " characters");
  }
  if (folders.size() > 1) {
    return Fail(error, "more than one handheld folder given: " + folders[0] + ", " + folders[1]);
  }
  if (folders.empty()) {
    if (!parsed.help && !parsed.version) return Fail(error, "no handheld folder given" + SeeHelp());
  } else {
    parsed.handheldDir = folders[0];
  }
  *options = std::move(parsed);
  return true;
}

std::string UsageText(const OptionSet& accepted) {
  std::string text = "Usage: kestrel-sync [OPTION]... HANDHELD_DIR\n\n";
  text +=
      accepted.registry
          ? "Runs one Kestrelplan synchronisation against the handheld kept as Palm database\n"
            "files (*.pdb, *.prc) in HANDHELD_DIR: backs up every task database into the data\n"
            "folder, imports the data folder's import.csv into KestrelDB, then writes back the\n"
            "databases that changed. One sync at a time uses a handheld folder.\n"
          : "Runs one Kestrelplan synchronisation through kstlcond.dll against the handheld\n"
            "kept as Palm database files (*.pdb, *.prc) in HANDHELD_DIR: backs up every task\n"
            "database into the data folder, imports the data folder's import.csv into\n"
            "KestrelDB, then writes back the databases that changed. The data folder is the\n"
            "registry value \"Kestrelplan Path\" of\n"
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00.\n";
  text += "\nOptions:\n";
  if (accepted.registry) {
    text +=
        "  --registry FILE     read the data folder (\"Kestrelplan Path\") from this registry\n"
        "                      file; by default $KESTRELPLAN_REGISTRY, else\n"
        "                      $XDG_CONFIG_HOME/kestrelplan/registry.reg (~/.config if unset)\n"
        "  --data-folder DIR   use DIR as the data folder for this run, reading no registry\n";
  }
  text +=
      "  --log FILE          append the sync log to FILE instead of standard output;\n"
      "                      \"-\" is standard output\n";
  if (accepted.dryRun) {
    text +=
        "  -n, --dry-run       run the whole sync but change nothing: backups go to a\n"
        "                      scratch folder, the handheld folder is not written, and\n"
        "                      what KestrelDB would hold is printed on standard output\n"
        "                      in the backup form; no sync log is written\n";
  }
  if (accepted.list) {
    text +=
        "  --list              print each database of HANDHELD_DIR as the conduit sees\n"
        "                      it and whether a sync backs it up; changes nothing\n";
  }
  if (accepted.charset) {
    text +=
        "  --charset NAME      keep the text files in character set NAME (e.g. UTF-8):\n"
        "                      backup files and their names are written in it and\n"
        "                      import.csv is read in it; without it every byte is kept\n"
        "  --handheld-charset NAME\n"
        "                      the handheld's character set (default WINDOWS-1252)\n";
  }
  text +=
      "  -q, --quiet         leave out the summary on standard error\n"
      "  --timings           print to standard error how long loading the handheld\n"
      "                      folder, the conduit and saving took\n"
      "  -h, --help          print this help\n"
      "  -V, --version       print the version\n"
      "\n"
      "The sync log goes to standard output (or --log); a summary of what the sync did\n"
      "goes to standard error: the data folder, each task database's backup, the\n"
      "import, and the handheld files rewritten.\n"
      "\n"
      "Exit status:\n"
      "  0  the sync did its whole job: every task database was backed up, and the\n"
      "     import ran or the data folder holds no import file\n"
      "  1  the sync ran but something failed (a backup, the import, no data folder\n"
      "     configured); a one-line message says what\n"
      "  2  refused: bad arguments, an unusable handheld folder, registry file or log,\n"
      "     another sync using the handheld folder, a sync log that could not be\n"
      "     written, or a failed save; nothing in the handheld folder changed\n";
  return text;
}

std::string VersionText(std::string_view conduitName) {
  return std::string(kProgramName) + " " + kProductVersion + " (" + std::string(conduitName) +
         " conduit)\n" + kCopyrightNotice;
}

std::string FormatLogLine(std::int32_t activity, std::string_view text) {
  std::string line = std::to_string(activity);
  line += '\t';
  line += text;
  line += '\n';
  return line;
}

std::string TimingsText(double loadSeconds, double conduitSeconds, double saveSeconds) {
  char text[128];
  std::snprintf(text, sizeof text, "%s: load %.3f s, conduit %.3f s, save %.3f s\n", kProgramName,
                loadSeconds, conduitSeconds, saveSeconds);
  return text;
}

std::string StatusText(Status status) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%04" PRIX32, static_cast<std::uint32_t>(status));
  return "conduit status " + std::to_string(status) + " (" + hex + ")";
}

std::string Message(std::string_view text) {
  return std::string(kProgramName) + ": " + EscapeForMessage(text) + "\n";
}

double SecondsSince(TimingClock::time_point start) {
  return std::chrono::duration<double>(TimingClock::now() - start).count();
}

std::optional<RegistrySource> FindRegistryFile(const SyncOptions& options, const EnvLookup& env) {
  if (options.dataFolder) return std::nullopt;
  if (options.registryFile) return RegistrySource{*options.registryFile, true};
  auto nonEmpty = [&env](const char* name) -> std::optional<std::string> {
    const char* value = env(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
  };
  if (auto path = nonEmpty("KESTRELPLAN_REGISTRY")) return RegistrySource{*path, true};
  const std::string tail = "/kestrelplan/registry.reg";
  if (auto config = nonEmpty("XDG_CONFIG_HOME")) return RegistrySource{*config + tail, false};
  if (auto home = nonEmpty("HOME")) return RegistrySource{*home + "/.config" + tail, false};
  return std::nullopt;
}

std::string DataFolderKeyPath() { return std::string("HKEY_LOCAL_MACHINE\\") + kDataFolderKey; }

std::string Wow64DataFolderKeyPath() {
  const std::string key = kDataFolderKey;  // "SOFTWARE\..."
  const std::size_t slash = key.find('\\');
  return "HKEY_LOCAL_MACHINE\\" + key.substr(0, slash) + "\\WOW6432Node" + key.substr(slash);
}

DataFolderSetting SettingFromHive(RegistryHive* hive, const std::string& path) {
  DataFolderSetting setting;
  setting.source = "the registry file " + path;
  setting.registryFile = path;
  const std::string plain = DataFolderKeyPath();
  const std::string wow64 = Wow64DataFolderKeyPath();
  std::string key = plain;
  if (!hive->HasKey(plain) && hive->HasKey(wow64)) {
    key = wow64;
    setting.source += ", under WOW6432Node";
  }
  const std::string value = std::string("\"") + kDataFolderValue + "\"";
  if (!hive->HasKey(key)) {
    setting.problem = path + ": no key " + plain + " (nor under WOW6432Node)";
    return setting;
  }
  const std::string* data = hive->Find(key, kDataFolderValue);
  if (data == nullptr) {
    setting.problem = path + ": the key " + key + " has no string value " + value;
    return setting;
  }
  if (key != plain) hive->Set(plain, kDataFolderValue, *data);
  setting.folder = *data;
  if (data->empty()) {
    setting.problem = path + ": the value " + value + " is empty";
  } else if (data->size() >= kDataFolderArea) {
    setting.problem = path + ": the value " + value + " is " + std::to_string(data->size()) +
                      " characters long; the conduit reads at most " +
                      std::to_string(kDataFolderArea - 1);
  } else if (IsWindowsPath(*data)) {
    setting.problem = path + ": the data folder " + *data +
                      " is a Windows path (a drive letter); name a folder of this system";
  }
  return setting;
}

DataFolderSetting SettingFromOption(const std::string& folder, RegistryHive* hive) {
  hive->Set(DataFolderKeyPath(), kDataFolderValue, folder);
  DataFolderSetting setting;
  setting.folder = folder;
  setting.source = "--data-folder";
  return setting;
}

std::uint32_t PalmClock(const std::tm& local) {
  const std::int64_t days =
      DaysFromCivil(std::int64_t(local.tm_year) + 1900, static_cast<unsigned>(local.tm_mon + 1),
                    static_cast<unsigned>(local.tm_mday)) -
      DaysFromCivil(1904, 1, 1);
  const std::int64_t seconds =
      days * 86400 + std::int64_t(local.tm_hour) * 3600 + local.tm_min * 60 + local.tm_sec;
  if (seconds < 0) return 0;
  if (seconds > 0xFFFFFFFFll) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(seconds);
}

}  // namespace kestrel::cli
