// SPDX-License-Identifier: MIT
#include "driver/sync_run.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "driver/backup_history.h"
#include "driver/conduit.h"
#include "driver/data_folder.h"
#include "driver/file_names.h"
#include "driver/generation_names.h"
#include "transfer/passes.h"

namespace kestrel {
namespace {

void Log(const char* text, std::int32_t activity) { LogMessage(text, activity, 0); }

// The name in a list entry: up to its NUL, never past its 32 bytes.
std::string_view EntryName(const DatabaseInfo& entry) {
  const void* nul = std::memchr(entry.name, '\0', sizeof entry.name);
  const std::size_t length =
      nul == nullptr ? sizeof entry.name : static_cast<const char*>(nul) - entry.name;
  return std::string_view(entry.name, length);
}

NewDatabaseSpec ImportDatabaseSpec() {
  NewDatabaseSpec newDb{};
  newDb.creator = kCreatorTkpl;
  newDb.flags = kImportDatabaseFlags;
  std::memcpy(newDb.name, kImportDatabaseName, sizeof kImportDatabaseName);
  newDb.type = kTypeData;
  return newDb;
}

}  // namespace

Status ReportOutOfMemory() noexcept {
  // The host's log takes a C string and allocates nothing of ours; a log
  // that is itself out of memory must still not let anything through.
  try {
    Log(kOutOfMemoryText, LogFailure);
  } catch (...) {
  }
  return StatusAllocFailed;
}

SyncRun::SyncRun() : syncTime_(GenerationTime(SyncClockNow())) {}

Status SyncRun::Execute() {
  ReportOfThisSync() = SyncReport{};
  ReportOfThisSync().syncTime = syncTime_;
  Log("", LogSyncStarted);
  RemoveLeftovers();

  list_.resize(kMaxListedDatabases);
  count_ = kMaxListedDatabases;
  if (ListDatabases(0, 0, 1, list_.data(), &count_) == StatusOk && count_ > 0) {
    // The host never reports more than it was given room for; should it,
    // the entries past the list are not there to be read.
    const std::int32_t entries = std::min(count_, kMaxListedDatabases);
    for (std::int32_t i = 0; i < entries; ++i) BackupEntry(list_[i]);
  }
  std::vector<DatabaseInfo>().swap(list_);

  const bool ended = ImportPhase();
  if (!ended) Log(kConduitName, LogSyncFinished);
  // A backup that failed is never reported as success.
  if (result_ == StatusOk) result_ = firstBackupFailure_;
  return result_;
}

void SyncRun::RemoveLeftovers() {
  if (ReadDataFolder(folder_) == StatusOk) RemoveBackupLeftovers(folder_);
}

void SyncRun::BackupEntry(const DatabaseInfo& entry) {
  if (entry.type != kTypeData || entry.creator != kCreatorTkpl) return;
  databaseName_.assign(EntryName(entry));
  // A database that gave no handle is skipped; but KestrelDB, which the
  // import would empty, then counts as not backed up.
  const Status opened = OpenDatabase(databaseName_.c_str(), 0, database_.HandleToFill(), ModeRead);
  if (!database_.IsOpen()) {
    if (databaseName_ == kImportDatabaseName && importDatabaseBackupFailure_ == StatusOk) {
      importDatabaseBackupFailure_ = opened != StatusOk ? opened : StatusFailed;
    }
    return;
  }
  if (ReadDataFolder(folder_) != StatusOk) {
    database_.Close();
    return;
  }
  backupPath_ = folder_;
  const StemPair stem = backupNames_.Append(backupPath_, databaseName_);
  result_ = WriteBackup(stem);
  database_.Close();
  if (result_ != StatusOk) NoteBackupFailure(result_);
}

Status SyncRun::WriteBackup(const StemPair& stem) {
  Status status = OpenTextFile(backupFile_, TextFileMode::CreateWrite, backupPath_);
  if (status != StatusOk) return status;
  status = BackupDatabase(database_.Handle(), backupFile_);
  // The new file replaces the last backup only once it is whole on the disk
  // and the last one is kept in the history; when either fails, the last
  // backup stays and this one has failed.
  BackupRecord record;
  record.database = databaseName_;
  record.backupPath = backupPath_;
  BackupHistory history(folder_, syncTime_);
  const auto keepOld = [&](const SystemPath& newFile, const SystemPath& oldFile) {
    return history.KeepOldBackup(stem.written, oldFile, newFile, record);
  };
  const Status closed = backupFile_.Close(keepOld);
  if (closed != StatusOk && status == StatusOk) status = StatusFailed;
  if (closed == StatusOk || record.old == OldBackup::NotKept) {
    record.replaced = closed == StatusOk;
    ReportOfThisSync().backups.push_back(std::move(record));
  }
  return status;
}

void SyncRun::NoteBackupFailure(Status status) {
  if (firstBackupFailure_ == StatusOk) firstBackupFailure_ = status;
  if (databaseName_ == kImportDatabaseName && importDatabaseBackupFailure_ == StatusOk) {
    importDatabaseBackupFailure_ = status;
  }
}

bool SyncRun::ImportPhase() {
  if (ReadDataFolder(folder_) != StatusOk) return false;
  importPath_ = folder_;
  AppendImportName(importPath_);
  database_.Close();

  result_ = OpenTextFile(importFile_, TextFileMode::Read, importPath_);
  if (result_ != StatusOk) return false;

  // KestrelDB is never emptied while its records are in no file.
  if (importDatabaseBackupFailure_ != StatusOk) {
    Log(kNotBackedUpText, LogFailure);
    importFile_.Close();
    result_ = importDatabaseBackupFailure_;
    return false;
  }

  databaseName_ = kImportDatabaseName;
  result_ = OpenDatabase(databaseName_.c_str(), 0, database_.HandleToFill(), ModeReadWrite);
  if (result_ == StatusNotFound) {
    database_.Forget();
    NewDatabaseSpec newDb = ImportDatabaseSpec();
    result_ = CreateDatabase(&newDb);
    if (result_ != StatusOk) {
      Log(kCannotCreateText, LogFailure);
      importFile_.Close();
      return true;
    }
    database_.Adopt(newDb.handle);
  }

  if (result_ == StatusOk) {
    KeepImportFile();
    result_ = ImportTaskFile(importFile_, database_.Handle());
    database_.Close();
    Log(kTransferredText, LogText);
  } else {
    // A refused open leaves nothing of ours to close.
    database_.Forget();
    Log(kCannotCreateText, LogFailure);
  }
  importFile_.Close();
  return false;
}

void SyncRun::KeepImportFile() {
  SyncReport& report = ReportOfThisSync();
  report.importCopy =
      BackupHistory(folder_, syncTime_).KeepImport(importPath_, &report.importGeneration);
}

}  // namespace kestrel
