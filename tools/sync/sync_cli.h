// SPDX-License-Identifier: MIT
// The parts of the kestrel-sync command that do not depend on the system or
// on how the conduit is reached: its options and help, the version line, the
// sync log's line form, the handheld's clock, the timings, one-line
// messages, and where the data folder is configured. Portable; no I/O.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "handheld/sync_services.h"
#include "host/registry_file.h"
#include "tools/common/option_parser.h"
#include "tools/common/settings_file.h"

namespace kestrel::cli {

inline constexpr char kProgramName[] = "kestrel-sync";

inline constexpr int kExitOk = 0;      // the sync did all it was asked to
inline constexpr int kExitFailed = 1;  // the sync ran, and something in it failed
inline constexpr int kExitError = 2;   // refused: nothing in the handheld folder changed

// A registry file larger than this is refused before it is read. An export
// of the Kestrelplan key is well under 1 KiB, one of a whole machine's
// SOFTWARE key some tens of MiB.
inline constexpr std::uint64_t kMaxRegistryFileBytes = 64u << 20;

struct SyncOptions {
  std::optional<std::string> registryFile;     // --registry FILE
  std::optional<std::string> dataFolder;       // --data-folder DIR
  std::optional<std::string> logFile;          // --log FILE; "-" is standard output
  std::string handheldDir;                     // HANDHELD_DIR
  bool help = false;                           // --help, -h
  bool version = false;                        // --version, -V
  bool timings = false;                        // --timings
  bool quiet = false;                          // --quiet, -q
  bool dryRun = false;                         // --dry-run, -n
  bool list = false;                           // --list
  bool noConfig = false;                       // --no-config
  bool showConfig = false;                     // --show-config
  std::optional<std::string> charset;          // --charset NAME: the desktop files' set
  std::optional<std::string> handheldCharset;  // --handheld-charset NAME
  // From the settings file: its data-folder, and where each setting in
  // force came from when not from the command line.
  std::optional<std::string> configDataFolder;
  std::string configDataFolderSource;  // "data-folder in PATH:LINE"
  std::string logSource;               // "--log", "log in PATH:LINE"; empty: the default
  CharsetChoice charsets;              // with their sources; charset/handheldCharset mirror it
  std::string settingsFile;            // the settings file read; empty for none
  // The log goes to a file (not standard output).
  bool LogToFile() const { return logFile && *logFile != "-"; }
};

// Which options a command accepts: kestrel-sync.exe has no registry file,
// no dry run, no character sets and no settings file.
struct OptionSet {
  bool registry = true;  // --registry, --data-folder
  bool dryRun = true;    // --dry-run
  bool charset = true;   // --charset, --handheld-charset
  bool list = true;      // --list
  bool config = true;    // --no-config, --show-config
};

// The options of `accepted`, as the parser, --help and the shell's
// completion see them.
std::vector<OptionDefinition> SyncOptionDefinitions(const OptionSet& accepted = {});

// Parses the arguments that follow the program name, by the conventions of
// option_parser.h; options may come before or after HANDHELD_DIR. Returns
// false with *error a one-line message (without the program name) for what
// the parser refuses, --registry with --data-folder, a data folder longer
// than the conduit reads (254 characters), or a missing or second
// HANDHELD_DIR, which --help, --version and --show-config do not need.
bool ParseSyncArguments(const std::vector<std::string>& args, SyncOptions* options,
                        std::string* error, const OptionSet& accepted = {});

// Completes *options from the settings file `file` (empty for none): the
// command line wins, the file fills in charset, handheld-charset and log,
// and its data-folder is kept in configDataFolder, below --registry and
// $KESTRELPLAN_REGISTRY. Then "none" turns conversion off. False with
// *error for a handheld set without a desktop one, or a data folder from
// the file longer than the conduit reads.
bool ApplySettings(const Settings& file, SyncOptions* options, std::string* error);

// The text that --help prints, ending in a line break: only the options of
// `accepted`.
std::string UsageText(const OptionSet& accepted = {});

// The line a sync log file gets before a run's entries:
// "# kestrel-sync 1.01 2026-12-11T14:05:22Z HANDHELD_DIR" (the time in UTC,
// the folder escaped) and a line break.
std::string LogHeaderLine(const std::tm& utc, std::string_view handheldDir);

// What --version prints: the line "kestrel-sync 1.01 (Kestrelplan
// conduit)", the product version and the conduit's name, then the copyright
// and licence lines of product_version.h; each line ends in a line break.
std::string VersionText(std::string_view conduitName);

// One line of the sync log: the activity in decimal, a tab, the text as the
// conduit gave it, a line break.
std::string FormatLogLine(std::int32_t activity, std::string_view text);

// The line that --timings prints to standard error: how long loading the
// handheld folder, the conduit and saving took, in seconds, e.g.
// "kestrel-sync: load 0.412 s, conduit 0.803 s, save 0.001 s", with a line
// break.
std::string TimingsText(double loadSeconds, double conduitSeconds, double saveSeconds);

// "conduit status N (0xHHHH)", N in decimal and its 32 bits in upper-case
// hexadecimal, at least four digits.
std::string StatusText(Status status);

// "kestrel-sync: " and the text escaped, with a line break.
std::string Message(std::string_view text);

// The clock that --timings reads, and the seconds since `start` on it.
using TimingClock = std::chrono::steady_clock;
double SecondsSince(TimingClock::time_point start);

// Where the registry is read from: a file, and whether it must exist.
struct RegistrySource {
  std::string path;
  bool required = true;  // false for the default place, which may be absent
  std::string namedBy;   // "$KESTRELPLAN_REGISTRY" when that named it, else empty
};

// The registry file for this run: --registry FILE, else a non-empty
// $KESTRELPLAN_REGISTRY, else (unless the settings file names a data
// folder) ConfigFilePath(env, "registry.reg"), which need not exist.
// std::nullopt with --data-folder, a data folder from the settings file, or
// when no variable names a place.
std::optional<RegistrySource> FindRegistryFile(const SyncOptions& options, const EnvLookup& env);

// The data folder a run is configured with, as the host found it.
struct DataFolderSetting {
  std::optional<std::string> folder;  // the value the conduit reads; none when unset
  std::string source;                 // e.g. "--data-folder", "the registry file r.reg"
  std::string registryFile;           // the registry file it came from; empty for none
  // Why there is no usable data folder, naming the file: set whenever the
  // conduit will back up nothing (no value, a value it does not read, a
  // folder that does not exist).
  std::optional<std::string> problem;
};

// The key the conduit reads the data folder from, and the key that a
// registry file exported on 64-bit Windows holds it under instead.
std::string DataFolderKeyPath();
std::string Wow64DataFolderKeyPath();

// What the hive of registry file `path` configures (its source says
// "named by NAMEDBY" when that is not empty): the data folder value of
// the plain key, else (when the plain key is absent) of the WOW6432Node key,
// which is then copied to the plain key of *hive, where the conduit looks. A
// missing key or value, an empty value or one longer than 254 characters,
// and a value that is a Windows path (a drive letter), are problems naming
// `path`.
DataFolderSetting SettingFromHive(RegistryHive* hive, const std::string& path,
                                  std::string_view namedBy = {});

// A setting made from `folder` (--data-folder DIR, or the settings file's
// data-folder: `source` says which), with *hive set to hold it.
DataFolderSetting SettingFromOption(const std::string& folder, RegistryHive* hive,
                                    std::string source = "--data-folder");

// What --show-config prints: each setting in force ("charset = UTF-8 (from
// --charset)"), the data folder as `setting` found it, and the settings file.
std::string ShowConfigText(const SyncOptions& options, const DataFolderSetting& setting);

// The handheld's clock for a local wall-clock time: seconds since
// 1904-01-01 00:00, as Palm dates count; 0 before 1904 and the largest value
// after 2040-02-06.
std::uint32_t PalmClock(const std::tm& local);

}  // namespace kestrel::cli
