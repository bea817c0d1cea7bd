// SPDX-License-Identifier: MIT
// What a program that runs the conduit (kestrel-sync, a test) may set before
// OpenConduit and read after it; the host of the DLL sets nothing and gets
// the defaults. One sync at a time, on one thread, as the host runs them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/file_names.h"

namespace kestrel {

// Seconds since 1970-01-01 UTC; read once, at the entry into OpenConduit,
// for the names of the generations that the sync keeps.
using SyncClock = std::int64_t (*)();
// nullptr: the system's clock.
void SetSyncClock(SyncClock clock);

// How backup stems are written as file names (file_names.h), for the
// backups' names and their history folders; empty: as they are.
void SetBackupNameConversion(NameConversion conversion);

// What became of the backup that a new one replaced.
enum class OldBackup {
  None,       // there was none
  Unchanged,  // its bytes were the new one's: no generation
  NotAFile,   // a link, a FIFO, a device stood there: replaced, nothing kept
  Kept,       // kept as `generation`
  NotKept,    // it could not be kept, so the backup failed and it stays in place
};

struct BackupRecord {
  std::string database;    // the handheld database's name
  std::string backupPath;  // its backup file
  OldBackup old = OldBackup::None;
  std::string generation;  // with Kept: the path of the generation in the history
  bool replaced = false;   // the new backup took the old one's place
};

enum class ImportCopy {
  NotImported,  // no import ran
  Kept,         // kept as `importGeneration`
  Unchanged,    // its bytes were the newest generation's: none added
  Failed,       // no copy could be made; the import ran all the same
};

struct SyncReport {
  std::string syncTime;  // "YYYYMMDD-HHMMSS", UTC, when OpenConduit was entered
  // Each backup that was written whole, in order, and each whose old file
  // could not be kept (NotKept, not replaced).
  std::vector<BackupRecord> backups;
  ImportCopy importCopy = ImportCopy::NotImported;
  std::string importGeneration;  // with Kept (or Unchanged: the newest there)
};

// The report of the last sync in this process; empty before the first. It
// is filled as the sync goes, so a sync that ran out of memory leaves what
// it had done.
const SyncReport& LastSyncReport();

}  // namespace kestrel
