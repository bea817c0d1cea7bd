#include "tests/fault_plan.h"

#include <cstdio>
#include <iterator>
#include <string>

#include "platform/text_file_calls.h"
#include "tests/allocation_fault.h"

namespace kestrel::testing {

const char* FaultKindName(FaultKind kind) {
  constexpr const char* kNames[] = {
      "ListDatabases", "OpenDatabase", "CreateDatabase", "CloseDatabase", "ClearDatabase",
      "ReadRecordAt",  "WriteRecord",  "LogMessage",     "file open",     "file write",
      "file read",     "file close",   "file rename",    "allocation"};
  static_assert(static_cast<int>(std::size(kNames)) == kFaultKindCount,
                "a name for every kind of fault");
  return kNames[static_cast<int>(kind)];
}

FaultPlan& Faults() {
  static FaultPlan plan;
  return plan;
}

void FaultPlan::Arm(const Fault& fault) {
  fault_ = fault;
  armed_ = fault.nth > 0;
  fired_ = false;
  seen_ = 0;
}

void FaultPlan::Clear() {
  armed_ = false;
  fired_ = false;
}

void FaultPlan::Observe(CallObserver observer) {
  const AllocationPause pause;
  observer_ = std::move(observer);
}

bool FaultPlan::Consult(const CallEvent& event, std::size_t size) {
  ++calls_[static_cast<int>(event.kind)];
  if (observer_ && event.kind != FaultKind::Allocation) {
    const AllocationPause pause;
    observer_(event);
  }
  if (!armed_ || event.kind != fault_.kind) return false;
  if (fault_.size != 0 && size != fault_.size) return false;
  ++seen_;
  if (seen_ < fault_.nth || (seen_ > fault_.nth && !fault_.persistent)) return false;
  // The call fails; a fault that is not persistent is spent with it.
  armed_ = fault_.persistent;
  fired_ = true;
  return true;
}

void FailCall(host::Operation op, int nth, Status status, bool persistent) {
  Fault fault;
  fault.kind = HostFault(op);
  fault.nth = nth;
  fault.persistent = persistent;
  fault.status = status;
  Faults().Arm(fault);
}

void FailFileCall(FaultKind kind, int nth, bool persistent) {
  Fault fault;
  fault.kind = kind;
  fault.nth = nth;
  fault.persistent = persistent;
  Faults().Arm(fault);
}

void FailAllocation(std::size_t size, int nth) {
  Fault fault;
  fault.kind = FaultKind::Allocation;
  fault.nth = nth;
  fault.size = size;
  Faults().Arm(fault);
}

namespace {

// The host's operations: the plan may answer in the handheld's place. The
// handheld's own allocations are the host's, not the conduit's: they are
// neither counted nor made to fail.
class PlanHook final : public host::HostCallHook {
 public:
  Status Enter(const host::HostCall& call) override {
    BeginAllocationPause();
    const bool fails = Faults().Consult({HostFault(call.op), call.subject, call.detail});
    return fails ? Faults().Armed().status : StatusOk;
  }
  void Leave() override { EndAllocationPause(); }
};

PlanHook g_hook;

// The text-file layer's calls: each asks the plan first, then makes the
// system's own call, or fails as a full disk or a vanished file would.
TextFileCalls g_system{};

std::FILE* Open(const std::string& path, TextFileMode mode) {
  if (Faults().Consult({FaultKind::FileOpen, path, 0})) return nullptr;
  return g_system.open(path, mode);
}

std::size_t Write(const char* data, std::size_t size, std::FILE* stream) {
  if (Faults().Consult({FaultKind::FileWrite, std::string_view(data, size), 0})) return 0;
  return g_system.write(data, size, stream);
}

int Read(std::FILE* stream) {
  if (Faults().Consult({FaultKind::FileRead, {}, 0})) return kReadFailed;
  return g_system.read(stream);
}

int Close(std::FILE* stream, bool toDisk) {
  // A close that fails still releases the stream.
  const bool fails = Faults().Consult({FaultKind::FileClose, {}, 0});
  const int closed = g_system.close(stream, toDisk);
  return fails ? EOF : closed;
}

bool Rename(const SystemPath& from, const SystemPath& to) {
  if (Faults().Consult({FaultKind::FileRename, {}, 0})) return false;
  return g_system.rename(from, to);
}

bool Install() {
  host::SetHostCallHook(&g_hook);
  TextFileCalls& calls = TextFileSystem();
  g_system = calls;
  calls.open = &Open;
  calls.write = &Write;
  calls.read = &Read;
  calls.close = &Close;
  calls.rename = &Rename;
  return true;
}

const bool g_installed = Install();

}  // namespace

}  // namespace kestrel::testing
