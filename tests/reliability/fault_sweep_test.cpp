// SPDX-License-Identifier: MIT
// The fault sweep: one synchronisation run again and again, each time with
// one more of its steps failing: every call of each of the eight host
// operations (with a status of the host's own, StatusNotFound and
// StatusAllocFailed), every text-file open, write, byte read, close and
// rename, every call of the backup history's file store, and every
// allocation of the conduit (once, and from then on), all through the one
// fault plan of tests/fault_plan.h. The data folder starts with old backups
// that differ (kept in the history, one of them in a folder of 20
// generations, so the oldest goes) and one that does not, an older import,
// and leftovers of a stopped sync. Each
// sweep stops by itself at the first run in which the fault found no call to
// fail, so it follows the code as it grows. Every run must return, release
// every database and file, leave the status, log, files and databases that
// the rules give for a failure at that step (tests/reliability/sweep_model.h),
// and change no other database.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "driver/conduit.h"
#include "driver/generation_names.h"
#include "driver/sync_report.h"
#include "host/select_registry.h"
#include "tests/allocation_fault.h"
#include "tests/conduit_fixture.h"
#include "tests/fault_plan.h"
#include "tests/reliability/sweep_model.h"
#include "tests/test_constants.h"

namespace kestrel::testing {
namespace {

namespace fs = std::filesystem;
using host::Operation;

// Records of the task databases; the backup line of each is in the comment.
const Task kA1{.id = 1, .name = "Survey", .resources = "Ann"};  // 1,4/13/1998,5 days,...
const Task kA2{.id = 2, .name = "Gone", .resources = "Bob"};
const Task kA3{.id = 3, .predecessor = 1, .percent = 40, .name = "Plan", .resources = "Cy"};
const Task kB0{.id = 7, .name = "Deleted first", .resources = "Dee"};
const Task kB1{.id = 8, .duration = 1, .percent = 100, .name = "Order", .resources = "Eve"};
const Task kK1{.id = 20, .name = "Old one", .resources = "Fay"};
const Task kK2{.id = 21, .name = "Old two", .resources = "Gus"};
const Task kMemo{.id = 30, .name = "Not a task database", .resources = "Hal"};

// Four lines that become records and one that is rejected; a Windows line
// break, and a last line without any.
const std::string kImportText =
    "1,Mon 4/13/98,5 days,Fri 4/17/98,,0%,Design,Bob\n"
    "2,Tue 4/14/98,3 days,Thu 4/16/98,1,50%,Build,Ann\n"
    "no comma here\n"
    "3,Wed 1/5/00,3 days,Fri 1/7/00,2,10%,Test,Cy\r\n"
    "4,Mon 3/2/26,5 days,Fri 3/6/26,,100%,Ship,Dee";
const Records kImportedRecords = {
    TaskBytes(Task{}),
    TaskBytes({.id = 2,
               .startDay = 14,
               .duration = 3,
               .finishDay = 16,
               .predecessor = 1,
               .percent = 50,
               .name = "Build",
               .resources = "Ann"}),
    TaskBytes({.id = 3,
               .startYear = 2000,
               .startMonth = 1,
               .startDay = 5,
               .duration = 3,
               .finishYear = 2000,
               .finishMonth = 1,
               .finishDay = 7,
               .predecessor = 2,
               .percent = 10,
               .name = "Test",
               .resources = "Cy"}),
    TaskBytes({.id = 4,
               .startYear = 2026,
               .startMonth = 3,
               .startDay = 2,
               .finishYear = 2026,
               .finishMonth = 3,
               .finishDay = 6,
               .percent = 100,
               .name = "Ship",
               .resources = "Dee"}),
};

struct Scenario {
  const char* name;
  bool withKestrelDB;  // a task database "KestrelDB" with two records, backed up and replaced
};

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

host::Database MakeDatabase(const std::string& name, std::vector<host::Record> records,
                            std::uint32_t type = kTypeData) {
  host::Database db;
  db.name = name;
  db.type = type;
  db.creator = kCreatorTkpl;
  db.uniqueIdSeed = 100;
  db.records = std::move(records);
  for (std::size_t i = 0; i < db.records.size(); ++i) {
    db.records[i].uniqueId = static_cast<std::uint32_t>(i + 1);
  }
  return db;
}

void Populate(host::Handheld& handheld, const Scenario& scenario) {
  handheld.Add(
      MakeDatabase("Alpha", {Live(TaskBytes(kA1)), Deleted(TaskBytes(kA2)), Live(TaskBytes(kA3))}));
  handheld.Add(MakeDatabase("Memo", {Live(TaskBytes(kMemo))}, FourCharCode("DATA")));
  handheld.Add(MakeDatabase("Beta", {Deleted(TaskBytes(kB0)), Live(TaskBytes(kB1))}));
  handheld.Add(MakeDatabase("Gamma", {}));
  if (scenario.withKestrelDB) {
    handheld.Add(MakeDatabase(kTargetDatabase, {Live(TaskBytes(kK1)), Live(TaskBytes(kK2))}));
  }
}

// What the data folder holds to begin with, besides the import file.
const std::map<std::string, std::string> kInitialFiles = [] {
  std::map<std::string, std::string> files = {
      {"Alpha.csv", "an older backup of Alpha"},
      {"Beta.csv", Joined({kHeader, "", "8,4/13/1998,1 days,4/17/1998,,100%,Order,Eve"})},
      {"KestrelDB.csv", "an older backup of KestrelDB"},
      {"Gone.csv.0123456789abcdef.kestrel-backup-new", "a leftover"},
      {"Gone.csv.kestrel-new", "a leftover of the earlier form"},
      {"photo.kestrel-new", "a user's file"},
      {"history", kFolderEntry},
      {"history/backups", kFolderEntry},
      {"history/backups/Alpha", kFolderEntry},
      {"history/backups/Alpha/20991231-000000.csv", "from a clock that was ahead"},
      {"history/imports", kFolderEntry},
      {"history/imports/20250101-000000.csv", "an older import"},
  };
  for (unsigned n = 1; n <= 20; ++n) {
    files["history/backups/Alpha/" + GenerationName("20250101-000000", n)] =
        "Alpha generation " + std::to_string(n);
  }
  return files;
}();

void WriteInitialFiles(const fs::path& folder) {
  std::ofstream(folder / kImportFileName, std::ios::binary) << kImportText;
  for (const auto& [name, bytes] : kInitialFiles) {
    if (bytes == kFolderEntry) {
      fs::create_directories(folder / name);
    } else {
      std::ofstream(folder / name, std::ios::binary) << bytes;
    }
  }
}

// Everything in the data folder, by path below it: a file's bytes, or
// kFolderEntry for a folder.
std::map<std::string, std::string> FolderFiles(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().lexically_relative(folder).generic_string();
    if (entry.is_directory()) {
      files[name] = kFolderEntry;
      continue;
    }
    std::ifstream in(entry.path(), std::ios::binary);
    files[name] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

// A path of the data folder as the model takes it: below the folder, with "/".
std::string BelowFolder(const fs::path& folder, std::string_view path) {
  const std::string prefix = folder.string() + "/";
  if (path.substr(0, prefix.size()) != prefix) return std::string(path);
  return std::string(path.substr(prefix.size()));
}

std::int64_t SweepClock() { return kTestSyncTime; }

std::optional<Records> KestrelRecords(host::Handheld& handheld) {
  const host::Slot* slot = handheld.Find(kTargetDatabase);
  if (slot == nullptr) return std::nullopt;
  return RecordData(slot->db);
}

// Descriptors this process holds open: none may be left behind by a run.
int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

struct SyncResult {
  Outcome initial;
  Outcome outcome;
  std::vector<TraceEvent> trace;
  long allocations = 0;
  bool fired = false;
  int descriptorsLeft = 0;
  std::vector<std::string> changedDatabases;  // others than KestrelDB
};

// One synchronisation of the scenario on a fresh handheld and data folder.
// With `refuseLinks`, as on a file system that makes no hard links.
SyncResult RunSync(const Scenario& scenario, const std::optional<Fault>& fault,
                   bool refuseLinks = false) {
  TempFolder folder;
  WriteInitialFiles(folder.Path());
  SetSyncClock(&SweepClock);
  host::Handheld handheld;
  Populate(handheld, scenario);
  const std::vector<host::Slot> slotsBefore = handheld.slots;

  RegistryHive hive;
  hive.Set(kMachineDataFolderKey, kDataFolderValueName, folder.Path().string());
  SelectRegistry(std::move(hive));

  SyncResult run;
  run.initial.files = FolderFiles(folder.Path());
  run.initial.kestrelDB = KestrelRecords(handheld);
  const int descriptors = OpenDescriptors();
  Status status = StatusOk;
  {
    const host::AttachScope attached(handheld);
    // Every host and file call goes into the trace, with the conduit's
    // allocations counted from here.
    FaultPlan& plan = Faults();
    long allocationBase = 0;
    {
      const AllocationPause pause;  // the observer's own memory is not the conduit's
      plan.Observe([&](const CallEvent& e) {
        const std::string subject = IsFileFault(e.kind) || IsStoreFault(e.kind)
                                        ? BelowFolder(folder.Path(), e.subject)
                                        : std::string(e.subject);
        run.trace.push_back(TraceEvent{e.kind, subject, e.detail,
                                       plan.Calls(FaultKind::Allocation) - allocationBase});
      });
    }
    allocationBase = plan.Calls(FaultKind::Allocation);
    if (fault) plan.Arm(*fault);
    plan.RefuseLinks(refuseLinks);
    EXPECT_NO_THROW(status = OpenConduit(nullptr, nullptr));
    run.fired = plan.Fired();
    plan.Clear();
    plan.Observe(nullptr);
    run.allocations = plan.Calls(FaultKind::Allocation) - allocationBase;
  }
  SelectRegistry(std::nullopt);
  SetSyncClock(nullptr);
  run.descriptorsLeft = OpenDescriptors() - descriptors;

  run.outcome.status = status;
  run.outcome.log = handheld.log;
  run.outcome.files = FolderFiles(folder.Path());
  run.outcome.kestrelDB = KestrelRecords(handheld);
  run.outcome.openDatabases = handheld.OpenDatabases();
  for (const auto& before : slotsBefore) {
    if (before.db.name == kTargetDatabase) continue;
    const host::Slot* after = handheld.Find(before.db.name);
    if (after == nullptr || !(after->db == before.db)) {
      run.changedDatabases.push_back(before.db.name);
    }
  }
  for (const auto& slot : handheld.slots) {
    if (slot.db.name != kTargetDatabase && slot.fileName.empty() && slot.changed) {
      run.changedDatabases.push_back(slot.db.name + " (created)");
    }
  }
  return run;
}

void ExpectOutcome(const SyncResult& run, const Outcome& expected) {
  EXPECT_EQ(run.outcome.status, expected.status);
  EXPECT_EQ(run.outcome.log, expected.log);
  EXPECT_EQ(run.outcome.files, expected.files);
  EXPECT_EQ(run.outcome.kestrelDB, expected.kestrelDB);
  EXPECT_EQ(run.outcome.openDatabases, expected.openDatabases);
  EXPECT_EQ(run.descriptorsLeft, 0) << "files left open";
  EXPECT_TRUE(run.changedDatabases.empty())
      << "changed: " << ::testing::PrintToString(run.changedDatabases);
}

std::string Backup(std::initializer_list<std::string_view> lines) { return Joined(lines); }

class FaultSweep : public ::testing::TestWithParam<Scenario> {
 protected:
  // The run without faults, checked to the byte, and the same twice.
  static Baseline MakeBaseline(const Scenario& scenario, bool refuseLinks = false) {
    RunSync(scenario, std::nullopt);  // settles what the first run of a program sets up
    const SyncResult first = RunSync(scenario, std::nullopt, refuseLinks);
    const SyncResult second = RunSync(scenario, std::nullopt, refuseLinks);
    EXPECT_EQ(first.outcome, second.outcome);
    EXPECT_EQ(first.trace.size(), second.trace.size());
    EXPECT_EQ(first.allocations, second.allocations);

    Outcome expected;
    expected.log = {kStarted, kSkippedLine, kTransferred, kFinished};
    // The leftovers go; Alpha's old backup is kept and its oldest
    // generation goes, Beta's is unchanged, the import is kept.
    expected.files = kInitialFiles;
    expected.files.erase("Gone.csv.0123456789abcdef.kestrel-backup-new");
    expected.files.erase("Gone.csv.kestrel-new");
    expected.files.erase("history/backups/Alpha/20250101-000000.csv");
    const std::string generation = std::string(kTestGeneration) + ".csv";
    expected.files["history/backups/Alpha/" + generation] = "an older backup of Alpha";
    expected.files["history/imports/" + generation] = kImportText;
    expected.files["Alpha.csv"] = Backup({kHeader, "1,4/13/1998,5 days,4/17/1998,,0%,Survey,Ann",
                                          "3,4/13/1998,5 days,4/17/1998,1,40%,Plan,Cy"});
    expected.files["Gamma.csv"] = Backup({kHeader, ""});
    expected.files[kImportFileName] = kImportText;
    if (scenario.withKestrelDB) {
      expected.files["KestrelDB.csv"] =
          Backup({kHeader, "20,4/13/1998,5 days,4/17/1998,,0%,Old one,Fay",
                  "21,4/13/1998,5 days,4/17/1998,,0%,Old two,Gus"});
      expected.files["history/backups/KestrelDB"] = kFolderEntry;
      expected.files["history/backups/KestrelDB/" + generation] = "an older backup of KestrelDB";
    }
    expected.kestrelDB = kImportedRecords;
    ExpectOutcome(first, expected);
    Baseline baseline{first.initial,  first.outcome, first.trace, first.allocations, {},
                      kTestGeneration};
    host::Handheld handheld;
    Populate(handheld, scenario);
    for (const auto& slot : handheld.slots) {
      std::vector<bool>& deleted = baseline.deleted[slot.db.name];
      for (const auto& record : slot.db.records) {
        deleted.push_back((record.attributes & kRecordDeleted) != 0);
      }
    }
    return baseline;
  }

  // Moves `fault` through every call of its kind, from the first: each run
  // arms the plan to fail that one call (and, when persistent, every later
  // one) and must leave what the rules give for a failure there. The sweep
  // ends at the first run in which the fault found no call to fail, which
  // must be the one past the last call of the run without faults. Returns
  // the number of runs in which it fired.
  static int Sweep(const Scenario& scenario, const Baseline& baseline, Fault fault,
                   bool refuseLinks = false) {
    const int calls = CallsInRun(baseline, fault);
    for (fault.nth = 1;; ++fault.nth) {
      SCOPED_TRACE(Describe(fault));
      const SyncResult run = RunSync(scenario, fault, refuseLinks);
      if (!run.fired) {
        ExpectOutcome(run, baseline.result);
        break;
      }
      if (fault.nth > calls) {
        ADD_FAILURE() << "fired past the " << calls << " calls of the run without faults";
        break;
      }
      ExpectOutcome(run, ExpectedOutcome(baseline, fault));
    }
    EXPECT_EQ(fault.nth - 1, calls) << Describe(fault) << ": not every call was failed";
    return fault.nth - 1;
  }

  static void Report(const Scenario& scenario, const char* what, int points) {
    std::cout << "[ sweep    ] " << scenario.name << ": " << points << " " << what
              << " fault points\n";
    ::testing::Test::RecordProperty(what, points);
  }
};

TEST_P(FaultSweep, EveryHostOperationCallFailing) {
  const Scenario& scenario = GetParam();
  const Baseline baseline = MakeBaseline(scenario);
  int points = 0;
  for (int op = 0; op < host::kOperationCount; ++op) {
    // A status of the host's own, and each status with a meaning of its own.
    for (Status status : {kRefused, StatusNotFound, StatusAllocFailed}) {
      Fault fault;
      fault.kind = HostFault(Operation(op));
      fault.status = status;
      points += Sweep(scenario, baseline, fault);
    }
  }
  Report(scenario, "host", points);
}

TEST_P(FaultSweep, EveryTextFileCallFailing) {
  const Scenario& scenario = GetParam();
  const Baseline baseline = MakeBaseline(scenario);
  int points = 0;
  for (int kind = 0; kind < kFaultKindCount; ++kind) {
    if (!IsFileFault(FaultKind(kind))) continue;
    Fault fault;
    fault.kind = FaultKind(kind);
    points += Sweep(scenario, baseline, fault);
  }
  Report(scenario, "text-file", points);
}

// Every call of the backup history: opens, creations, reads, writes,
// flushes, links, renames, folders, listings and removals.
TEST_P(FaultSweep, EveryFileStoreCallFailing) {
  const Scenario& scenario = GetParam();
  const Baseline baseline = MakeBaseline(scenario);
  int points = 0;
  for (int kind = 0; kind < kFaultKindCount; ++kind) {
    if (!IsStoreFault(FaultKind(kind))) continue;
    Fault fault;
    fault.kind = FaultKind(kind);
    points += Sweep(scenario, baseline, fault);
  }
  EXPECT_GT(points, 0);
  Report(scenario, "file-store", points);
}

// Where hard links are refused every old backup is copied: the copy's own
// calls fail in turn.
TEST_P(FaultSweep, EveryFileStoreCallFailingWhereLinksAreRefused) {
  const Scenario& scenario = GetParam();
  const Baseline baseline = MakeBaseline(scenario, true);
  int points = 0;
  for (FaultKind kind : {FaultKind::StoreCreate, FaultKind::StoreRead, FaultKind::StoreWrite,
                         FaultKind::StoreFlush, FaultKind::StorePlace}) {
    Fault fault;
    fault.kind = kind;
    points += Sweep(scenario, baseline, fault, true);
  }
  Report(scenario, "copy", points);
}

// Each allocation failing once, and failing from then on as when memory
// stays exhausted: as many points either way.
TEST_P(FaultSweep, EveryAllocationFailing) {
  const Scenario& scenario = GetParam();
  const Baseline baseline = MakeBaseline(scenario);
  Fault fault;
  fault.kind = FaultKind::Allocation;
  const int once = Sweep(scenario, baseline, fault);
  fault.persistent = true;
  const int persistent = Sweep(scenario, baseline, fault);
  EXPECT_EQ(persistent, once);
  EXPECT_GT(once, 0);
  Report(scenario, "allocation", once);
}

const Scenario kScenarios[] = {
    {"KestrelDBPresent", true},
    {"KestrelDBAbsent", false},
};

INSTANTIATE_TEST_SUITE_P(Sync, FaultSweep, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrel::testing
