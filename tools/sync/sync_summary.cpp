// SPDX-License-Identifier: MIT
#include "tools/sync/sync_summary.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <system_error>

#include "driver/file_names.h"
#include "driver/sync_run.h"
#include "host/handheld.h"
#include "tools/sync/host_files.h"
#include "tools/sync/import_reading.h"
#include "transfer/passes.h"

namespace kestrel::cli {
namespace fs = std::filesystem;
namespace {

// Built piece by piece: GCC 12 at -O3 takes `"\"" + std::string(name)` for
// an overlapping copy (-Wrestrict).
std::string Quoted(std::string_view name) {
  std::string quoted(1, '"');
  quoted.append(name).push_back('"');
  return quoted;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// "status N (0xHHHH)".
std::string StatusOf(Status status) { return StatusText(status).substr(8); }

// The regular files of `after` that are new or were replaced since `before`.
std::vector<std::string> Written(const FolderState& before, const FolderState& after) {
  std::vector<std::string> names;
  for (const auto& [name, state] : after) {
    if (!state.regular) continue;
    const auto old = before.find(name);
    if (old == before.end() || !(old->second == state)) names.push_back(name);
  }
  return names;
}

// A log text without its leading tabs and "Error: ".
std::string Plain(std::string_view text) {
  while (!text.empty() && text.front() == '\t') text.remove_prefix(1);
  if (text.starts_with("Error: ")) text.remove_prefix(7);
  return std::string(text);
}

// What the conduit reported of the backup of `database`; nullptr when it
// reported nothing of it, or the host cannot read its report.
const BackupRecord* RecordOf(const SyncFacts& facts, std::string_view database) {
  if (facts.report == nullptr) return nullptr;
  for (const BackupRecord& record : facts.report->backups) {
    if (record.database == database) return &record;
  }
  return nullptr;
}

// A path the conduit named in the watched data folder, as the user named
// that folder.
std::string Shown(const SyncFacts& facts, const fs::path& path) {
  if (!facts.watch->DataFolder()) return path.string();
  const fs::path relative = path.lexically_relative(*facts.watch->DataFolder());
  if (relative.empty() || *relative.begin() == "..") return path.string();
  return (facts.shownFolder / relative).string();
}

// "2026-12-11 15:15:00 UTC" of a generation's file name
// "20261211-151500[-N].csv"; the name itself when it is of no such form.
std::string GenerationTime(const fs::path& generation) {
  const std::string name = generation.filename().string();
  const bool named = name.size() >= 15 && name[8] == '-' &&
                     std::all_of(name.begin(), name.begin() + 15,
                                 [](char c) { return c == '-' || (c >= '0' && c <= '9'); });
  if (!named) return name;
  return name.substr(0, 4) + "-" + name.substr(4, 2) + "-" + name.substr(6, 2) + " " +
         name.substr(9, 2) + ":" + name.substr(11, 2) + ":" + name.substr(13, 2) + " UTC";
}

}  // namespace

SyncWatch::SyncWatch(std::optional<fs::path> dataFolder) {
  std::error_code ec;
  if (dataFolder && fs::is_directory(*dataFolder, ec)) {
    folder_ = std::move(dataFolder);
    last_ = ReadFolderState(*folder_);
  }
}

void SyncWatch::Observe(const host::OperationEvent& event) {
  const bool inBackup = open_ && backups_[*open_].database == event.database;
  switch (event.op) {
    case host::Operation::Open:
      if ((event.mode & (ModeReadWrite & ~ModeRead)) == 0) {
        backups_.push_back(BackupSeen{std::string(event.database), event.status, {}, {}, StatusOk});
        if (event.status == StatusOk) open_ = backups_.size() - 1;
      } else {
        import_.database = event.database;
        import_.openStatus = event.status;
      }
      break;
    case host::Operation::Create:
      import_.database = event.database;
      import_.createTried = true;
      import_.createStatus = event.status;
      break;
    case host::Operation::Read:
      // Only a failure matters, and where it came: the index asked for.
      if (!inBackup) break;
      if (event.status != StatusOk && event.status != StatusNotFound &&
          !backups_[*open_].failedRead) {
        backups_[*open_].failedRead = event.record;
        backups_[*open_].readStatus = event.status;
      }
      break;
    case host::Operation::Close:
      if (!inBackup) break;
      if (folder_) {
        FolderState now = ReadFolderState(*folder_);
        backups_[*open_].files = Written(last_, now);
        last_ = std::move(now);
      }
      open_.reset();
      break;
    case host::Operation::Clear:
      import_.clearTried = true;
      import_.clearStatus = event.status;
      break;
    case host::Operation::Write:
      if (event.status == StatusOk) {
        ++import_.written;
      } else if (!import_.writeFailure) {
        import_.writeFailure = event.status;
      }
      break;
    case host::Operation::List:
    case host::Operation::Log:
      break;
  }
}

std::size_t CountTaskLines(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return 0;
  std::ifstream in(file, std::ios::binary);
  std::size_t lines = 0;
  bool header = true;
  bool empty = true;  // the line so far holds nothing but CRs
  static char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    // Line break by line break (memchr), each line looked at only until
    // its first byte that is not a CR: a backup of a million lines is
    // counted in a few milliseconds.
    const char* at = buffer;
    const char* const end = buffer + in.gcount();
    while (at < end) {
      const char* const lineBreak =
          static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
      const char* const stop = lineBreak != nullptr ? lineBreak : end;
      for (; empty && at < stop; ++at) empty = *at == '\r';
      if (lineBreak == nullptr) break;
      if (!header && !empty) ++lines;
      header = false;
      empty = true;
      at = lineBreak + 1;
    }
  }
  if (!header && !empty) ++lines;
  return lines;
}

namespace {

// What the judgements build up: the summary lines and every failure, the
// first of which the one-line message names.
struct Judging {
  const SyncFacts& facts;
  SyncVerdict verdict;
  std::vector<std::string> failures;
  bool importTried = false;

