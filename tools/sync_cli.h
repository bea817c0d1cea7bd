// The parts of the kestrel-sync command that do not depend on how the conduit
// is reached: its options and usage, where the registry file is looked for,
// the sync log's line form and its writing, the clock of the handheld, the
// timings, and the exit statuses with their messages. Portable; no I/O beyond
// reading a registry file and writing to the streams it is given.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "handheld/sync_services.h"
#include "platform/registry_file.h"

namespace kestrel::cli {

inline constexpr char kProgramName[] = "kestrel-sync";

inline constexpr int kExitOk = 0;             // the conduit returned 0
inline constexpr int kExitConduitStatus = 1;  // the conduit returned another status
inline constexpr int kExitError = 2;          // nothing synchronised or saved

struct SyncOptions {
  std::optional<std::string> registryFile;  // --registry FILE
  std::optional<std::string> dataFolder;    // --data-folder DIR
  std::optional<std::string> logFile;       // --log FILE
  std::string handheldDir;                  // HANDHELD_DIR
  bool help = false;
  bool version = false;
  bool timings = false;  // --timings
};

// Parses the arguments that follow the program name. Options may come before
// or after HANDHELD_DIR, as "--name VALUE" or "--name=VALUE" (--help,
// --version and --timings take none); "--" ends them. Returns false with *error a one-line message
// (without the program name) for an unknown or repeated option, a missing or empty value,
// --registry with --data-folder, a data folder longer than the conduit reads
// (254 characters), or a missing or second HANDHELD_DIR. HANDHELD_DIR is not
// needed with --help or --version.
bool ParseSyncArguments(const std::vector<std::string>& args, SyncOptions* options,
                        std::string* error);

// The text that --help prints, ending in a line break.
std::string UsageText();

// The line that --version prints: the conduit's name and version, e.g.
// "Kestrelplan 1.01" for 0x101, with a line break.
std::string VersionText(std::string_view conduitName, std::uint32_t conduitVersion);

// One line of the sync log: the activity in decimal, a tab, the text as the
// conduit gave it, a line break.
std::string FormatLogLine(std::int32_t activity, std::string_view text);

// The line that --timings prints to standard error: how long loading the
// handheld folder, the conduit and saving took, in seconds, e.g.
// "kestrel-sync: load 0.412 s, conduit 0.803 s, save 0.001 s", with a line
// break.
std::string TimingsText(double loadSeconds, double conduitSeconds, double saveSeconds);

// 0 for conduit status 0, else kExitConduitStatus.
int ExitStatusForConduit(Status status);

// "kestrel-sync: conduit status N (0xHHHH)", N in decimal and its 32 bits in
// upper-case hexadecimal, at least four digits; no line break.
std::string ConduitStatusMessage(Status status);

// One entry of the sync log, as the handheld's host kept it.
struct SyncLogEntry {
  std::int32_t activity = 0;
  std::string_view text;
};

// Writes the sync log to `log`, `count` lines in FormatLogLine's form, line i
// from entry(i), and flushes it. False when not all of it reached the stream.
bool WriteSyncLog(std::ostream& log, std::size_t count,
                  const std::function<SyncLogEntry(std::size_t)>& entry);

// How a run that reached the conduit went.
struct RunEnd {
  Status conduitStatus = StatusOk;
  bool logWritten = true;                // WriteSyncLog's result
  std::optional<std::string> saveError;  // set when the handheld was not saved
};

// The exit status of such a run, writing its one message, if any, to `err`:
// a failed save ("kestrel-sync: " and the save's message), else a sync log
// that did not reach --log's FILE or standard output ("kestrel-sync: FILE:
// cannot write the sync log"), both kExitError; else ConduitStatusMessage
// when the conduit did not return 0, and ExitStatusForConduit's status. Each
// message ends in a line break.
int FinishRun(const SyncOptions& options, const RunEnd& end, std::ostream& err);

// The clock that --timings reads, and the seconds since `start` on it.
using TimingClock = std::chrono::steady_clock;
double SecondsSince(TimingClock::time_point start);

// Looks up an environment variable: its value, or nullptr when it is unset.
using EnvLookup = std::function<const char*(const char*)>;

// Where the registry is read from: a file, and whether it must exist.
struct RegistrySource {
  std::string path;
  bool required = true;  // false for the default location, which may be absent
};

// The registry file for this run: --registry FILE, else a non-empty
// $KESTRELPLAN_REGISTRY, else $XDG_CONFIG_HOME/kestrelplan/registry.reg
// ($HOME/.config when XDG_CONFIG_HOME is unset or empty), which need not
// exist. std::nullopt with --data-folder, or when none of the variables is set.
std::optional<RegistrySource> FindRegistryFile(const SyncOptions& options, const EnvLookup& env);

// The registry this run selects for the conduit: with --data-folder a hive
// holding only that value; else the registry file's hive, or std::nullopt
// when there is none. Returns false with *error a one-line message naming the
// file ("FILE: cannot read: ..." or "FILE:LINE: what is wrong").
bool LoadRunRegistry(const SyncOptions& options, const EnvLookup& env,
                     std::optional<RegistryHive>* hive, std::string* error);

// The handheld's clock for a local wall-clock time: seconds since
// 1904-01-01 00:00, as Palm dates count; 0 before 1904 and the largest value
// after 2040-02-06.
std::uint32_t PalmClock(const std::tm& local);

}  // namespace kestrel::cli
