// SPDX-License-Identifier: MIT
#include "tests/reliability/sweep_model.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <initializer_list>

#include "tests/conduit_fixture.h"

namespace kestrel::testing {
namespace {

using host::Operation;

std::string FileName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

bool IsImportFileOpen(const TraceEvent& event) {
  return event.Is(FaultKind::FileOpen) && FileName(event.subject) == kImportFileName;
}

// Where the import phase begins: at the open of the import file.
std::size_t ImportStart(const std::vector<TraceEvent>& trace) {
  for (std::size_t i = 0; i < trace.size(); ++i) {
    if (IsImportFileOpen(trace[i])) return i;
  }
  return trace.size();
}

// The backup file of the database whose backup the event at `k` belongs to:
// the database opened for reading last, at or before `k`. Empty when its
// backup opened no file.
std::string BackupFileAt(const std::vector<TraceEvent>& trace, std::size_t k) {
  std::size_t start = k + 1;
  while (start-- > 0) {
    if (trace[start].Is(Operation::Open) && trace[start].detail == ModeRead) break;
  }
  if (start > k) return "";
  for (std::size_t i = start + 1; i < trace.size(); ++i) {
    if (trace[i].Is(FaultKind::FileOpen)) return FileName(trace[i].subject);
    if (trace[i].Is(Operation::Close) && trace[i].subject == trace[start].subject) break;
  }
  return "";
}

// Whether the file event at `i` is about the import file: its open, or a
// read or close after that open.
bool IsImportFileEvent(const std::vector<TraceEvent>& trace, std::size_t i) {
  return i >= ImportStart(trace) && IsFileFault(trace[i].kind);
}

// The text written to the backup file open at event `k`, before it.
std::string PendingAt(const std::vector<TraceEvent>& trace, std::size_t k) {
  std::string text;
  for (std::size_t i = 0; i < k; ++i) {
    if (trace[i].Is(FaultKind::FileOpen)) text.clear();
    if (trace[i].Is(FaultKind::FileWrite)) text += trace[i].subject;
  }
  return text;
}

// What a store call that changes the folder does to `files`, as it did in
// the run without faults.
void ApplyStoreEvent(const Baseline& baseline, const TraceEvent& e, Outcome& state) {
  if (e.Is(FaultKind::StoreFolder)) {
    state.files[e.subject] = kFolderEntry;
  } else if (e.Is(FaultKind::StoreLink) || e.Is(FaultKind::StorePlace)) {
    const auto made = baseline.result.files.find(e.subject);
    if (made != baseline.result.files.end()) state.files[e.subject] = made->second;
  } else if (e.Is(FaultKind::StoreRemove)) {
    state.files.erase(e.subject);
  }
}

// The folder, KestrelDB and the log after the first `count` events of the
// run without faults. A backup file takes its new text when it replaces the
// old one.
Outcome StateAfter(const Baseline& baseline, std::size_t count) {
  Outcome state = baseline.initial;
  std::size_t logged = 0;
  std::size_t written = 0;
  std::string backupFile;
  for (std::size_t i = 0; i < count; ++i) {
    const TraceEvent& e = baseline.trace[i];
    if (IsStoreFault(e.kind)) {
      ApplyStoreEvent(baseline, e, state);
    } else if (e.Is(FaultKind::FileOpen) && !IsImportFileOpen(e)) {
      backupFile = FileName(e.subject);
    } else if (e.Is(FaultKind::FileRename)) {
      state.files[backupFile] = PendingAt(baseline.trace, i);
    } else if (e.Is(Operation::Log)) {
      ++logged;
    } else if (e.subject == kTargetDatabase) {
      if (e.Is(Operation::Create) || e.Is(Operation::Clear)) state.kestrelDB = Records{};
      if (e.Is(Operation::Write))
        state.kestrelDB->push_back(baseline.result.kestrelDB->at(written++));
    }
  }
  state.log.assign(baseline.result.log.begin(),
                   baseline.result.log.begin() + static_cast<std::ptrdiff_t>(logged));
  return state;
}

// The database whose backup the event at `k` belongs to: the one opened for
// reading last, at or before `k`.
std::string BackupDatabaseAt(const std::vector<TraceEvent>& trace, std::size_t k) {
  for (std::size_t i = k + 1; i-- > 0;) {
    if (trace[i].Is(Operation::Open) && trace[i].detail == ModeRead) return trace[i].subject;
  }
  return "";
}

// The text of the backup file that a read failing at event `k` leaves: the
// backup pass formats the header and a line break, then for each record it
// read the record's line (after a line break unless it is record 0), or
// nothing for a deleted record, and all of that reaches the file however
// the pass ends. Taken from the whole backup of the run without faults, one
// line for each live record read before `k`.
std::string TextBeforeRead(const Baseline& baseline, const std::string& file, std::size_t k) {
  const std::vector<TraceEvent>& trace = baseline.trace;
  const std::string& whole = baseline.result.files.at(file);
  std::size_t at = whole.find('\n') + 1;
  std::string text = whole.substr(0, at);
  const std::string database = BackupDatabaseAt(trace, k);
  const std::vector<bool>& deleted = baseline.deleted.at(database);
  std::size_t start = k;
  while (start > 0 && !trace[start].Is(FaultKind::FileOpen)) --start;
  for (std::size_t i = start; i < k; ++i) {
    if (!trace[i].Is(Operation::Read) || trace[i].subject != database) continue;
    const auto index = static_cast<std::size_t>(trace[i].detail);
    if (deleted.at(index)) continue;
    if (index != 0) text += whole[at++];  // the line break before the line
    const std::size_t end = std::min(whole.find('\n', at), whole.size());
    text.append(whole, at, end - at);
    at = end;
  }
  return text;
}

// The history's calls come in runs of their own: the removal of leftovers
// at the start, the keeping of an old backup just before its new file
// replaces it, the copy of the import file just before the import. The run
// of store events that holds `k`: [begin, end).
struct Step {
  std::size_t begin = 0;
  std::size_t end = 0;
};
Step StoreStepAt(const std::vector<TraceEvent>& trace, std::size_t k) {
  Step step{k, k};
  while (step.begin > 0 && IsStoreFault(trace[step.begin - 1].kind)) --step.begin;
  while (step.end < trace.size() && IsStoreFault(trace[step.end].kind)) ++step.end;
  return step;
}

// The keeping step of the backup whose events include `k`: the store events
// just before the rename of its new file; empty when it has none.
Step KeepStepOf(const std::vector<TraceEvent>& trace, std::size_t k) {
  std::size_t rename = k;
  while (rename < trace.size() && !trace[rename].Is(FaultKind::FileRename)) ++rename;
  if (rename == trace.size()) return {rename, rename};
  Step step{rename, rename};
  while (step.begin > 0 && IsStoreFault(trace[step.begin - 1].kind)) --step.begin;
  return step;
}

// The copy step of the import: the store events after the import file's open.
Step ImportStepOf(const std::vector<TraceEvent>& trace, std::size_t importStart) {
  std::size_t begin = importStart;
  while (begin < trace.size() && !IsStoreFault(trace[begin].kind)) ++begin;
  if (begin == trace.size()) return {begin, begin};
  return StoreStepAt(trace, begin);
}

// Takes back what the store events of [from, to) did: the names they gave
// and the files they removed are as before the run, the folders they made
// are gone unless a call outside them made the folder too.
void UndoStoreEvents(const Baseline& baseline, std::size_t from, std::size_t to, Outcome& out) {
  const std::vector<TraceEvent>& trace = baseline.trace;
  auto restore = [&](const std::string& path) {
    const auto before = baseline.initial.files.find(path);
    if (before == baseline.initial.files.end()) {
      out.files.erase(path);
    } else {
      out.files[path] = before->second;
    }
  };
  for (std::size_t i = from; i < to; ++i) {
    const TraceEvent& e = trace[i];
    if (e.Is(FaultKind::StoreLink) || e.Is(FaultKind::StorePlace) || e.Is(FaultKind::StoreRemove)) {
      restore(e.subject);
    } else if (e.Is(FaultKind::StoreFolder)) {
      bool madeElsewhere = false;
      for (std::size_t j = 0; j < trace.size(); ++j) {
        const bool outside = j < from || j >= to;
        if (outside && trace[j].Is(FaultKind::StoreFolder) && trace[j].subject == e.subject) {
          madeElsewhere = true;
        }
      }
      if (!madeElsewhere) restore(e.subject);
    }
  }
}

// Where the generation of backup file `file` goes ("Alpha.csv" keeps
// "history/backups/Alpha/<time>.csv"); the scenario has no two of one second.
std::string GenerationOf(const Baseline& baseline, const std::string& file) {
  const std::string stem = file.substr(0, file.size() - 4);
  const std::string prefix = "history/backups/" + stem + "/";
  // The sync's own time is the newest name that the run made there.
  for (const auto& e : baseline.trace) {
    if ((e.Is(FaultKind::StoreLink) || e.Is(FaultKind::StorePlace)) &&
        e.subject.compare(0, prefix.size(), prefix) == 0) {
      return e.subject;
    }
  }
  return prefix + baseline.syncTime + ".csv";
}

std::size_t FaultIndex(const std::vector<TraceEvent>& trace, const Fault& fault) {
  if (fault.kind == FaultKind::Allocation) {
    // The first event that began after the failing allocation.
    std::size_t k = 0;
    while (k < trace.size() && trace[k].allocationsBefore < fault.nth) ++k;
    return k;
  }
  int seen = 0;
  for (std::size_t i = 0; i < trace.size(); ++i) {
    if (trace[i].kind == fault.kind && ++seen == fault.nth) return i;
  }
  return trace.size();
}

}  // namespace

std::string Describe(const Fault& fault) {
  char text[160];
  if (IsHostFault(fault.kind)) {
    std::snprintf(text, sizeof text, "%s call %d answers 0x%04X", FaultKindName(fault.kind),
                  fault.nth, static_cast<unsigned>(fault.status));
  } else {
    std::snprintf(text, sizeof text, "%s %d fails%s", FaultKindName(fault.kind), fault.nth,
                  fault.persistent ? ", and every one after it" : "");
  }
  return text;
}

int CallsInRun(const Baseline& baseline, const Fault& fault) {
  if (fault.kind == FaultKind::Allocation) return static_cast<int>(baseline.allocations);
  int calls = 0;
  for (const auto& e : baseline.trace) calls += e.kind == fault.kind ? 1 : 0;
  return calls;
}

Outcome ExpectedOutcome(const Baseline& baseline, const Fault& fault) {
  const std::vector<TraceEvent>& trace = baseline.trace;
  const std::size_t k = FaultIndex(trace, fault);
  const Outcome at = StateAfter(baseline, k);

  // Memory that runs out ends the run at once: what was done stays (a
  // backup file being written keeps its last whole contents), the failure
  // is logged, no finish entry.
  if (fault.kind == FaultKind::Allocation) {
    Outcome out = at;
    out.status = StatusAllocFailed;
    out.log.push_back(kOutOfMemory);
    return out;
  }

  // Otherwise the run goes on as it did without the fault, except for what
  // the failing step changes.
  Outcome out = baseline.result;
  const std::size_t importStart = ImportStart(trace);
  const bool importing = k >= importStart;
  const Step importStep = ImportStepOf(trace, importStart);
  // The import file is not copied into the history: the import does not run.
  auto importNotCopied = [&] { UndoStoreEvents(baseline, importStep.begin, importStep.end, out); };
  // The import phase stops: KestrelDB stays as it was at the fault, and the
  // log ends with what the driver logs on its way out.
  auto endImport = [&](Status status, std::initializer_list<host::LogEntry> tail) {
    out.status = status;
    out.log = at.log;
    out.log.insert(out.log.end(), tail);
    out.kestrelDB = at.kestrelDB;
    if (k < importStep.begin) importNotCopied();
  };
  // A backup that failed is the result when the run would return 0; when it
  // was KestrelDB's, the import file is opened and closed again, and
  // KestrelDB is left as it was.
  auto backupFailed = [&](Status status) {
    if (BackupDatabaseAt(trace, k) == kTargetDatabase) {
      out.status = status;
      out.log = StateAfter(baseline, importStart).log;
      out.log.insert(out.log.end(), {kNotBackedUp, kFinished});
      out.kestrelDB = baseline.initial.kestrelDB;
      importNotCopied();
    } else if (out.status == StatusOk) {
      out.status = status;
    }
  };
  // A backup whose new file replaced nothing leaves the file as it was, and
  // its old file was not kept (the step from `from` on did not run).
  auto backupNotMade = [&](const std::string& file, std::size_t from = 0) {
    if (file.empty()) return;
    const Step keep = KeepStepOf(trace, k);
    UndoStoreEvents(baseline, std::max(from, keep.begin), keep.end, out);
    const auto before = baseline.initial.files.find(file);
    if (before == baseline.initial.files.end()) {
      out.files.erase(file);
    } else {
      out.files[file] = before->second;
    }
  };
  // A backup cut short by a read replaces the file with what was formatted
  // before the fault.
  // The old file is kept when its bytes differ from that text's.
  auto backupCut = [&](const std::string& file) {
    if (file.empty()) return;
    const std::string text = TextBeforeRead(baseline, file, k);
    out.files[file] = text;
    const auto old = baseline.initial.files.find(file);
    const std::string generation = GenerationOf(baseline, file);
    const bool keptBefore = baseline.result.files.count(generation) != 0;
    const bool keptNow = old != baseline.initial.files.end() && old->second != text;
    if (keptBefore && !keptNow) {
      const Step keep = KeepStepOf(trace, k);
      UndoStoreEvents(baseline, keep.begin, keep.end, out);
    } else if (keptNow && !keptBefore) {
      out.files[generation] = old->second;
      out.files[generation.substr(0, generation.rfind('/'))] = kFolderEntry;
    }
  };
  // A store call that fails: a removal leaves that file; any other call in
  // a backup's keeping fails the backup, in the import's copy the copy
  // alone, and a listing of leftovers the removals that would follow.
  auto storeFailed = [&] {
    const Step step = StoreStepAt(trace, k);
    if (fault.kind == FaultKind::StoreRemove) {
      UndoStoreEvents(baseline, k, k + 1, out);
    } else if (importing || BackupDatabaseAt(trace, k).empty()) {
      UndoStoreEvents(baseline, k, step.end, out);
    } else {
      backupNotMade(BackupFileAt(trace, k), k);
      backupFailed(StatusFailed);
    }
  };

  if (IsHostFault(fault.kind)) {
    switch (static_cast<Operation>(static_cast<int>(fault.kind))) {
      case Operation::List:
        // No backup at all.
        for (std::size_t i = 0; i < importStart; ++i) {
          if (trace[i].Is(FaultKind::FileOpen)) {
            const std::string file = FileName(trace[i].subject);
            const Step keep = KeepStepOf(trace, i);
            UndoStoreEvents(baseline, keep.begin, keep.end, out);
            const auto before = baseline.initial.files.find(file);
            if (before == baseline.initial.files.end()) {
              out.files.erase(file);
            } else {
              out.files[file] = before->second;
            }
          }
        }
        break;
      case Operation::Open:
        if (!importing) {
          backupNotMade(BackupFileAt(trace, k));  // skipped, as without a handle
          // KestrelDB then is in no file: the import does not empty it.
          if (BackupDatabaseAt(trace, k) == kTargetDatabase) backupFailed(fault.status);
        } else if (fault.status != StatusNotFound) {
          endImport(fault.status, {kCannotCreate, kFinished});
        } else if (baseline.initial.kestrelDB) {
          // It is there, so the handheld refuses to create it.
          endImport(host::kStatusExists, {kCannotCreate});
        }
        // Otherwise it was not there anyway, and is created as without the fault.
        break;
      case Operation::Create:
        endImport(fault.status, {kCannotCreate});
        break;
      case Operation::Close:
        // Its status means nothing to the conduit; the handheld keeps it open.
        out.openDatabases = {trace[k].subject};
        break;
      case Operation::Clear:
        endImport(fault.status, {kClearFailed, kTransferred, kFinished});
        break;
      case Operation::Read:
        // StatusNotFound is the end of the database: the backup is whole.
        backupCut(BackupFileAt(trace, k));
        if (fault.status != StatusNotFound) backupFailed(fault.status);
        break;
      case Operation::Write:
        endImport(fault.status, {kTransferred, kFinished});
        break;
      case Operation::Log:
        out.log.erase(out.log.begin() + (fault.nth - 1));  // that entry is lost
        break;
    }
    return out;
  }

  switch (fault.kind) {
    case FaultKind::FileOpen:
      if (importing) {
        endImport(StatusFailed, {kFinished});  // no import file
      } else {
        backupNotMade(BackupFileAt(trace, k));
        backupFailed(StatusFailed);
      }
      break;
    case FaultKind::FileWrite:
      backupNotMade(BackupFileAt(trace, k));
      backupFailed(StatusFailed);
      break;
    case FaultKind::FileRename:
      // The old file was kept before the rename, and stays kept.
      backupNotMade(BackupFileAt(trace, k), k);
      backupFailed(StatusFailed);
      break;
    case FaultKind::FileRead:
      // The lines are read before KestrelDB is cleared: it stays as it was.
      endImport(StatusFailed, {kTransferred, kFinished});
      break;
    case FaultKind::FileClose:
      if (!IsImportFileEvent(trace, k)) {
        backupNotMade(BackupFileAt(trace, k));
        backupFailed(StatusFailed);
      }
      // The import file's close is not checked.
      break;
    default:
      if (IsStoreFault(fault.kind)) storeFailed();
      break;
  }
  return out;
}

}  // namespace kestrel::testing
