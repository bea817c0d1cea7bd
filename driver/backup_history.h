// SPDX-License-Identifier: MIT
// The backup history in the data folder: before a new backup replaces
// `<stem>.csv`, the old file is kept as history/backups/<stem>/<generation>,
// and the import file that a sync imports as history/imports/<generation>
// (generation_names.h). A generation is added only when the bytes differ
// from the file it would follow, kept by a hard link or, where the file
// system makes none, by a copy that is renamed to its name only once it is
// whole on the disk. Each folder keeps 20 generations. Only the four folders
// "history", "history/backups", "history/backups/<stem>", "history/imports"
// are ever made, never through a link; nothing else under history/ is ever
// removed. Every call goes through the file store (platform/file_store.h).
#pragma once

#include <string>
#include <string_view>

#include "driver/sync_report.h"
#include "platform/system_path.h"

namespace kestrel {

class BackupHistory {
 public:
  // The history of the data folder `folder` (as the registry names it), for
  // the sync that started at `syncTime` ("YYYYMMDD-HHMMSS").
  BackupHistory(std::string folder, std::string syncTime)
      : folder_(std::move(folder)), syncTime_(std::move(syncTime)) {}

  // Before the complete new backup `newFile` replaces `oldFile`, the backup
  // of stem `stem` (as written): keeps the old file when it is a regular
  // file whose bytes differ from the new one's. Fills record.old (and
  // record.generation); false when it could not be kept, and then the old
  // file must not be replaced.
  bool KeepOldBackup(std::string_view stem, const SystemPath& oldFile, const SystemPath& newFile,
                     BackupRecord& record);

  // Keeps a copy of the import file `importPath` unless its bytes equal the
  // newest generation's. Kept, Unchanged, or Failed.
  ImportCopy KeepImport(const std::string& importPath, std::string* generation);

 private:
  std::string Folder(std::initializer_list<std::string_view> parts) const;
  bool MakeFolders(std::initializer_list<std::string_view> parts);

  std::string folder_;
  std::string syncTime_;
};

// Removes the leftovers of stopped runs from the data folder `folder`: new
// backup files of the two forms of IsBackupLeftover that no running sync
// holds, whatever database they were for, and links of those forms.
void RemoveBackupLeftovers(const std::string& folder);

}  // namespace kestrel
