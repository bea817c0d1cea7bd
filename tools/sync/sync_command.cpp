// SPDX-License-Identifier: MIT
// kestrel-sync's outline: prepare (parse the options, decide the data
// folder, check where the log and the data folder are, lock the handheld
// folder), run the conduit (load, watch, run, write the log, save), report
// (the summary and the exit status).
#include "tools/sync/sync_command.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <system_error>

#include "driver/sync_run.h"
#include "handheld_folder/folder_lock.h"
#include "tools/sync/dry_run.h"
#include "tools/sync/host_files.h"
#include "tools/sync/sync_list.h"
#include "tools/sync/sync_places.h"
#include "tools/sync/sync_summary.h"

namespace kestrel::cli {
namespace fs = std::filesystem;
namespace {

// A step's result when the command goes on to the next step.
constexpr int kGoOn = -1;

int Refuse(const std::string& message) {
  std::cerr << Message(message) << std::flush;
  return kExitError;
}

std::uint32_t ClockNow() {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  return local != nullptr ? PalmClock(*local) : 0;
}

// Everything a run holds from its preparation to its report.
struct Session {
  SyncOptions options;
  DataFolderSetting setting;
  handheld_folder::FolderLock lock;
  ScratchFolder scratch;
  std::optional<fs::path> written;  // where the conduit's backups go
  std::unique_ptr<LogSink> log;     // none in a dry run
};

// What running the conduit gave.
struct Outcome {
  Status status = StatusOk;
  std::vector<std::pair<std::int32_t, std::string>> log;
  std::vector<SavedFile> saved;         // the files saved, or a dry run's would-be changes
  std::vector<std::string> wouldChange;  // a dry run's changed databases, quoted
  std::vector<DatabaseListing> loaded;   // the databases as loaded, before the conduit ran
  double loadSeconds = 0, conduitSeconds = 0, saveSeconds = 0;
};

// --- prepare -----------------------------------------------------------------

int ParseStep(const std::vector<std::string>& args, SyncPlatform& platform, SyncOptions& options) {
  const OptionSet offered = platform.Offered();
  std::string error;
  if (!ParseSyncArguments(args, &options, &error, offered)) return Refuse(error);
  if (options.help) {
    std::cout << UsageText(offered) << std::flush;
    return kExitOk;
  }
  if (options.version) {
    std::string name;
    if (!platform.ConduitName(&name, &error)) return Refuse(error);
    std::cout << VersionText(name) << std::flush;
    return kExitOk;
  }
  Settings file;
  if (!platform.ReadSettings(options, &file, &error) || !ApplySettings(file, &options, &error)) {
    return Refuse(error);
  }
  return kGoOn;
}

// The log and the data folder apart from the handheld folder, and the log
// no file of either folder.
int CheckPlaces(const Session& s) {
  const SyncOptions& o = s.options;
  if (o.LogToFile() && IsInFolder(*o.logFile, o.handheldDir)) {
    return Refuse(*o.logFile + ": the sync log cannot go into the handheld folder " +
                  o.handheldDir);
  }
  const std::optional<std::string>& data = s.setting.folder;
  if (data && !data->empty() && IsSameOrInside(*data, o.handheldDir)) {
    return Refuse(*data + ": the data folder (from " + s.setting.source + ") is " +
                  (IsSameOrInside(o.handheldDir, *data) ? "the handheld folder "
                                                        : "inside the handheld folder ") +
                  o.handheldDir + "; name a data folder outside it");
  }
  if (!o.LogToFile()) return kGoOn;
  std::vector<fs::path> folders{o.handheldDir};
  if (data && !data->empty()) folders.emplace_back(*data);
  for (const fs::path& folder : folders) {
    if (const auto same = SameFileIn(*o.logFile, folder)) {
      return Refuse(*o.logFile + ": the sync log is the file " + same->string() +
                    " (a link to it); name a log file of its own");
    }
  }
  return kGoOn;
}

int LockStep(Session& s) {
  std::string error;
  switch (s.lock.Lock(s.options.handheldDir, &error)) {
    case handheld_folder::FolderLock::Result::Locked:
      return kGoOn;
    case handheld_folder::FolderLock::Result::Busy:
      return Refuse(s.options.handheldDir + ": another sync is using this handheld folder");
    case handheld_folder::FolderLock::Result::Failed:
      break;
  }
  return Refuse(s.options.handheldDir + ": " + error);
}

// Whether the data folder is there, and a dry run's scratch folder instead.
int DataFolderStep(SyncPlatform& platform, Session& s) {
  DataFolderSetting& setting = s.setting;
  std::error_code ec;
  const bool there = setting.folder && fs::is_directory(*setting.folder, ec);
  if (setting.folder && !there && !setting.problem) {
    setting.problem = (setting.registryFile.empty() ? "" : setting.registryFile + ": ") +
                      "the data folder " + *setting.folder +
                      (fs::exists(*setting.folder, ec) ? " is not a folder" : " does not exist");
  }
  if (there) s.written = fs::path(*setting.folder);
  if (!s.options.dryRun) return kGoOn;
  std::vector<fs::path> avoid{s.options.handheldDir};
  if (there) avoid.emplace_back(*setting.folder);
  std::string error;
  const fs::path base = ScratchBase(avoid, &error);
  if (base.empty()) return Refuse(error);
  if (!there) {
    RemoveDeadScratchFolders(base);
    return kGoOn;
  }
  if (!s.scratch.Make(base, *setting.folder, &error)) return Refuse(error);
  platform.RedirectDataFolder(s.scratch.Path().string());
  s.written = s.scratch.Path();
  return kGoOn;
}

int Prepare(const std::vector<std::string>& args, SyncPlatform& platform, Session& s) {
  if (const int done = ParseStep(args, platform, s.options); done != kGoOn) return done;
  std::string error;
  if (s.options.list) {
    if (const int done = LockStep(s); done != kGoOn) return done;
    if (!platform.LoadHandheld(s.options.handheldDir, ClockNow(), &error)) return Refuse(error);
    std::cout << ListText(platform.Databases(true)) << std::flush;
    return kExitOk;
  }
  if (s.options.charset && !platform.UseCharsets(s.options, &error)) return Refuse(error);
  if (!platform.Configure(s.options, &s.setting, &error)) return Refuse(error);
  if (s.options.showConfig) {
    std::cout << ShowConfigText(s.options, s.setting) << std::flush;
    return kExitOk;
  }
  if (const int done = CheckPlaces(s); done != kGoOn) return done;
  // From before the load until the save is done, this sync alone uses the folder.
  if (const int done = LockStep(s); done != kGoOn) return done;
  return DataFolderStep(platform, s);
}

// --- run the conduit ------------------------------------------------------------

// The line that opens a run's entries in a sync log file.
std::string LogHeader(const SyncOptions& options) {
  const std::time_t now = std::time(nullptr);
  const std::tm* utc = std::gmtime(&now);
  return LogHeaderLine(utc != nullptr ? *utc : std::tm{}, options.handheldDir);
}

// The sync log is written before the handheld folder is saved: a log that
// cannot be written leaves the folder as it was. A dry run writes none; in a
// file, a run's entries follow a line naming it.
int WriteLog(const Session& s, const Outcome& outcome) {
  if (!s.log) return kGoOn;
  std::string text = s.options.LogToFile() ? LogHeader(s.options) : "";
  for (const auto& [activity, entry] : outcome.log) text += FormatLogLine(activity, entry);
  if (!s.log->Write(text)) {
    const std::string name = s.options.LogToFile() ? *s.options.logFile : "standard output";
    return Refuse(name + ": cannot write the sync log; nothing in the handheld folder changed");
  }
  return kGoOn;
}

int RunConduitStep(SyncPlatform& platform, Session& s, SyncWatch& watch, Outcome& outcome,
                   bool* saved) {
  std::string error;
  const TimingClock::time_point loadStart = TimingClock::now();
  if (!platform.LoadHandheld(s.options.handheldDir, ClockNow(), &error)) return Refuse(error);
  outcome.loadSeconds = SecondsSince(loadStart);
  outcome.loaded = platform.Databases(false);
  if (!s.options.dryRun) {
    s.log = OpenLog(s.options.logFile.value_or("-"), &error);
    if (!s.log) return Refuse(error);
  }

  platform.Watch([&watch](const host::OperationEvent& event) { watch.Observe(event); });
  const TimingClock::time_point conduitStart = TimingClock::now();
  outcome.status = platform.RunConduit();
  outcome.conduitSeconds = SecondsSince(conduitStart);
  platform.Watch(nullptr);

  outcome.log = platform.SyncLog();
  if (const int done = WriteLog(s, outcome); done != kGoOn) return done;
  if (const std::string late = platform.LateError(); !late.empty()) return Refuse(late);

  const TimingClock::time_point saveStart = TimingClock::now();
  if (s.options.dryRun) {
    outcome.wouldChange = platform.ChangedDatabases();
  } else {
    if (!platform.SaveHandheld(&outcome.saved, &error)) return Refuse(error);
    *saved = true;
  }
  outcome.saveSeconds = SecondsSince(saveStart);
  return kGoOn;
}

// --- report -------------------------------------------------------------------------

// The summary's last lines: the handheld files written, or for a dry run
// what would change and what the dry run could not know.
std::vector<std::string> HandheldLines(const Session& s, const Outcome& outcome) {
  if (s.options.dryRun) {
    std::string files;
    for (const auto& name : outcome.wouldChange) files += (files.empty() ? "" : ", ") + name;
    return {outcome.wouldChange.empty()
                ? "dry run: no handheld database would change; nothing was saved"
                : "dry run: would rewrite " + files + "; nothing was saved",
            "dry run: no sync log written"};
  }
  std::string rewrote, created;
  for (const SavedFile& file : outcome.saved) {
    std::string& list = file.created ? created : rewrote;
    list += (list.empty() ? "" : ", ") + file.name;
  }
  std::vector<std::string> lines;
  if (!created.empty()) lines.push_back("created " + created + " in " + s.options.handheldDir);
  if (!rewrote.empty()) lines.push_back("rewrote " + rewrote + " in " + s.options.handheldDir);
  if (lines.empty()) lines.push_back("no handheld file rewritten");
  return lines;
}

// A dry run prints what KestrelDB would hold on standard output, when the
// handheld would have it.
void PrintPreview(SyncPlatform& platform) {
  const auto databases = platform.Databases(false);
  const bool there = std::any_of(databases.begin(), databases.end(), [](const DatabaseListing& db) {
    return db.name == kImportDatabaseName;
  });
  if (!there) return;
  std::cout << BackupFormOf(platform.LiveRecords(kImportDatabaseName)) << std::flush;
}

SyncFacts FactsOf(SyncPlatform& platform, const Session& s, const SyncWatch& watch,
                  const Outcome& outcome) {
  SyncFacts facts;
  facts.setting = &s.setting;
  facts.watch = &watch;
  facts.conduitStatus = outcome.status;
  facts.log = outcome.log;
  facts.shownFolder = s.setting.folder.value_or("");
  facts.caseSensitive = platform.CaseSensitiveNames();
  facts.systemName = platform.SystemName();
  facts.dryRun = s.options.dryRun;
  facts.databases = outcome.loaded;
  facts.handheldDir = s.options.handheldDir;
  facts.noPalmFiles = platform.NoPalmFiles();
  facts.report = platform.ConduitReport();
  return facts;
}

// A dry run's forecast of the room its backups would take in the real data
// folder: a line when they would not fit or come within 1 MiB of it, and a
// failure as the real sync's on a full disk when they would not fit.
void JudgeSpace(const Session& s, const SyncWatch& watch, SyncVerdict& verdict) {
  if (!s.options.dryRun || !watch.DataFolder() || !s.setting.folder) return;
  std::vector<std::uint64_t> sizes;
  std::error_code ec;
  for (const BackupSeen& backup : watch.Backups()) {
    for (const std::string& file : backup.files) {
      const std::uintmax_t size = fs::file_size(*watch.DataFolder() / file, ec);
      if (!ec) sizes.push_back(size);
    }
  }
  const SpaceForecast forecast = ForecastSpace(*s.setting.folder, sizes);
  if (!forecast.known || (forecast.fits && !forecast.close)) return;
  const std::string figures = std::to_string(forecast.needed) + " bytes, " +
                              std::to_string(forecast.available) + " are free on the file system of " +
                              *s.setting.folder;
  if (forecast.fits) {
    verdict.lines.push_back("dry run: the backups may not fit: they need " + figures +
                            "; make room before the sync");
    return;
  }
  const std::string failure = "dry run: the backups would not fit: they need " + figures +
                              "; the sync would fail; make room before it";
  verdict.lines.push_back(failure);
  if (verdict.exitStatus == kExitOk) verdict.failure = failure;
  verdict.exitStatus = kExitFailed;
}

int Report(SyncPlatform& platform, const Session& s, const SyncWatch& watch,
           const Outcome& outcome) {
  // Taken before the summary reads the import file again through the same
  // conversions, which would count its characters twice.
  const std::vector<std::string> charsetLines = platform.CharsetSummary();
  SyncVerdict verdict = Judge(FactsOf(platform, s, watch, outcome));
  JudgeSpace(s, watch, verdict);
  if (s.options.dryRun) PrintPreview(platform);
  std::string report;
  if (!s.options.quiet) {
    for (const auto& line : verdict.lines) report += Message(line);
    for (const auto& line : charsetLines) report += Message(line);
    for (const auto& line : HandheldLines(s, outcome)) report += Message(line);
  } else {
    for (const auto& line : verdict.loudLines) report += Message(line);
  }
  if (s.options.timings) {
    report += TimingsText(outcome.loadSeconds, outcome.conduitSeconds, outcome.saveSeconds);
  }
  if (verdict.exitStatus != kExitOk) report += Message(verdict.failure);
  std::cerr << report << std::flush;
  return verdict.exitStatus;
}

int Run(const std::vector<std::string>& args, SyncPlatform& platform, bool* saved) {
  Session session;
  if (const int done = Prepare(args, platform, session); done != kGoOn) return done;
  SyncWatch watch(session.written);
  Outcome outcome;
  if (const int done = RunConduitStep(platform, session, watch, outcome, saved); done != kGoOn) {
    return done;
  }
  return Report(platform, session, watch, outcome);
}

}  // namespace

bool DatabaseListing::IsTaskDatabase() const {
  return type == kTypeData && creator == kCreatorTkpl;
}

int RunSyncCommand(const std::vector<std::string>& args, SyncPlatform& platform) {
  bool saved = false;
  try {
    return Run(args, platform, &saved);
  } catch (const std::bad_alloc&) {
    if (saved) {
      std::cerr << Message("out of memory after the handheld folder was saved") << std::flush;
      return kExitFailed;
    }
    std::cerr << Message("out of memory; nothing in the handheld folder changed") << std::flush;
    return kExitError;
  } catch (const std::exception& e) {
    std::cerr << Message(e.what()) << std::flush;
    return saved ? kExitFailed : kExitError;
  }
}

}  // namespace kestrel::cli
