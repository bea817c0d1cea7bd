// The host's eight operations, answered by the attached simulated handheld.
// Like a real host library they are C functions: nothing is thrown out of
// them, and a simulated handheld that runs out of memory answers with a
// failure status (the log entry is then lost, as a host's would be). Each
// answer is shown to the handheld's observer, if it has one.
#include <new>
#include <string>

#include "handheld/sync_services.h"
#include "sim/handheld.h"

namespace {

// Runs one operation on the attached handheld and tells its observer.
// `database` is the name the operation is on, taken before the call (a
// close lets the handle go).
template <typename Call>
Status Answer(sim::Operation op, Call call, std::string_view database = {}, std::uint8_t mode = 0,
              const RecordTransfer* transfer = nullptr) {
  sim::Handheld* h = sim::AttachedHandheld();
  if (h == nullptr) return sim::kStatusNoHandheld;
  Status status = StatusOk;
  try {
    if (h->observer) {
      // A close lets its handle's name go: keep a copy for the observer.
      const std::string closed(op == sim::Operation::Close ? database : std::string_view());
      status = call(*h);
      sim::OperationEvent event{op, op == sim::Operation::Close ? closed : database, status, mode,
                                0};
      if (transfer != nullptr && status == StatusOk) event.attributes = transfer->attributes;
      h->observer(event);
      return status;
    }
    return call(*h);
  } catch (const std::bad_alloc&) {
    return sim::kStatusOutOfMemory;
  }
}

std::string_view NameOn(std::uint8_t handle) {
  sim::Handheld* h = sim::AttachedHandheld();
  return h != nullptr ? h->NameOf(handle) : std::string_view();
}

// ReadRecordAt when the handheld has an observer, or there is none.
[[gnu::noinline]] Status ReadObserved(RecordTransfer* transfer) {
  return Answer(
      sim::Operation::Read, [&](sim::Handheld& h) { return h.Read(transfer); },
      NameOn(transfer->handle), 0, transfer);
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
  return Answer(sim::Operation::List, [&](sim::Handheld& h) { return h.List(entries, count); });
}

Status OpenDatabase(const char* name, std::int32_t, std::uint8_t* handle, std::uint8_t mode) {
  return Answer(
      sim::Operation::Open, [&](sim::Handheld& h) { return h.Open(name, handle, mode); },
      BoundedName(name, 32), mode);
}

Status CreateDatabase(NewDatabaseSpec* newDb) {
  return Answer(
      sim::Operation::Create, [&](sim::Handheld& h) { return h.Create(newDb); },
      BoundedName(newDb->name, sizeof newDb->name));
}

Status CloseDatabase(std::uint8_t handle) {
  return Answer(
      sim::Operation::Close, [&](sim::Handheld& h) { return h.Close(handle); }, NameOn(handle));
}

Status ClearDatabase(std::uint8_t handle) {
  return Answer(
      sim::Operation::Clear, [&](sim::Handheld& h) { return h.Clear(handle); }, NameOn(handle));
}

Status ReadRecordAt(RecordTransfer* transfer) {
  // Called once a record of every backup: with no observer to tell, the
  // handheld answers at once (a read allocates nothing, so nothing throws).
  sim::Handheld* h = sim::AttachedHandheld();
  if (h != nullptr && !h->observer) return h->Read(transfer);
  return ReadObserved(transfer);
}

Status WriteRecord(RecordTransfer* transfer) {
  return Answer(
      sim::Operation::Write, [&](sim::Handheld& h) { return h.Write(transfer); },
      NameOn(transfer->handle));
}

Status LogMessage(const char* text, std::int32_t activity, std::int32_t) {
  Answer(sim::Operation::Log, [&](sim::Handheld& h) {
    h.Log(text, activity);
    return StatusOk;
  });
  return StatusOk;
}

}  // extern "C"
