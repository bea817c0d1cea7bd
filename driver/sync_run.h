// SPDX-License-Identifier: MIT
// One synchronisation: the backup phase over every task database on the
// handheld, then the import phase that refills "KestrelDB" from the import
// file. OpenConduit runs one SyncRun per call; whatever a run acquires is
// released before Execute() returns or throws, on every path, in reverse
// order of acquisition.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/file_names.h"
#include "driver/opened_database.h"
#include "driver/sync_report.h"
#include "handheld/sync_services.h"
#include "platform/text_file.h"

namespace kestrel {

// The most databases of the handheld's list that are looked at.
inline constexpr std::int32_t kMaxListedDatabases = 100;
inline constexpr char kImportDatabaseName[] = "KestrelDB";
inline constexpr std::uint32_t kImportDatabaseFlags = 8;

inline constexpr char kOutOfMemoryText[] = "\tError: Failed to allocate enough PC memory";
inline constexpr char kCannotCreateText[] = "\tImport project cannot be created";
inline constexpr char kTransferredText[] = "\tImport.csv transferred to Kestrelplan";
inline constexpr char kNotBackedUpText[] =
    "\tError: KestrelDB not backed up; Import.csv not transferred";

// What sync_report.h's setters set, for the run; and the report it fills.
std::int64_t SyncClockNow();
const NameConversion& BackupNameConversion();
SyncReport& ReportOfThisSync();

class SyncRun {
 public:
  // Reads the sync clock: the time of every generation this run keeps.
  SyncRun();
  SyncRun(const SyncRun&) = delete;
  SyncRun& operator=(const SyncRun&) = delete;

  // Runs the synchronisation once and returns the status of the last step
  // that set one; when that is 0 but a backup of this sync failed, the
  // status of the first backup that failed. Throws std::bad_alloc when
  // memory runs out; the caller reports that with ReportOutOfMemory().
  Status Execute();

 private:
  void BackupEntry(const DatabaseInfo& entry);
  // Writes the backup of the open database_ to backupPath_, keeping the old
  // backup in the history first; the status of the backup.
  Status WriteBackup(const StemPair& stem);
  void NoteBackupFailure(Status status);
  void RemoveLeftovers();
  // Returns true when the run is to end now with result_ (no finish entry).
  bool ImportPhase();
  // Keeps a copy of the import file in the history, for the import that runs now.
  void KeepImportFile();

  // Declared in acquisition order, so that they go in reverse: a backup file
  // before its database, the database before the list; in the import phase
  // the database before the import file.
  TextFile importFile_;
  std::vector<DatabaseInfo> list_;
  std::int32_t count_ = 0;
  OpenedDatabase database_;
  TextFile backupFile_;

  std::string syncTime_;
  std::string folder_;  // the data folder, as read for the file at hand
  std::string backupPath_;
  std::string importPath_;
  std::string databaseName_;
  BackupNames backupNames_{BackupNameConversion()};
  Status result_ = StatusOk;
  // A backup failed when its file could not be created or replaced, a record
  // could not be read or the file not written whole: the status of the
  // first such failure, and of KestrelDB's own.
  Status firstBackupFailure_ = StatusOk;
  Status importDatabaseBackupFailure_ = StatusOk;
};

// Logs "\tError: Failed to allocate enough PC memory" as a failure and
// returns StatusAllocFailed. Allocates nothing and never throws.
Status ReportOutOfMemory() noexcept;

}  // namespace kestrel
