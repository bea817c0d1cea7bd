#include "tests/reliability/host_trace.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "handheld/sync_services.h"
#include "tests/allocation_fault.h"

namespace kestrel::testing {
namespace {

struct Recorder {
  std::vector<TraceEvent>* trace = nullptr;
  long allocationBase = 0;
  std::array<std::string, 256> names;  // the database behind each handle
};

Recorder g_recorder;

std::string BoundedName(const char* text, std::size_t size) {
  const void* nul = std::memchr(text, '\0', size);
  return std::string(text, nul ? static_cast<const char*>(nul) - text : size);
}

void Record(Source source, int op, std::string subject, int detail) {
  if (g_recorder.trace == nullptr) return;
  g_recorder.trace->push_back(TraceEvent{source, op, std::move(subject), detail,
                                         AllocationCount() - g_recorder.allocationBase});
}

void RecordHost(sim::Operation op, std::string subject, int detail = 0) {
  Record(Source::Host, int(op), std::move(subject), detail);
}

void RecordFile(FileOperation op, std::string_view detail) {
  const AllocationPause pause;
  Record(Source::File, int(op), std::string(detail), 0);
}

}  // namespace

TraceScope::TraceScope(std::vector<TraceEvent>& trace) {
  const AllocationPause pause;
  trace.clear();
  g_recorder.trace = &trace;
  g_recorder.allocationBase = AllocationCount();
  ObserveFileOperations(RecordFile);
}

TraceScope::~TraceScope() {
  ObserveFileOperations(nullptr);
  g_recorder.trace = nullptr;
}

}  // namespace kestrel::testing

using kestrel::testing::AllocationPause;
using kestrel::testing::g_recorder;
using kestrel::testing::RecordHost;
using sim::Operation;

// The host's operations as the simulated handheld answers them, and the
// wrappers that the conduit's calls reach instead.
extern "C" {
Status __real_ListDatabases(std::int32_t, std::int32_t, std::int32_t, DatabaseInfo*, std::int32_t*);
Status __real_OpenDatabase(const char*, std::int32_t, std::uint8_t*, std::uint8_t);
Status __real_CreateDatabase(NewDatabaseSpec*);
Status __real_CloseDatabase(std::uint8_t);
Status __real_ClearDatabase(std::uint8_t);
Status __real_ReadRecordAt(RecordTransfer*);
Status __real_WriteRecord(RecordTransfer*);
Status __real_LogMessage(const char*, std::int32_t, std::int32_t);

Status __wrap_ListDatabases(std::int32_t card, std::int32_t start, std::int32_t flags,
                            DatabaseInfo* entries, std::int32_t* count) {
  const AllocationPause pause;
  RecordHost(Operation::List, "");
  return __real_ListDatabases(card, start, flags, entries, count);
}

Status __wrap_OpenDatabase(const char* name, std::int32_t card, std::uint8_t* handle,
                           std::uint8_t mode) {
  const AllocationPause pause;
  const std::string wanted = kestrel::testing::BoundedName(name, 32);
  RecordHost(Operation::Open, wanted, mode);
  const Status status = __real_OpenDatabase(name, card, handle, mode);
  if (*handle != 0) g_recorder.names[*handle] = wanted;
  return status;
}

Status __wrap_CreateDatabase(NewDatabaseSpec* newDb) {
  const AllocationPause pause;
  const std::string name = kestrel::testing::BoundedName(newDb->name, sizeof newDb->name);
  RecordHost(Operation::Create, name);
  const Status status = __real_CreateDatabase(newDb);
  if (status == StatusOk) g_recorder.names[newDb->handle] = name;
  return status;
}

Status __wrap_CloseDatabase(std::uint8_t handle) {
  const AllocationPause pause;
  RecordHost(Operation::Close, g_recorder.names[handle]);
  return __real_CloseDatabase(handle);
}

Status __wrap_ClearDatabase(std::uint8_t handle) {
  const AllocationPause pause;
  RecordHost(Operation::Clear, g_recorder.names[handle]);
  return __real_ClearDatabase(handle);
}

Status __wrap_ReadRecordAt(RecordTransfer* transfer) {
  const AllocationPause pause;
  RecordHost(Operation::Read, g_recorder.names[transfer->handle], transfer->recordIndex);
  return __real_ReadRecordAt(transfer);
}

Status __wrap_WriteRecord(RecordTransfer* transfer) {
  const AllocationPause pause;
  RecordHost(Operation::Write, g_recorder.names[transfer->handle]);
  return __real_WriteRecord(transfer);
}

Status __wrap_LogMessage(const char* text, std::int32_t activity, std::int32_t flags) {
  const AllocationPause pause;
  RecordHost(Operation::Log, text, activity);
  return __real_LogMessage(text, activity, flags);
}

}  // extern "C"
