#include "tools/sync/sync_summary.h"

#include <cstring>
#include <fstream>
#include <system_error>

#include "driver/file_names.h"
#include "driver/sync_run.h"
#include "tools/sync/host_files.h"
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

SyncVerdict Judge(const SyncFacts& facts) {
  SyncVerdict verdict;
  std::vector<std::string> failures;
  const DataFolderSetting& setting = *facts.setting;
  const SyncWatch& watch = *facts.watch;
  const std::string shown = facts.shownFolder.string();
  const std::string backedUp = facts.dryRun ? "would back up " : "backed up ";

  // The data folder.
  if (setting.problem) {
    verdict.lines.push_back(*setting.problem);
    failures.push_back(*setting.problem);
  } else {
    verdict.lines.push_back(
        "data folder " + shown + " (from " + setting.source + ")" +
        (facts.dryRun ? "; dry run: the backups went to a scratch folder" : ""));
  }

  // Each task database.
  for (const auto& backup : watch.Backups()) {
    const std::string name = Quoted(backup.database);
    if (backup.openStatus != StatusOk) {
      verdict.lines.push_back(name + " not backed up: the handheld could not open it (" +
                              StatusOf(backup.openStatus) + ")");
      failures.push_back(name + " was not backed up");
      continue;
    }
    const std::string readFailure = backup.failedRead
                                        ? "reading record " + std::to_string(*backup.failedRead) +
                                              " failed (" + StatusOf(backup.readStatus) + ")"
                                        : "";
    if (!backup.files.empty() && watch.DataFolder()) {
      const std::string& file = backup.files.front();
      const std::string where = (facts.shownFolder / file).string();
      const std::string count =
          " (" + std::to_string(CountTaskLines(*watch.DataFolder() / file)) + " task lines)";
      if (backup.failedRead) {
        verdict.lines.push_back(backedUp + name + " in part to " + where + count + ": " +
                                readFailure);
        failures.push_back(name + " was backed up in part");
      } else {
        verdict.lines.push_back(backedUp + name + " to " + where + count);
      }
      continue;
    }
    std::string why;
    if (!watch.DataFolder()) {
      why = "no data folder";
    } else if (backup.failedRead) {
      why = readFailure;
    } else if (!FolderWritable(*watch.DataFolder())) {
      why = "the data folder " + shown + " is not writable";
    } else {
      why = "no backup file was written in " + shown;
    }
    verdict.lines.push_back(name + " not backed up: " + why);
    // Without a data folder that is the one failure, already counted.
    if (!setting.problem) failures.push_back(name + " was not backed up");
  }
  if (watch.Backups().empty()) verdict.lines.push_back("no task database to back up");

  // The import.
  bool transferred = false;
  std::size_t skipped = 0;
  std::optional<std::string> logFailure;
  for (const auto& [activity, text] : facts.log) {
    if (text == kTransferredText) transferred = true;
    if (text == kSkippedLineText) ++skipped;
    if (activity == LogFailure && !logFailure) logFailure = Plain(text);
  }
  const ImportSeen& import = watch.Import();
  const std::string importName = std::string(kImportStem) + kCsvExtension;
  const std::string importPath = (facts.shownFolder / importName).string();
  const std::string imported = (facts.dryRun ? "would import " : "imported ") +
                               std::to_string(import.written) + " tasks from " + importPath + " (" +
                               std::to_string(skipped) + " lines skipped)";
  const std::string target = Quoted(import.database);
  bool importTried = !import.database.empty() || transferred || logFailure.has_value();
  std::optional<std::string> importFailure;
  if (import.clearTried && import.clearStatus != StatusOk) {
    importFailure = "the import failed: the handheld refused to clear " + target + " (" +
                    StatusOf(import.clearStatus) + ")";
  } else if (import.writeFailure) {
    importFailure =
        imported + ", then writing a task failed (" + StatusOf(*import.writeFailure) + ")";
  } else if (!import.database.empty() && import.openStatus != StatusOk &&
             (!import.createTried || import.createStatus != StatusOk)) {
    importFailure = "the import did not run: " + target + " could not be opened or created (" +
                    StatusOf(import.createTried ? import.createStatus : import.openStatus) + ")";
  } else if (transferred) {
    verdict.lines.push_back(imported);
  } else if (logFailure) {
    importFailure = "the import did not run: " + *logFailure;
  } else if (!watch.DataFolder()) {
    verdict.lines.push_back("the import did not run: no data folder");
  } else {
    std::error_code ec;
    const fs::file_type type = fs::status(facts.shownFolder / importName, ec).type();
    if (type != fs::file_type::not_found && type != fs::file_type::none) {
      importFailure =
          "the import did not run: " + importPath +
          (type == fs::file_type::regular ? " could not be read" : " is not a regular file");
    } else {
      std::optional<std::string> lookalike;
      if (facts.caseSensitive) {
        for (fs::directory_iterator it(facts.shownFolder, ec), end; !ec && it != end;
             it.increment(ec)) {
          const std::string file = it->path().filename().string();
          if (file != importName && Lower(file) == importName) lookalike = file;
        }
      }
      if (lookalike) {
        importFailure = "the import did not run: " + (facts.shownFolder / *lookalike).string() +
                        " differs from " + importName +
                        " only in letter case, and is not read on " + facts.systemName;
      } else {
        verdict.lines.push_back("the import did not run: no import file " + importPath);
      }
    }
  }
  if (importFailure) {
    verdict.lines.push_back(*importFailure);
    failures.push_back(*importFailure);
    importTried = true;
  }

  if (!failures.empty()) {
    verdict.exitStatus = kExitFailed;
    verdict.failure = failures.front();
    if (failures.size() > 1) {
      verdict.failure += " (and " + std::to_string(failures.size() - 1) + " more)";
    }
    verdict.failure += "; " + StatusText(facts.conduitStatus);
  } else if (facts.conduitStatus == StatusOk ||
             (facts.conduitStatus == StatusFailed && !importTried)) {
    verdict.exitStatus = kExitOk;
  } else {
    verdict.exitStatus = kExitFailed;
    verdict.failure = "the sync failed: " + StatusText(facts.conduitStatus);
  }
  return verdict;
}

}  // namespace kestrel::cli
