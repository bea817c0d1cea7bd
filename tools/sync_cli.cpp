#include "tools/sync_cli.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "driver/data_folder.h"

namespace kestrel::cli {
namespace {

bool Fail(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
  return false;
}

// The option that takes no value by that name, or nullptr.
bool* FlagNamed(SyncOptions& options, const std::string& name) {
  if (name == "--help") return &options.help;
  if (name == "--version") return &options.version;
  if (name == "--timings") return &options.timings;
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

}  // namespace

bool ParseSyncArguments(const std::vector<std::string>& args, SyncOptions* options,
                        std::string* error) {
  SyncOptions parsed;
  std::vector<std::string> folders;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      folders.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (bool* flag = FlagNamed(parsed, name)) {
      if (equals != std::string::npos) return Fail(error, name + " takes no value");
      *flag = true;
      continue;
    }
    std::optional<std::string>* slot = nullptr;
    const char* what = nullptr;
    if (name == "--registry") {
      slot = &parsed.registryFile;
      what = "a file";
    } else if (name == "--data-folder") {
      slot = &parsed.dataFolder;
      what = "a folder";
    } else if (name == "--log") {
      slot = &parsed.logFile;
      what = "a file";
    } else {
      return Fail(error, "unknown option " + name + SeeHelp());
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return Fail(error, name + " needs " + what);
    }
    if (value.empty()) return Fail(error, name + " needs " + what);
    if (slot->has_value()) return Fail(error, name + " given twice");
    *slot = std::move(value);
  }
  if (parsed.registryFile && parsed.dataFolder) {
    return Fail(error, "--registry and --data-folder cannot be used together");
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

std::string UsageText() {
  return "Usage: kestrel-sync [--registry FILE | --data-folder DIR] [--log FILE] HANDHELD_DIR\n"
         "\n"
         "Runs one Kestrelplan synchronisation against the handheld kept as Palm database\n"
         "files (*.pdb, *.prc) in HANDHELD_DIR: backs up every task database into the data\n"
         "folder, imports the data folder's import.csv into KestrelDB, then writes back the\n"
         "databases that changed.\n"
         "\n"
         "  --registry FILE     read the data folder (\"Kestrelplan Path\") from this registry\n"
         "                      file; by default $KESTRELPLAN_REGISTRY, else\n"
         "                      $XDG_CONFIG_HOME/kestrelplan/registry.reg (~/.config if unset)\n"
         "  --data-folder DIR   use DIR as the data folder for this run, reading no registry\n"
         "  --log FILE          append the sync log to FILE instead of standard output\n"
         "  --timings           print to standard error how long loading the handheld\n"
         "                      folder, the conduit and saving took\n"
         "  --help              print this help\n"
         "  --version           print the conduit's name and version\n"
         "\n"
         "Exit status: 0 when the conduit returned 0, 1 when it returned another status,\n"
         "2 for a usage error, an unusable handheld folder or registry file, or a failed\n"
         "save (the handheld folder is then left as it was).\n";
}

std::string VersionText(std::string_view conduitName, std::uint32_t conduitVersion) {
  char number[32];
  std::snprintf(number, sizeof number, "%" PRIX32 ".%02" PRIX32, conduitVersion >> 8,
                conduitVersion & 0xFF);
  return std::string(conduitName) + " " + number + "\n";
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

int ExitStatusForConduit(Status status) {
  return status == StatusOk ? kExitOk : kExitConduitStatus;
}

std::string ConduitStatusMessage(Status status) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%04" PRIX32, static_cast<std::uint32_t>(status));
  return std::string(kProgramName) + ": conduit status " + std::to_string(status) + " (" + hex +
         ")";
}

bool WriteSyncLog(std::ostream& log, std::size_t count,
                  const std::function<SyncLogEntry(std::size_t)>& entry) {
  for (std::size_t i = 0; i < count; ++i) {
    const SyncLogEntry line = entry(i);
    log << FormatLogLine(line.activity, line.text);
  }
  log.flush();
  return static_cast<bool>(log);
}

int FinishRun(const SyncOptions& options, const RunEnd& end, std::ostream& err) {
  if (end.saveError) {
    err << kProgramName << ": " << *end.saveError << '\n';
    return kExitError;
  }
  if (!end.logWritten) {
    err << kProgramName << ": " << options.logFile.value_or("standard output")
        << ": cannot write the sync log\n";
    return kExitError;
  }
  if (end.conduitStatus != StatusOk) err << ConduitStatusMessage(end.conduitStatus) << '\n';
  return ExitStatusForConduit(end.conduitStatus);
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

bool LoadRunRegistry(const SyncOptions& options, const EnvLookup& env,
                     std::optional<RegistryHive>* hive, std::string* error) {
  hive->reset();
  if (options.dataFolder) {
    RegistryHive own;
    own.Set(std::string("HKEY_LOCAL_MACHINE\\") + kDataFolderKey, kDataFolderValue,
            *options.dataFolder);
    *hive = std::move(own);
    return true;
  }
  const auto source = FindRegistryFile(options, env);
  if (!source) return true;
  std::error_code ec;
  const auto type = std::filesystem::status(source->path, ec).type();
  if (type == std::filesystem::file_type::not_found && !source->required) return true;
  if (type == std::filesystem::file_type::directory) {
    return Fail(error, source->path + ": cannot read: it is a folder");
  }

  errno = 0;
  std::ifstream in(source->path, std::ios::binary);
  const int openError = errno;
  std::string text;
  if (in) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) {
    const int code = openError != 0 ? openError : errno;
    return Fail(error, source->path + ": cannot read: " +
                           (code != 0 ? std::generic_category().message(code) : "failed"));
  }
  RegistryParseError parseError;
  auto parsed = ParseRegistryFile(text, &parseError);
  if (!parsed) {
    const std::string where =
        parseError.line > 0 ? source->path + ":" + std::to_string(parseError.line) : source->path;
    return Fail(error, where + ": " + parseError.message);
  }
  *hive = std::move(*parsed);
  return true;
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
