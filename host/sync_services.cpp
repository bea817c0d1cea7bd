// SPDX-License-Identifier: MIT
// The host's eight operations, answered by the attached simulated handheld.
// Like a real host library they are C functions: nothing is thrown out of
// them, and a simulated handheld that runs out of memory answers with a
// failure status (the log entry is then lost, as a host's would be). Each
// answer is shown to the handheld's observer, if it has one.
#include "handheld/sync_services.h"

#include <new>
#include <string>

#include "host/handheld.h"

namespace host = kestrel::host;

namespace {

// Answers one call on the attached handheld: through the hook, when a test
// has set one, which may answer in the handheld's place; then tells the
// handheld's observer. The subject is taken before the call (a close lets
// the handle's name go).
template <typename Call>
Status Answer(const host::HostCall& call, Call run, const RecordTransfer* transfer = nullptr) {
  host::Handheld* h = host::AttachedHandheld();
  if (h == nullptr) return host::kStatusNoHandheld;
  host::HostCallHook* const hook = host::HostCallHookInUse();
  Status status = hook != nullptr ? hook->Enter(call) : StatusOk;
  try {
    // A close lets its handle's name go: the observer is shown a copy of
    // it. Every other subject outlives the call, and is shown as it is.
    const bool closing = call.op == host::Operation::Close;
    const std::string closed(h->observer && closing ? call.subject : std::string_view());
    if (status == StatusOk) status = run(*h);
    if (h->observer) {
      const bool isLog = call.op == host::Operation::Log;
      const std::string_view subject =
          isLog ? std::string_view() : (closing ? std::string_view(closed) : call.subject);
      host::OperationEvent event{
          call.op, subject,
          status,  static_cast<std::uint8_t>(call.op == host::Operation::Open ? call.detail : 0),
          0,       0};
      if (transfer != nullptr) {
        if (status == StatusOk) event.attributes = transfer->attributes;
        event.record = transfer->recordIndex;
      }
      h->observer(event);
    }
  } catch (const std::bad_alloc&) {
    status = host::kStatusOutOfMemory;
  }
  if (hook != nullptr) hook->Leave();
  return status;
}

std::string_view NameOn(std::uint8_t handle) {
  host::Handheld* h = host::AttachedHandheld();
  return h != nullptr ? h->NameOf(handle) : std::string_view();
}

// ReadRecordAt when there is an observer or a hook to tell, or no handheld.
[[gnu::noinline]] Status ReadObserved(RecordTransfer* transfer) {
  return Answer(
      {host::Operation::Read, NameOn(transfer->handle), transfer->recordIndex},
      [&](host::Handheld& h) { return h.Read(transfer); }, transfer);
}

// Tells the observer of a read the handheld has already answered with
// `status`, as ReadObserved would have.
[[gnu::noinline]] Status TellRead(RecordTransfer* transfer, Status status) {
  return Answer(
      {host::Operation::Read, NameOn(transfer->handle), transfer->recordIndex},
      [status](host::Handheld&) { return status; }, transfer);
}

// A name from a fixed block: up to its first NUL, never past the block.
std::string_view BoundedName(const char* text, std::size_t size) {
  std::size_t length = 0;
  while (length < size && text[length] != '\0') ++length;
  return std::string_view(text, length);
}

}  // namespace

extern "C" {

Status ListDatabases(std::int32_t, std::int32_t, std::int32_t, DatabaseInfo* entries,
                     std::int32_t* count) {
  return Answer({host::Operation::List, {}, 0},
                [&](host::Handheld& h) { return h.List(entries, count); });
}

Status OpenDatabase(const char* name, std::int32_t, std::uint8_t* handle, std::uint8_t mode) {
  return Answer({host::Operation::Open, BoundedName(name, 32), mode},
                [&](host::Handheld& h) { return h.Open(name, handle, mode); });
}

Status CreateDatabase(NewDatabaseSpec* newDb) {
  return Answer({host::Operation::Create, BoundedName(newDb->name, sizeof newDb->name), 0},
                [&](host::Handheld& h) { return h.Create(newDb); });
}

Status CloseDatabase(std::uint8_t handle) {
  return Answer({host::Operation::Close, NameOn(handle), 0},
                [&](host::Handheld& h) { return h.Close(handle); });
}

Status ClearDatabase(std::uint8_t handle) {
  return Answer({host::Operation::Clear, NameOn(handle), 0},
                [&](host::Handheld& h) { return h.Clear(handle); });
}

Status ReadRecordAt(RecordTransfer* transfer) {
  // Called once a record of every backup: with no hook, and no observer or
  // one that wants only failed reads, the handheld answers at once (a read
  // allocates nothing, so nothing throws) and the database's name is looked
  // up only for a failure to tell.
  host::Handheld* h = host::AttachedHandheld();
  if (h != nullptr && host::HostCallHookInUse() == nullptr &&
      (!h->observer || h->observeFailedReadsOnly)) {
    const Status status = h->Read(transfer);
    if (status == StatusOk || !h->observer) return status;
    return TellRead(transfer, status);
  }
  return ReadObserved(transfer);
}

Status WriteRecord(RecordTransfer* transfer) {
  return Answer({host::Operation::Write, NameOn(transfer->handle), 0},
                [&](host::Handheld& h) { return h.Write(transfer); });
}

Status LogMessage(const char* text, std::int32_t activity, std::int32_t) {
  // A log entry the host could not take is lost, as a host's would be.
  Answer({host::Operation::Log, text, activity}, [&](host::Handheld& h) {
    h.Log(text, activity);
    return StatusOk;
  });
  return StatusOk;
}

}  // extern "C"
