// SPDX-License-Identifier: MIT
#include "tests/fault_plan.h"

#include <cstdio>
#include <iterator>
#include <string>

#include "platform/file_store.h"
#include "platform/text_file_calls.h"
#include "tests/allocation_fault.h"

namespace kestrel::testing {

const char* FaultKindName(FaultKind kind) {
  constexpr const char* kNames[] = {
      "ListDatabases", "OpenDatabase", "CreateDatabase", "CloseDatabase",  "ClearDatabase",
      "ReadRecordAt",  "WriteRecord",  "LogMessage",     "file open",      "file write",
      "file read",     "file close",   "file rename",    "store open",     "store create",
      "store read",    "store write",  "store flush",    "store identify", "store link",
      "store place",   "store folder", "store list",     "store remove",   "allocation"};
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
  refuseLinks_ = false;
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
// call it stands in front of, or fails as a full disk or a vanished file
// would.
struct TextFileNext {
  decltype(TextFileCalls::open)::Function open;
  decltype(TextFileCalls::write)::Function write;
  decltype(TextFileCalls::read)::Function read;
  decltype(TextFileCalls::close)::Function close;
  decltype(TextFileCalls::rename)::Function rename;
} g_text{};

std::FILE* Open(const std::string& path, const std::string& newPath, TextFileMode mode) {
  if (Faults().Consult({FaultKind::FileOpen, path, 0})) return nullptr;
  return g_text.open(path, newPath, mode);
}

std::size_t Write(const char* data, std::size_t size, std::FILE* stream) {
  if (Faults().Consult({FaultKind::FileWrite, std::string_view(data, size), 0})) return 0;
  return g_text.write(data, size, stream);
}

int Read(std::FILE* stream) {
  if (Faults().Consult({FaultKind::FileRead, {}, 0})) return kReadFailed;
  return g_text.read(stream);
}

int Close(std::FILE* stream, bool toDisk) {
  // A close that fails still releases the stream.
  const bool fails = Faults().Consult({FaultKind::FileClose, {}, 0});
  const int closed = g_text.close(stream, toDisk);
  return fails ? EOF : closed;
}

bool Rename(const SystemPath& from, const SystemPath& to) {
  if (Faults().Consult({FaultKind::FileRename, {}, 0})) return false;
  return g_text.rename(from, to);
}

// The file store's calls, the same way. Closing is not a fault of its own.
struct StoreNextCalls {
  decltype(FileStoreCalls::openRegular)::Function openRegular;
  decltype(FileStoreCalls::createNew)::Function createNew;
  decltype(FileStoreCalls::read)::Function read;
  decltype(FileStoreCalls::write)::Function write;
  decltype(FileStoreCalls::flush)::Function flush;
  decltype(FileStoreCalls::identify)::Function identify;
  decltype(FileStoreCalls::link)::Function link;
  decltype(FileStoreCalls::placeNew)::Function placeNew;
  decltype(FileStoreCalls::makeFolder)::Function makeFolder;
  decltype(FileStoreCalls::list)::Function list;
  decltype(FileStoreCalls::remove)::Function remove;
} g_store{};

// The path's text for the observer is the plan's own memory, not the
// conduit's: a removal in a destructor must not be made to throw.
bool Fails(FaultKind kind, const SystemPath& path = {}) {
  std::string text;
  {
    const AllocationPause pause;
    text = SystemPathText(path);
  }
  return Faults().Consult({kind, text, 0});
}

OpenResult StoreOpen(const SystemPath& path, bool followLink, FileHandle* file) {
  *file = kNoFile;
  if (Fails(FaultKind::StoreOpen, path)) return OpenResult::Failed;
  return g_store.openRegular(path, followLink, file);
}

bool StoreCreate(const SystemPath& path, FileHandle* file) {
  *file = kNoFile;
  return !Fails(FaultKind::StoreCreate, path) && g_store.createNew(path, file);
}

long long StoreRead(FileHandle file, std::uint64_t offset, char* data, std::size_t size) {
  return Fails(FaultKind::StoreRead) ? -1 : g_store.read(file, offset, data, size);
}

bool StoreWrite(FileHandle file, const char* data, std::size_t size) {
  return !Fails(FaultKind::StoreWrite) && g_store.write(file, data, size);
}

bool StoreFlush(FileHandle file) { return !Fails(FaultKind::StoreFlush) && g_store.flush(file); }

bool StoreIdentify(FileHandle file, FileIdentity* identity) {
  return !Fails(FaultKind::StoreIdentify) && g_store.identify(file, identity);
}

PlaceResult StoreLink(FileHandle file, const SystemPath& source, const SystemPath& target) {
  if (Fails(FaultKind::StoreLink, target)) return PlaceResult::Failed;
  if (Faults().LinksRefused()) return PlaceResult::Refused;
  return g_store.link(file, source, target);
}

PlaceResult StorePlace(const SystemPath& from, const SystemPath& target) {
  if (Fails(FaultKind::StorePlace, target)) return PlaceResult::Failed;
  return g_store.placeNew(from, target);
}

bool StoreFolder(const SystemPath& path) {
  return !Fails(FaultKind::StoreFolder, path) && g_store.makeFolder(path);
}

bool StoreList(const SystemPath& folder, std::vector<std::string>* names) {
  return !Fails(FaultKind::StoreList, folder) && g_store.list(folder, names);
}

bool StoreRemove(const SystemPath& path, bool orLink) {
  return !Fails(FaultKind::StoreRemove, path) && g_store.remove(path, orLink);
}

bool Install() {
  host::SetHostCallHook(&g_hook);
  TextFileCalls& text = TextFileSystem();
  g_text = {text.open.Set(&Open), text.write.Set(&Write), text.read.Set(&Read),
            text.close.Set(&Close), text.rename.Set(&Rename)};
  FileStoreCalls& store = FileStore();
  g_store = {store.openRegular.Set(&StoreOpen),  store.createNew.Set(&StoreCreate),
             store.read.Set(&StoreRead),         store.write.Set(&StoreWrite),
             store.flush.Set(&StoreFlush),       store.identify.Set(&StoreIdentify),
             store.link.Set(&StoreLink),         store.placeNew.Set(&StorePlace),
             store.makeFolder.Set(&StoreFolder), store.list.Set(&StoreList),
             store.remove.Set(&StoreRemove)};
  return true;
}

const bool g_installed = Install();

}  // namespace

}  // namespace kestrel::testing
