#include "driver/sync_run.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "driver/conduit.h"
#include "driver/data_folder.h"
#include "driver/file_names.h"
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

Status SyncRun::Execute() {
  Log("", LogSyncStarted);

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

void SyncRun::BackupEntry(const DatabaseInfo& entry) {
  if (entry.type != kTypeData || entry.creator != kCreatorTkpl) return;

  databaseName_.assign(EntryName(entry));
  // The open's status says nothing the handle does not: a database that
  // gave no handle is skipped.
  OpenDatabase(databaseName_.c_str(), 0, database_.HandleToFill(), ModeRead);
  if (!database_.IsOpen()) return;

  backupPath_.clear();
  if (ReadDataFolder(backupPath_) != StatusOk) {
    database_.Close();
    return;
  }
  backupNames_.Append(backupPath_, databaseName_);

  result_ = OpenTextFile(backupFile_, TextFileMode::CreateWrite, backupPath_);
  if (result_ == StatusOk) {
    result_ = BackupDatabase(database_.Handle(), backupFile_);
    // The new file replaces the last backup only once it is whole on the
    // disk; when it is not, the last backup stays and this one has failed.
    if (backupFile_.Close() != StatusOk && result_ == StatusOk) result_ = StatusFailed;
  }
  database_.Close();
  if (result_ == StatusOk) return;
  if (firstBackupFailure_ == StatusOk) firstBackupFailure_ = result_;
  if (databaseName_ == kImportDatabaseName && importDatabaseBackupFailure_ == StatusOk) {
    importDatabaseBackupFailure_ = result_;
  }
}

bool SyncRun::ImportPhase() {
  if (ReadDataFolder(importPath_) != StatusOk) return false;
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

}  // namespace kestrel
