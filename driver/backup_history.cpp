// SPDX-License-Identifier: MIT
#include "driver/backup_history.h"

#include <optional>
#include <vector>

#include "driver/generation_names.h"
#include "platform/file_store.h"
#include "platform/text_file.h"

namespace kestrel {
namespace {

constexpr char kHistoryFolder[] = "history";
constexpr char kBackupsFolder[] = "backups";
constexpr char kImportsFolder[] = "imports";
// A copy is written under a name of this form until it is whole.
constexpr char kCopySuffix[] = ".kestrel-history-new";
constexpr std::size_t kPieceSize = std::size_t{1} << 16;
// Names of one second are numbered this far at most.
constexpr unsigned kMostNumbers = 9999;

// The history folder of a stem: the stem, unless it would name no folder of
// its own ("", ".", ".."), and then the backup file's name.
std::string StemFolder(std::string_view stem) {
  std::string name(stem);
  if (stem.empty() || stem == "." || stem == "..") name += ".csv";
  return name;
}

// Whether two open files hold the same bytes, sizes compared first;
// nothing when one could not be read.
std::optional<bool> SameBytes(const StoreFile& a, const StoreFile& b) {
  FileStoreCalls& store = FileStore();
  FileIdentity first;
  FileIdentity second;
  if (!store.identify(a.Handle(), &first) || !store.identify(b.Handle(), &second)) {
    return std::nullopt;
  }
  if (first.size != second.size) return false;
  std::vector<char> pieceA(kPieceSize);
  std::vector<char> pieceB(kPieceSize);
  for (std::uint64_t at = 0; at < first.size;) {
    const long long gotA = store.read(a.Handle(), at, pieceA.data(), kPieceSize);
    if (gotA <= 0) return std::nullopt;
    const auto length = static_cast<std::size_t>(gotA);
    std::size_t gotB = 0;
    while (gotB < length) {
      const long long got = store.read(b.Handle(), at + gotB, pieceB.data() + gotB, length - gotB);
      if (got <= 0) return std::nullopt;
      gotB += static_cast<std::size_t>(got);
    }
    if (!std::equal(pieceA.begin(), pieceA.begin() + static_cast<std::ptrdiff_t>(length),
                    pieceB.begin())) {
      return false;
    }
    at += length;
  }
  return true;
}

// Copies all of `source` into `target`, then onto the disk.
bool CopyBytes(const StoreFile& source, const StoreFile& target) {
  FileStoreCalls& store = FileStore();
  std::vector<char> piece(kPieceSize);
  for (std::uint64_t at = 0;;) {
    const long long got = store.read(source.Handle(), at, piece.data(), kPieceSize);
    if (got < 0) return false;
    if (got == 0) break;
    if (!store.write(target.Handle(), piece.data(), static_cast<std::size_t>(got))) return false;
    at += static_cast<std::uint64_t>(got);
  }
  return store.flush(target.Handle());
}

// Gives the open file `source` a generation name of `time` in `folder`
// (whose names are `names`), the first free one from the next number on: by
// a hard link where `link` and the file system allows, otherwise by a whole
// copy. The name, or empty when it could not be done.
class Placement {
 public:
  Placement(const std::string& folder, const std::string& time,
            const std::vector<std::string>& names)
      : folder_(folder), time_(time), first_(NextGenerationNumber(names, time)) {}

  std::string Place(const StoreFile& source, const SystemPath& sourcePath, bool link) {
    if (link) {
      for (unsigned number = first_; number <= kMostNumbers; ++number) {
        const std::string name = GenerationName(time_, number);
        const PlaceResult result =
            FileStore().link(source.Handle(), sourcePath, ToSystemPath(Path(name)));
        if (result == PlaceResult::Placed) return name;
        if (result == PlaceResult::Refused) break;
        if (result != PlaceResult::Exists) return {};
      }
    }
    return Copy(source);
  }

 private:
  std::string Path(const std::string& name) const { return folder_ + kPathSeparator + name; }

  std::string Copy(const StoreFile& source) {
    NewStoreFile copy;
    if (!copy.Create(ToSystemPath(Path(NewFileDigits() + kCopySuffix)))) return {};
    if (!CopyBytes(source, copy.file)) return {};
    copy.file.Close();
    for (unsigned number = first_; number <= kMostNumbers; ++number) {
      const std::string name = GenerationName(time_, number);
      const PlaceResult result = FileStore().placeNew(copy.Path(), ToSystemPath(Path(name)));
      if (result == PlaceResult::Placed) {
        copy.Placed();
        return name;
      }
      if (result != PlaceResult::Exists) return {};
    }
    return {};
  }

