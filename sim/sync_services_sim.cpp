// The host's eight operations, answered by the attached simulated handheld.
#include "handheld/sync_services.h"
#include "sim/handheld.h"

using sim::AttachedHandheld;

extern "C" {

Status ListDatabases(std::int32_t, std::int32_t, std::int32_t, DatabaseInfo* entries,
                     std::int32_t* count) {
  auto* h = AttachedHandheld();
  return h ? h->List(entries, count) : sim::kStatusNoHandheld;
}

Status OpenDatabase(const char* name, std::int32_t, std::uint8_t* handle, std::uint8_t mode) {
  auto* h = AttachedHandheld();
  return h ? h->Open(name, handle, mode) : sim::kStatusNoHandheld;
}

Status CreateDatabase(NewDatabaseSpec* spec) {
  auto* h = AttachedHandheld();
  return h ? h->Create(spec) : sim::kStatusNoHandheld;
}

Status CloseDatabase(std::uint8_t handle) {
  auto* h = AttachedHandheld();
  return h ? h->Close(handle) : sim::kStatusNoHandheld;
}

Status ClearDatabase(std::uint8_t handle) {
  auto* h = AttachedHandheld();
  return h ? h->Clear(handle) : sim::kStatusNoHandheld;
}

Status ReadRecordAt(RecordTransfer* transfer) {
  auto* h = AttachedHandheld();
  return h ? h->Read(transfer) : sim::kStatusNoHandheld;
}

Status WriteRecord(RecordTransfer* transfer) {
  auto* h = AttachedHandheld();
  return h ? h->Write(transfer) : sim::kStatusNoHandheld;
}

Status LogMessage(const char* text, std::int32_t activity, std::int32_t) {
  if (auto* h = AttachedHandheld()) h->Log(text, activity);
  return StatusOk;
}

}  // extern "C"
