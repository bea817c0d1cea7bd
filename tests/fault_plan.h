// SPDX-License-Identifier: MIT
// One plan of injected faults for a test program: which call of which kind
// fails, once or from then on, with what status, and whether it fired; and
// one observer told of every call. Three places consult it, each for its
// own kinds:
//  - the simulated handheld's dispatch of the host's eight operations
//    (through host::HostCallHook, set by this file);
//  - the text-file layer's table of system calls (platform/text_file_calls.h)
//    and the file store's (platform/file_store.h), whose entries this file
//    puts its own in front of;
//  - the program's operator new (tests/allocation_fault.cpp).
// All of it is installed when the program starts; with nothing armed every
// call goes through unchanged. Adding a kind of fault is one enumerator
// below (with its name in fault_plan.cpp) and one Consult() where the call
// is made; the fault sweep then moves it through every call of a sync, and
// its model (tests/reliability/sweep_model.cpp) says what a failure there
// must leave. One thread.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

#include "handheld/sync_services.h"
#include "host/handheld.h"

namespace kestrel::testing {

enum class FaultKind {
  // The host's eight operations, in the order of host::Operation.
  HostList,
  HostOpen,
  HostCreate,
  HostClose,
  HostClear,
  HostRead,
  HostWrite,
  HostLog,
  // The text-file layer's calls into the system.
  FileOpen,
  FileWrite,
  FileRead,  // one byte
  FileClose,
  FileRename,
  // The file store's calls into the system (the backup history).
  StoreOpen,
  StoreCreate,
  StoreRead,
  StoreWrite,
  StoreFlush,
  StoreIdentify,
  StoreLink,
  StorePlace,
  StoreFolder,
  StoreList,
  StoreRemove,
  // An allocation of the program's operator new.
  Allocation,
};
inline constexpr int kFaultKindCount = static_cast<int>(FaultKind::Allocation) + 1;

// The kind of a host operation.
constexpr FaultKind HostFault(host::Operation op) {
  return static_cast<FaultKind>(static_cast<int>(FaultKind::HostList) + static_cast<int>(op));
}
constexpr bool IsHostFault(FaultKind kind) { return kind <= FaultKind::HostLog; }
constexpr bool IsFileFault(FaultKind kind) {
  return kind >= FaultKind::FileOpen && kind <= FaultKind::FileRename;
}
constexpr bool IsStoreFault(FaultKind kind) {
  return kind >= FaultKind::StoreOpen && kind <= FaultKind::StoreRemove;
}

// For messages: "ReadRecordAt", "file write", "allocation".
const char* FaultKindName(FaultKind kind);

// The fault to inject.
struct Fault {
  FaultKind kind = FaultKind::HostList;
  int nth = 1;              // which call of that kind fails, counted from arming, from 1
  bool persistent = false;  // every later call of that kind fails too
  Status status = 0;        // host kinds: what the failing call answers
  std::size_t size = 0;     // Allocation: only allocations of this many bytes count; 0: any
};

// One call as the observer sees it, before the plan is consulted: host
// calls with their database (or log text) and detail (the open mode, the
// record index, the log activity); file calls with the path (open) or the
// text (write); store calls with the path they change or open (a link's
// and a rename's new name), or none.
struct CallEvent {
  FaultKind kind = FaultKind::HostList;
  std::string_view subject;
  int detail = 0;
};
using CallObserver = std::function<void(const CallEvent&)>;

class FaultPlan {
 public:
  // Arms `fault`, replacing what was armed before.
  void Arm(const Fault& fault);
  // Disarms it and forgets whether it fired.
  void Clear();  // RefuseLinks too
  bool Fired() const { return fired_; }
  const Fault& Armed() const { return fault_; }
  // Calls of `kind` since the program started (allocations not paused).
  long Calls(FaultKind kind) const { return calls_[static_cast<int>(kind)]; }
  // Told of every host and file call from now on; none for nullptr. Its own
  // allocations are neither counted nor made to fail.
  void Observe(CallObserver observer);
  // While set, the file store's link answers Refused, as on a file system
  // that makes no hard links, without counting as a fault; the copy is made
  // instead.
  void RefuseLinks(bool refuse) { refuseLinks_ = refuse; }
  bool LinksRefused() const { return refuseLinks_; }

  // For the places that consult the plan: counts the call, tells the
  // observer (allocations excepted) and says whether it is to fail.
  bool Consult(const CallEvent& event, std::size_t size = 0);

 private:
  Fault fault_{};
  bool armed_ = false;
  bool fired_ = false;
  int seen_ = 0;  // calls of the armed kind (and size) since arming
  long calls_[kFaultKindCount] = {};
  CallObserver observer_;
  bool refuseLinks_ = false;
};

// The program's one plan.
FaultPlan& Faults();

// Shorthands for arming the plan: the nth call of a host operation answers
// `status`; the nth call of a text-file kind fails; the nth allocation of
// `size` bytes fails.
void FailCall(host::Operation op, int nth, Status status, bool persistent = false);
void FailFileCall(FaultKind kind, int nth, bool persistent = false);
void FailAllocation(std::size_t size, int nth = 1);

}  // namespace kestrel::testing