  void Line(std::string line) { verdict.lines.push_back(std::move(line)); }
  void Failure(std::string line, std::string failure) {
    Line(std::move(line));
    failures.push_back(std::move(failure));
  }
};

void JudgeDataFolder(Judging& j) {
  const DataFolderSetting& setting = *j.facts.setting;
  if (setting.problem) {
    j.Failure(*setting.problem, *setting.problem);
  } else {
    j.Line("data folder " + j.facts.shownFolder.string() + " (from " + setting.source + ")" +
           (j.facts.dryRun ? "; dry run: the backups went to a scratch folder" : ""));
  }
  if (j.facts.noPalmFiles) {
    j.Line(j.facts.handheldDir +
           " holds no Palm database file (*.pdb, *.prc): is it the data folder? A handheld "
           "folder holds the handheld's database files");
  }
}

std::string TaskLines(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " task line" : " task lines");
}

// Why the handheld would not open a database, as the user can act on it.
std::string OpenFailure(Status status) {
  if (status == host::kStatusOutOfMemory) {
    return "out of memory (" + StatusOf(status) + "); sync again with more memory free";
  }
  if (status == host::kStatusUnreadable) {
    return "its file could not be read (" + StatusOf(status) + ")";
  }
  return StatusOf(status);
}

// A backup that wrote no file: why, as far as the host can tell.
std::string NoBackupReason(const Judging& j, const BackupSeen& backup,
                           const std::string& readFailure) {
  const SyncWatch& watch = *j.facts.watch;
  const std::string shown = j.facts.shownFolder.string();
  if (!watch.DataFolder()) return "no data folder";
  if (backup.failedRead) return readFailure;
  if (const BackupRecord* record = RecordOf(j.facts, backup.database);
      record != nullptr && record->old == OldBackup::NotKept) {
    return "the previous " + fs::path(record->backupPath).filename().string() +
           " could not be kept in " + (j.facts.shownFolder / "history").string() +
           ", so it stays in place; make room there, or remove what stands in the way, and sync "
           "again";
  }
  if (!FolderWritable(*watch.DataFolder())) return "the data folder " + shown + " is not writable";
  return "no backup file was written in " + shown;
}

// The generation a backup that changed kept of the file it replaced.
void JudgeKept(Judging& j, const BackupSeen& backup) {
  const BackupRecord* record = RecordOf(j.facts, backup.database);
  if (record == nullptr || record->old != OldBackup::Kept) return;
  j.Line((j.facts.dryRun ? "would keep the previous " : "kept the previous ") +
         fs::path(record->backupPath).filename().string() + " as " +
         Shown(j.facts, record->generation));
}

void JudgeBackup(Judging& j, const BackupSeen& backup) {
  const SyncWatch& watch = *j.facts.watch;
  const std::string name = Quoted(backup.database);
  if (backup.openStatus != StatusOk) {
    j.Failure(name + " not backed up: the handheld could not open it: " +
                  OpenFailure(backup.openStatus),
              name + " was not backed up");
    return;
  }
  const std::string readFailure = backup.failedRead
                                      ? "reading record " + std::to_string(*backup.failedRead) +
                                            " failed (" + StatusOf(backup.readStatus) + ")"
                                      : "";
  if (backup.files.empty() || !watch.DataFolder()) {
    const std::string line = name + " not backed up: " + NoBackupReason(j, backup, readFailure);
    // Without a data folder that is the one failure, already counted.
    if (j.facts.setting->problem) {
      j.Line(line);
    } else {
      j.Failure(line, name + " was not backed up");
    }
    return;
  }
  const std::string& file = backup.files.front();
  const std::string where = (j.facts.shownFolder / file).string();
  const std::string count = " (" + TaskLines(CountTaskLines(*watch.DataFolder() / file)) + ")";
  const std::string backedUp = j.facts.dryRun ? "would back up " : "backed up ";
  if (backup.failedRead) {
    j.Failure(backedUp + name + " in part to " + where + count + ": " + readFailure,
              name + " was backed up in part");
  } else {
    j.Line(backedUp + name + " to " + where + count);
  }
  JudgeKept(j, backup);
}

// Task databases the conduit never opened: past the 100 it lists, or one
// whose open the handheld could not even answer (it ran out of memory).
void JudgeUnopened(Judging& j) {
  std::size_t index = 0;
  for (const DatabaseListing& db : j.facts.databases) {
    ++index;
    if (!db.IsTaskDatabase()) continue;
    const auto& seen = j.facts.watch->Backups();
    const bool opened = std::any_of(seen.begin(), seen.end(), [&db](const BackupSeen& b) {
      return b.database == db.name;
    });
    if (opened) continue;
    const std::string name = Quoted(db.name);
    const std::string why =
        index > static_cast<std::size_t>(kMaxListedDatabases)
            ? "it is database " + std::to_string(index) +
                  " of the handheld's list, and the conduit reads the first 100 databases"
            : "the handheld ran out of memory opening it; sync again with more memory free";
    j.Failure(name + " not backed up: " + why, name + " was not backed up");
  }
}

void JudgeBackups(Judging& j) {
  for (const auto& backup : j.facts.watch->Backups()) JudgeBackup(j, backup);
  const std::size_t before = j.verdict.lines.size();
  JudgeUnopened(j);
  if (j.facts.watch->Backups().empty() && j.verdict.lines.size() == before) {
    j.Line("no task database to back up");
  }
}

// What the sync log says of the import.
struct ImportLog {
  bool transferred = false;
  std::size_t skipped = 0;
  std::optional<std::string> failure;
};

ImportLog ReadImportLog(const SyncFacts& facts) {
  ImportLog log;
  for (const auto& [activity, text] : facts.log) {
    if (text == kTransferredText) log.transferred = true;
    if (text == kSkippedLineText) ++log.skipped;
    if (activity == LogFailure && !log.failure) log.failure = Plain(text);
  }
  return log;
}

std::string ImportPath(const SyncFacts& facts) {
  return (facts.shownFolder / (std::string(kImportStem) + kCsvExtension)).string();
}

// "imported 5 tasks from P (1 line skipped: line 4)".
std::string ImportedLine(const Judging& j, const ImportLog& log, const ImportReading& reading) {
  const std::size_t written = j.facts.watch->Import().written;
  std::string skipped = std::to_string(log.skipped) + (log.skipped == 1 ? " line" : " lines") +
                        " skipped";
  if (reading.read && !reading.rejected.empty()) skipped += ": " + LineNumbers(reading.rejected);
  return (j.facts.dryRun ? "would import " : "imported ") + std::to_string(written) +
         (written == 1 ? " task" : " tasks") + " from " + ImportPath(j.facts) + " (" + skipped +
         ")";
}

// KestrelDB emptied by an import of no task: where its tasks are now.
void JudgeEmptied(Judging& j) {
  std::string kept = "no file holds its tasks from before the import";
  for (const BackupSeen& backup : j.facts.watch->Backups()) {
    if (backup.database == kImportDatabaseName && !backup.files.empty() && !backup.failedRead) {
      kept = "its tasks from before the import are in " +
             (j.facts.shownFolder / backup.files.front()).string() +
             "; keep that file before the next sync replaces it";
    }
  }
  const std::string line = Quoted(j.facts.watch->Import().database) +
                           (j.facts.dryRun ? " would be empty: " : " is now empty: ") +
                           ImportPath(j.facts) + " holds no task to import; " + kept;
  j.Line(line);
  j.verdict.loudLines.push_back(line);
}

// What the import read other than a user may think it did.
void JudgeImportText(Judging& j, const ImportReading& r) {
  const std::string path = ImportPath(j.facts);
  if (r.utf16) {
    j.Line(path + " is in UTF-16: the import reads it byte by byte and stores no usable task; "
                  "save it as ANSI text");
  }
  if (!r.quoted.empty()) {
    j.Line(LineNumbers(r.quoted) + " of " + path + (r.quoted.size() == 1 ? " begins" : " begin") +
           " a field with a quotation mark: the import keeps the quotes as text and reads "
           "a quoted number as 0; save the file without quotes");
  }
  if (!r.nuls.empty()) {
    j.Line(LineNumbers(r.nuls) + " of " + path + (r.nuls.size() == 1 ? " holds" : " hold") +
           " NUL bytes: the import does not read such a line as written; remove them");
  }
  if (r.beyond) {
    j.Line("the lines of " + path + " after line 100 were not imported: the conduit reads " +
           "the first 100 lines; import the rest at the next sync");
  }
}

// The import file again, byte for byte: what the import replaced, and
// where the handheld's changes since the first import are kept.
void JudgeImportedBefore(Judging& j, const std::string& generation) {
  std::string kept;
  for (const BackupSeen& backup : j.facts.watch->Backups()) {
    if (backup.database != kImportDatabaseName || backup.files.empty() || backup.failedRead) {
      continue;
    }
    kept = "; they are in " + (j.facts.shownFolder / backup.files.front()).string();
    const BackupRecord* record = RecordOf(j.facts, backup.database);
    if (record != nullptr && record->old == OldBackup::Kept) {
      kept += " and " + Shown(j.facts, record->generation);
    }
  }
  if (kept.empty()) kept = "; no backup of this sync holds them";
  j.Line(ImportPath(j.facts) + " was imported before, at the sync of " +
         GenerationTime(generation) + " (" + Shown(j.facts, generation) +
         "): importing it again replaced the handheld's changes to " + Quoted(kImportDatabaseName) +
         " since" + kept +
         "; remove or rename the file after a sync unless it is to be imported again");
}

// The copy of the import file kept in the history, as far as it matters.
void JudgeImportCopy(Judging& j) {
  const SyncReport* report = j.facts.report;
  if (report == nullptr) return;
  if (report->importCopy == ImportCopy::Unchanged) {
    JudgeImportedBefore(j, report->importGeneration);
  } else if (report->importCopy == ImportCopy::Failed) {
    j.Line("the copy of " + ImportPath(j.facts) + " could not be kept in " +
           (j.facts.shownFolder / "history" / "imports").string() +
           "; the import ran all the same; make room there, or remove what stands in the way");
  }
}

// The import ran: what it did, and what the file held.
std::optional<std::string> JudgeImported(Judging& j, const ImportLog& log) {
  const ImportSeen& import = j.facts.watch->Import();
  ImportReading reading;
  if (j.facts.watch->DataFolder()) {
    reading = ReadImportFile(
        (*j.facts.watch->DataFolder() / (std::string(kImportStem) + kCsvExtension)).string());
  }
  if (!import.clearTried && !import.writeFailure) {
    return "the import did not run: " + ImportPath(j.facts) + " could not be read" +
           (reading.error.empty() ? "" : ": " + reading.error) + "; KestrelDB is unchanged";
  }
  if (import.writeFailure) {
    return ImportedLine(j, log, reading) + ", then writing a task failed (" +
           StatusOf(*import.writeFailure) + ")";
  }
  j.Line(ImportedLine(j, log, reading));
  JudgeImportCopy(j);
  if (reading.read) JudgeImportText(j, reading);
  if (import.written == 0) JudgeEmptied(j);
  return std::nullopt;
}

// No import: whether an import file stands there that was not read.
std::optional<std::string> JudgeNoImport(Judging& j) {
  const SyncFacts& facts = j.facts;
  const std::string importName = std::string(kImportStem) + kCsvExtension;
  const std::string importPath = ImportPath(facts);
  std::error_code ec;
  const fs::file_type type = fs::status(facts.shownFolder / importName, ec).type();
  if (type != fs::file_type::not_found && type != fs::file_type::none) {
    return "the import did not run: " + importPath +
           (type == fs::file_type::regular ? " could not be read" : " is not a regular file");
  }
  std::optional<std::string> lookalike;
  if (facts.caseSensitive) {
    for (fs::directory_iterator it(facts.shownFolder, ec), end; !ec && it != end;
         it.increment(ec)) {
      const std::string file = it->path().filename().string();
      if (file != importName && Lower(file) == importName) lookalike = file;
    }
  }
  if (lookalike) {
    return "the import did not run: " + (facts.shownFolder / *lookalike).string() +
           " differs from " + importName + " only in letter case, and is not read on " +
           facts.systemName;
  }
  j.Line("the import did not run: no import file " + importPath);
  return std::nullopt;
}

void JudgeImport(Judging& j) {
  const ImportLog log = ReadImportLog(j.facts);
  const ImportSeen& import = j.facts.watch->Import();
  const std::string target = Quoted(import.database);
  j.importTried = !import.database.empty() || log.transferred || log.failure.has_value();
  std::optional<std::string> failure;
  if (import.clearTried && import.clearStatus != StatusOk) {
    failure = "the import failed: the handheld refused to clear " + target + " (" +
              StatusOf(import.clearStatus) + ")";
  } else if (!import.database.empty() && import.openStatus != StatusOk &&
             (!import.createTried || import.createStatus != StatusOk)) {
    failure = "the import did not run: " + target + " could not be opened or created (" +
              StatusOf(import.createTried ? import.createStatus : import.openStatus) + ")";
  } else if (log.transferred) {
    failure = JudgeImported(j, log);
  } else if (log.failure) {
    failure = "the import did not run: " + *log.failure;
  } else if (!j.facts.watch->DataFolder()) {
    j.Line("the import did not run: no data folder");
  } else {
    failure = JudgeNoImport(j);
  }
  if (failure) {
    j.Failure(*failure, *failure);
    j.importTried = true;
  }
}

// 0 when nothing failed and the conduit returned 0, or 1 only because the
// data folder holds no import file; else 1, naming the first failure.
void JudgeExitStatus(Judging& j) {
  SyncVerdict& verdict = j.verdict;
  const Status status = j.facts.conduitStatus;
  if (!j.failures.empty()) {
    verdict.exitStatus = kExitFailed;
    verdict.failure = j.failures.front();
    if (j.failures.size() > 1) {
      verdict.failure += " (and " + std::to_string(j.failures.size() - 1) + " more)";
    }
    verdict.failure += "; " + StatusText(status);
  } else if (status == StatusOk || (status == StatusFailed && !j.importTried)) {
    verdict.exitStatus = kExitOk;
  } else {
    verdict.exitStatus = kExitFailed;
    verdict.failure = "the sync failed: " + StatusText(status);
  }
}

}  // namespace

SyncVerdict Judge(const SyncFacts& facts) {
  Judging j{facts, {}, {}, false};
  JudgeDataFolder(j);
  JudgeBackups(j);
  JudgeImport(j);
  JudgeExitStatus(j);
  return j.verdict;
}

}  // namespace kestrel::cli
