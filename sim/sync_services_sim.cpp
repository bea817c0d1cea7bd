// The host's eight operations, answered by the attached simulated handheld.
// Like a real host library they are C functions: nothing is thrown out of
// them, and a simulated handheld that runs out of memory answers with a
// failure status (the log entry is then lost, as a host's would be).
#include <new>

#include "handheld/sync_services.h"
#include "sim/handheld.h"

namespace {

// Runs one operation on the attached handheld.
template <typename Call>
Status Answer(Call call) {
  sim::Handheld* h = sim::AttachedHandheld();
  if (h == nullptr) return sim::kStatusNoHandheld;
  try {
    return call(*h);
  } catch (const std::bad_alloc&) {
    return sim::kStatusOutOfMemory;
  }
}

}  // namespace

extern "C" {

Status ListDatabases(std::int32_t, std::int32_t, std::int32_t, DatabaseInfo* entries,
                     std::int32_t* count) {
  return Answer([&](sim::Handheld& h) { return h.List(entries, count); });
}

Status OpenDatabase(const char* name, std::int32_t, std::uint8_t* handle, std::uint8_t mode) {
  return Answer([&](sim::Handheld& h) { return h.Open(name, handle, mode); });
}

Status CreateDatabase(NewDatabaseSpec* newDb) {
  return Answer([&](sim::Handheld& h) { return h.Create(newDb); });
}

Status CloseDatabase(std::uint8_t handle) {
  return Answer([&](sim::Handheld& h) { return h.Close(handle); });
}

Status ClearDatabase(std::uint8_t handle) {
  return Answer([&](sim::Handheld& h) { return h.Clear(handle); });
}

Status ReadRecordAt(RecordTransfer* transfer) {
  return Answer([&](sim::Handheld& h) { return h.Read(transfer); });
}

Status WriteRecord(RecordTransfer* transfer) {
  return Answer([&](sim::Handheld& h) { return h.Write(transfer); });
}

Status LogMessage(const char* text, std::int32_t activity, std::int32_t) {
  Answer([&](sim::Handheld& h) {
    h.Log(text, activity);
    return StatusOk;
  });
  return StatusOk;
}

}  // extern "C"
