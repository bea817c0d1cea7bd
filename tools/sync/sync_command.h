// SPDX-License-Identifier: MIT
// The kestrel-sync command, once for every system: parse the options, print
// help or version, find the data folder, lock the handheld folder, load it,
// run the conduit, write the sync log, save, print the summary and finish
// with the exit status. Each system supplies only how it reaches the
// handheld, the conduit and the registry (SyncPlatform); the files the
// command opens itself are host_files.h.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "driver/sync_report.h"
#include "handheld/sync_services.h"
#include "host/handheld.h"
#include "tools/sync/sync_cli.h"

namespace kestrel::cli {

// One database of the handheld folder as a sync finds it, in list order.
struct DatabaseListing {
  std::string fileName;  // the file it was loaded from
  std::string name;
  std::uint32_t type = 0;
  std::uint32_t creator = 0;
  std::uint16_t attributes = 0;
  std::size_t live = 0;     // records that are not deleted
  std::size_t deleted = 0;  // records marked deleted
  bool counted = false;     // whether live and deleted could be counted
  // Whether the conduit backs it up: a record database of type "Data" and
  // creator "Tkpl".
  bool IsTaskDatabase() const;
};

// A handheld file the save wrote: a new one, or one it replaced.
struct SavedFile {
  std::string name;
  bool created = false;
};

class SyncPlatform {
 public:
  virtual ~SyncPlatform() = default;

  // The options this command offers.
  virtual OptionSet Offered() const = 0;
  // Whether names that differ only in letter case are different files, and
  // the system's name for messages ("Linux").
  virtual bool CaseSensitiveNames() const = 0;
  virtual std::string SystemName() const = 0;

  // The settings file this run reads (none with --no-config, and none where
  // the system has no such file). False with *error refuses the run.
  virtual bool ReadSettings(const SyncOptions& /*options*/, Settings* /*settings*/,
                            std::string* /*error*/) {
    return true;
  }
  // The conduit's name; false with *error when the conduit cannot be reached.
  virtual bool ConduitName(std::string* name, std::string* error) = 0;
  // Where this run's data folder comes from. False with *error refuses the
  // run before anything changes.
  virtual bool Configure(const SyncOptions& options, DataFolderSetting* setting,
                         std::string* error) = 0;
  // Points the conduit at `folder` instead, for a dry run.
  virtual void RedirectDataFolder(const std::string& folder) = 0;

  // Loads the handheld folder, with `clock` as the time of every change.
  virtual bool LoadHandheld(const std::string& folder, std::uint32_t clock, std::string* error) = 0;
  // Who is told of every operation the handheld answers from now on, of
  // the reads only those that answered other than 0.
  virtual void Watch(host::OperationObserver observer) = 0;
  virtual Status RunConduit() = 0;
  // The sync log: activity and text of each entry, in order.
  virtual std::vector<std::pair<std::int32_t, std::string>> SyncLog() = 0;
  // A file that changed under the sync, so the folder must not be saved;
  // empty when none did.
  virtual std::string LateError() = 0;
  // The databases the sync changed or created, by name, quoted.
  virtual std::vector<std::string> ChangedDatabases() = 0;
  // The live records of a database, for a dry run's preview.
  virtual std::vector<std::vector<std::uint8_t>> LiveRecords(const std::string& database) = 0;
  // With --charset: from now on the conduit's text files are kept in the
  // desktop's character set, converted from and to the handheld's. False
  // with *error refuses the run. Asked only where Offered() has charset.
  virtual bool UseCharsets(const SyncOptions& /*options*/, std::string* /*error*/) { return true; }
  // Summary lines on characters that could not be converted; none without
  // --charset.
  virtual std::vector<std::string> CharsetSummary() { return {}; }
  // The databases loaded, in list order, with their records counted when
  // `countRecords`; none where the system cannot tell them (then no check
  // rests on them).
  virtual std::vector<DatabaseListing> Databases(bool /*countRecords*/) { return {}; }
  // Whether the folder loaded held no Palm database file; false where the
  // system cannot tell.
  virtual bool NoPalmFiles() { return false; }
  // The conduit's report of the sync just run (its backups' history and the
  // import file's copy); nullptr where the system cannot read it.
  virtual const SyncReport* ConduitReport() { return nullptr; }
  // Writes back what changed; *saved gets the files written.
  // False with *error when the save failed.
  virtual bool SaveHandheld(std::vector<SavedFile>* saved, std::string* error) = 0;
};

// Runs the command with the arguments after the program name and returns
// its exit status. The sync log goes to standard output or --log; help and
// version to standard output; the summary and every message to standard
// error, one line each.
int RunSyncCommand(const std::vector<std::string>& args, SyncPlatform& platform);

}  // namespace kestrel::cli
