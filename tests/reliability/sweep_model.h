// SPDX-License-Identifier: MIT
// What a synchronisation must leave behind when one step of it fails, worked
// out from a run of the same synchronisation without faults (its outcome and
// its trace) and the conduit's rules for a failure at each step. Everything
// before the failing step happened as in the run without faults; the rules
// say how the run goes on from there.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "handheld/sync_services.h"
#include "host/handheld.h"
#include "tests/fault_plan.h"

namespace kestrel::testing {

using Records = std::vector<std::vector<std::uint8_t>>;

inline constexpr char kImportFileName[] = "import.csv";
inline constexpr char kTargetDatabase[] = "KestrelDB";

// What a run leaves behind.
struct Outcome {
  Status status = StatusOk;
  std::vector<host::LogEntry> log;
  std::map<std::string, std::string> files;  // the data folder: name -> bytes
  std::optional<Records> kestrelDB;          // its records; none when it does not exist
  std::vector<std::string> openDatabases;    // left open on the handheld
  bool operator==(const Outcome&) const = default;
};

// One host, text-file or file-store call of a run, in order, with the number of the
// conduit's allocations made before it.
struct TraceEvent {
  FaultKind kind = FaultKind::HostList;
  std::string subject;  // host: the database's name or the log text; file: the path (open), the
                        // text (write); store: the path below the data folder, or none
  int detail = 0;       // OpenDatabase: the mode; ReadRecordAt: the index; LogMessage: the activity
  long allocationsBefore = 0;

  bool Is(FaultKind k) const { return kind == k; }
  bool Is(host::Operation o) const { return kind == HostFault(o); }
};

// A run without faults, and what was there before it (files and KestrelDB).
struct Baseline {
  Outcome initial;
  Outcome result;
  std::vector<TraceEvent> trace;
  long allocations = 0;  // made by the conduit in the whole run
  // For each database, which of its records are deleted, by record index.
  std::map<std::string, std::vector<bool>> deleted;
  std::string syncTime;  // "YYYYMMDD-HHMMSS": the generations' names
};

// For messages: e.g. "ReadRecordAt call 3 answers 0x4003".
std::string Describe(const Fault& fault);

// How many calls of the fault's kind the run without faults made.
int CallsInRun(const Baseline& baseline, const Fault& fault);

// The outcome that the conduit's rules give when `fault` strikes in the run
// of `baseline`. The fault must have a call of its own in the trace.
Outcome ExpectedOutcome(const Baseline& baseline, const Fault& fault);

}  // namespace kestrel::testing
