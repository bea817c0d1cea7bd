// SPDX-License-Identifier: MIT
// What one sync did, as its host can see it: the handheld's answers to the
// conduit, the sync log and the data folder before and after each backup.
// From these, and from nothing of the conduit's own rules, come the summary
// on standard error and the exit status.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "driver/sync_report.h"
#include "handheld/sync_services.h"
#include "host/handheld.h"
#include "tools/sync/host_files.h"
#include "tools/sync/sync_cli.h"
#include "tools/sync/sync_command.h"

namespace kestrel::cli {

// One task database as its backup went: opened read-only by the conduit.
struct BackupSeen {
  std::string database;
  Status openStatus = StatusOk;
  std::vector<std::string> files;           // data folder files written while it was open
  std::optional<std::uint32_t> failedRead;  // the record index of the first read that failed
  Status readStatus = StatusOk;
};

// The database the conduit opened for writing or created, and what it did.
struct ImportSeen {
  std::string database;  // empty when none was opened for writing
  Status openStatus = StatusOk;
  bool createTried = false;
  Status createStatus = StatusOk;
  bool clearTried = false;
  Status clearStatus = StatusOk;
  std::size_t written = 0;
  std::optional<Status> writeFailure;
};

// Watches one sync: it is given every operation the handheld answers, of
// the reads at least those that failed.
class SyncWatch {
 public:
  // `dataFolder`: where the conduit writes its backups, when it is a folder.
  explicit SyncWatch(std::optional<std::filesystem::path> dataFolder);

  void Observe(const host::OperationEvent& event);

  const std::vector<BackupSeen>& Backups() const { return backups_; }
  const ImportSeen& Import() const { return import_; }
  const std::optional<std::filesystem::path>& DataFolder() const { return folder_; }

 private:
  std::optional<std::filesystem::path> folder_;
  FolderState last_;
  std::vector<BackupSeen> backups_;
  std::optional<std::size_t> open_;  // the backup under way
  ImportSeen import_;
};

// Everything the summary is made from.
struct SyncFacts {
  const DataFolderSetting* setting = nullptr;
  const SyncWatch* watch = nullptr;
  Status conduitStatus = StatusOk;
  std::vector<std::pair<std::int32_t, std::string>> log;  // activity, text
  // The data folder the user named, for messages; the watched one may be a
  // dry run's scratch folder.
  std::filesystem::path shownFolder;
  // Names that differ only in letter case are different files (POSIX).
  bool caseSensitive = true;
  std::string systemName = "Linux";
  bool dryRun = false;
  // The databases of the handheld folder in list order as loaded, before
  // the conduit ran; empty when the system cannot tell them.
  std::vector<DatabaseListing> databases;
  std::string handheldDir;
  bool noPalmFiles = false;  // the handheld folder held no Palm database file
  // What the conduit reported of its backups and history; nullptr where the
  // host cannot read it.
  const SyncReport* report = nullptr;
};

struct SyncVerdict {
  std::vector<std::string> lines;  // the summary, one line per item, without the program name
  // The lines of `lines` printed even with --quiet: KestrelDB emptied.
  std::vector<std::string> loudLines;
  int exitStatus = kExitOk;
  std::string failure;  // the one-line message of a failed sync, without the program name
};

// The summary lines (data folder, each task database, the import) and the
// exit status: 0 when nothing failed and the conduit returned 0, or 1 only
// because the data folder holds no import file; else 1, with `failure`
// saying what failed first.
SyncVerdict Judge(const SyncFacts& facts);

// The number of task lines in a backup file: its non-empty lines after the
// header. 0 when it cannot be read.
std::size_t CountTaskLines(const std::filesystem::path& file);

}  // namespace kestrel::cli