  const std::string& folder_;
  const std::string& time_;
  unsigned first_;
};

// Removes the oldest generations of `names` beyond the limit, never `kept`.
void Prune(const std::string& folder, const std::vector<std::string>& names, const std::string& now,
           const std::string& kept) {
  for (const std::string& name : GenerationsToRemove(GenerationsUpTo(names, now), kept)) {
    FileStore().remove(ToSystemPath(folder + kPathSeparator + name), false);
  }
}

}  // namespace

std::string BackupHistory::Folder(std::initializer_list<std::string_view> parts) const {
  std::string path = folder_;
  for (const std::string_view part : parts) {
    path += kPathSeparator;
    path += part;
  }
  return path;
}

bool BackupHistory::MakeFolders(std::initializer_list<std::string_view> parts) {
  std::string path = folder_;
  for (const std::string_view part : parts) {
    path += kPathSeparator;
    path += part;
    const SystemPath system = ToSystemPath(path);
    if (system.empty() || !FileStore().makeFolder(system)) return false;
  }
  return true;
}

bool BackupHistory::KeepOldBackup(std::string_view stem, const SystemPath& oldFile,
                                  const SystemPath& newFile, BackupRecord& record) {
  record.old = OldBackup::NotKept;
  StoreFile old;
  switch (FileStore().openRegular(oldFile, false, old.ToFill())) {
    case OpenResult::Missing:
      record.old = OldBackup::None;
      return true;
    case OpenResult::NotRegular:
      record.old = OldBackup::NotAFile;
      return true;
    case OpenResult::Failed:
      return false;
    case OpenResult::Opened:
      break;
  }
  StoreFile fresh;
  if (FileStore().openRegular(newFile, false, fresh.ToFill()) != OpenResult::Opened) return false;
  const std::optional<bool> same = SameBytes(old, fresh);
  if (!same) return false;
  if (*same) {
    record.old = OldBackup::Unchanged;
    return true;
  }
  fresh.Close();
  const std::string stemFolder = StemFolder(stem);
  if (!MakeFolders({kHistoryFolder, kBackupsFolder, stemFolder})) return false;
  const std::string folder = Folder({kHistoryFolder, kBackupsFolder, stemFolder});
  std::vector<std::string> names;
  if (!FileStore().list(ToSystemPath(folder), &names)) return false;
  const std::string name = Placement(folder, syncTime_, names).Place(old, oldFile, true);
  if (name.empty()) return false;
  old.Close();
  record.old = OldBackup::Kept;
  record.generation = folder + kPathSeparator + name;
  names.push_back(name);
  Prune(folder, names, syncTime_, name);
  return true;
}

ImportCopy BackupHistory::KeepImport(const std::string& importPath, std::string* generation) {
  const SystemPath importFile = ToSystemPath(importPath);
  StoreFile import;
  if (importFile.empty() ||
      FileStore().openRegular(importFile, true, import.ToFill()) != OpenResult::Opened) {
    return ImportCopy::Failed;
  }
  if (!MakeFolders({kHistoryFolder, kImportsFolder})) return ImportCopy::Failed;
  const std::string folder = Folder({kHistoryFolder, kImportsFolder});
  std::vector<std::string> names;
  if (!FileStore().list(ToSystemPath(folder), &names)) return ImportCopy::Failed;
  const std::vector<Generation> generations = GenerationsUpTo(names, syncTime_);
  if (!generations.empty()) {
    const std::string newest = folder + kPathSeparator + generations.back().name;
    StoreFile kept;
    const OpenResult opened = FileStore().openRegular(ToSystemPath(newest), false, kept.ToFill());
    if (opened == OpenResult::Failed) return ImportCopy::Failed;
    if (opened == OpenResult::Opened) {
      const std::optional<bool> same = SameBytes(import, kept);
      if (!same) return ImportCopy::Failed;
      if (*same) {
        *generation = newest;
        return ImportCopy::Unchanged;
      }
    }
  }
  // A copy, never a link: the import file stays in place and is rewritten
  // in place by editors and redirects.
  const std::string name = Placement(folder, syncTime_, names).Place(import, importFile, false);
  if (name.empty()) return ImportCopy::Failed;
  import.Close();
  *generation = folder + kPathSeparator + name;
  names.push_back(name);
  Prune(folder, names, syncTime_, name);
  return ImportCopy::Kept;
}

void RemoveBackupLeftovers(const std::string& folder) {
  std::vector<std::string> names;
  const SystemPath system = ToSystemPath(folder);
  if (system.empty() || !FileStore().list(system, &names)) return;
  for (const std::string& name : names) {
    // A link of the form is taken away itself; what it leads to stays.
    if (IsBackupLeftover(name)) {
      FileStore().remove(ToSystemPath(folder + kPathSeparator + name), true);
    }
  }
}

}  // namespace kestrel
