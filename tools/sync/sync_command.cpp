#include "tools/sync/sync_command.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <system_error>

#include "driver/file_names.h"
#include "handheld/record_buffer.h"
#include "handheld_folder/folder_lock.h"
#include "record/task_record.h"
#include "tools/common/message_escape.h"
#include "tools/sync/host_files.h"
#include "tools/sync/sync_summary.h"
#include "transfer/passes.h"

namespace kestrel::cli {
namespace fs = std::filesystem;
namespace {

int Refuse(const std::string& message) {
  std::cerr << Message(message) << std::flush;
  return kExitError;
}

std::uint32_t ClockNow() {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  return local != nullptr ? PalmClock(*local) : 0;
}

// A dry run's scratch data folder, removed with the object.
class ScratchFolder {
 public:
  ScratchFolder() = default;
  ~ScratchFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // Makes the folder with a copy of `dataFolder`'s import file when that is
  // a regular file and an empty folder for each of its folders, as writable
  // as the data folder is.
  bool Make(const fs::path& dataFolder, std::string* error) {
    path_ = MakeScratchFolder(error);
    if (path_.empty()) return false;
    const std::string importName = std::string(kImportStem) + kCsvExtension;
    std::error_code ec;
    if (fs::status(dataFolder / importName, ec).type() == fs::file_type::regular) {
      fs::copy_file(dataFolder / importName, path_ / importName, ec);
      if (ec) {
        *error = (dataFolder / importName).string() + ": cannot copy: " + ec.message();
        return false;
      }
    }
    // A folder where a backup goes fails that backup: the scratch folder
    // holds one of each name too, so that the dry run fails as the sync would.
    for (fs::directory_iterator it(dataFolder, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code entryError;
      if (it->symlink_status(entryError).type() == fs::file_type::directory) {
        fs::create_directory(path_ / it->path().filename(), entryError);
      }
    }
    if (!FolderWritable(dataFolder)) {
      fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_exec, ec);
    }
    return true;
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// What a database would hold: the backup form of its live records.
std::string Preview(const std::string& database,
                    const std::vector<std::vector<std::uint8_t>>& records) {
  RecordTransfer transfer{};
  RecordBuffer buffer(transfer, kRecordBufferSize);
  std::string lines;
  std::size_t count = 0;
  for (const auto& record : records) {
    if (RecordBufferData(transfer) == nullptr || record.size() > transfer.bufferCapacity) continue;
    std::copy(record.begin(), record.end(), RecordBufferData(transfer));
    transfer.recordSize = static_cast<std::uint32_t>(record.size());
    std::string line;
    if (FormatTaskLine(transfer, line) != 0) continue;
    lines += EscapeForMessage(line) + "\n";
    ++count;
  }
  return Message("dry run: \"" + database + "\" would hold " + std::to_string(count) + " tasks:") +
         kBackupHeader + "\n" + lines;
}

int Run(const std::vector<std::string>& args, SyncPlatform& platform, bool* saved) {
  const OptionSet offered = platform.Offered();
  SyncOptions options;
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

  if (options.charset && !platform.UseCharsets(options, &error)) return Refuse(error);
  DataFolderSetting setting;
  if (!platform.Configure(options, &setting, &error)) return Refuse(error);
  if (options.LogToFile() && IsInFolder(*options.logFile, options.handheldDir)) {
    return Refuse(*options.logFile + ": the sync log cannot go into the handheld folder " +
                  options.handheldDir);
  }

  // From before the load until the save is done, this sync alone uses the folder.
  handheld_folder::FolderLock lock;
  switch (lock.Lock(options.handheldDir, &error)) {
    case handheld_folder::FolderLock::Result::Locked:
      break;
    case handheld_folder::FolderLock::Result::Busy:
      return Refuse(options.handheldDir + ": another sync is using this handheld folder");
    case handheld_folder::FolderLock::Result::Failed:
      return Refuse(options.handheldDir + ": " + error);
  }

  std::error_code ec;
  const bool folderThere = setting.folder && fs::is_directory(*setting.folder, ec);
  if (setting.folder && !folderThere && !setting.problem) {
    setting.problem = (setting.registryFile.empty() ? "" : setting.registryFile + ": ") +
                      "the data folder " + *setting.folder +
                      (fs::exists(*setting.folder, ec) ? " is not a folder" : " does not exist");
  }
  ScratchFolder scratch;
  std::optional<fs::path> written;  // where the conduit's backups go
  if (folderThere) written = fs::path(*setting.folder);
  if (options.dryRun && folderThere) {
    if (!scratch.Make(*setting.folder, &error)) return Refuse(error);
    platform.RedirectDataFolder(scratch.Path().string());
    written = scratch.Path();
  }

  const TimingClock::time_point loadStart = TimingClock::now();
  if (!platform.LoadHandheld(options.handheldDir, ClockNow(), &error)) return Refuse(error);
  const double loadSeconds = SecondsSince(loadStart);

  const std::string logName = options.LogToFile() ? *options.logFile : "standard output";
  const std::unique_ptr<LogSink> log = OpenLog(options.logFile.value_or("-"), &error);
  if (!log) return Refuse(error);

  SyncWatch watch(written);
  platform.Watch([&watch](const host::OperationEvent& event) { watch.Observe(event); });
  const TimingClock::time_point conduitStart = TimingClock::now();
  const Status status = platform.RunConduit();
  const double conduitSeconds = SecondsSince(conduitStart);
  platform.Watch(nullptr);

  // The sync log is written before the handheld folder is saved: a log that
  // cannot be written leaves the folder as it was.
  const auto entries = platform.SyncLog();
  std::string logText;
  for (const auto& [activity, text] : entries) logText += FormatLogLine(activity, text);
  if (!log->Write(logText)) {
    return Refuse(logName + ": cannot write the sync log; nothing in the handheld folder changed");
  }
  if (const std::string late = platform.LateError(); !late.empty()) return Refuse(late);

  const TimingClock::time_point saveStart = TimingClock::now();
  std::vector<std::string> rewritten;
  if (options.dryRun) {
    rewritten = platform.ChangedDatabases();
  } else {
    if (!platform.SaveHandheld(&rewritten, &error)) return Refuse(error);
    *saved = true;
  }
  const double saveSeconds = SecondsSince(saveStart);

  SyncFacts facts;
  facts.setting = &setting;
  facts.watch = &watch;
  facts.conduitStatus = status;
  facts.log = entries;
  facts.shownFolder = setting.folder.value_or("");
  facts.caseSensitive = platform.CaseSensitiveNames();
  facts.systemName = platform.SystemName();
  facts.dryRun = options.dryRun;
  const SyncVerdict verdict = Judge(facts);
  std::string report;
  if (!options.quiet) {
    for (const auto& line : verdict.lines) report += Message(line);
    for (const auto& line : platform.CharsetSummary()) report += Message(line);
    std::string files;
    for (const auto& name : rewritten) files += (files.empty() ? "" : ", ") + name;
    if (options.dryRun) {
      report += Message(rewritten.empty()
                            ? "dry run: no handheld database would change; nothing was saved"
                            : "dry run: would rewrite " + files + "; nothing was saved");
      const std::string& target = watch.Import().database;
      if (!target.empty() &&
          std::find(rewritten.begin(), rewritten.end(), "\"" + target + "\"") != rewritten.end()) {
        report += Preview(target, platform.LiveRecords(target));
      }
    } else {
      report += Message(rewritten.empty() ? "no handheld file rewritten"
                                          : "rewrote " + files + " in " + options.handheldDir);
    }
  }
  if (options.timings) report += TimingsText(loadSeconds, conduitSeconds, saveSeconds);
  if (verdict.exitStatus != kExitOk) report += Message(verdict.failure);
  std::cerr << report << std::flush;
  return verdict.exitStatus;
}

}  // namespace

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
