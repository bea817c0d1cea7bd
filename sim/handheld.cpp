#include "sim/handheld.h"

#include <algorithm>
#include <cstring>

#include "handheld/record_buffer.h"

namespace sim {
namespace {

Handheld* g_attached = nullptr;
HostCallHook* g_hook = nullptr;

// Makes room for one more element, growing geometrically, so that the
// push_back that follows cannot fail.
template <typename T>
void ReserveOneMore(std::vector<T>& v) {
  if (v.size() == v.capacity()) v.reserve(v.empty() ? 8 : 2 * v.size());
}

// A name from a fixed block: up to its first NUL, never past the block.
std::string BoundedName(const char* text, std::size_t size) {
  const void* nul = std::memchr(text, '\0', size);
  return std::string(text, nul ? static_cast<const char*>(nul) - text : size);
}

}  // namespace

void AttachHandheld(Handheld* handheld) { g_attached = handheld; }
Handheld* AttachedHandheld() { return g_attached; }
void SetHostCallHook(HostCallHook* hook) { g_hook = hook; }
HostCallHook* HostCallHookInUse() { return g_hook; }

Database& Handheld::Add(Database db, std::string fileName) {
  slots.push_back(Slot{std::move(db), std::move(fileName), false});
  return slots.back().db;
}

Slot* Handheld::Find(const std::string& name) {
  for (auto& slot : slots) {
    if (slot.db.name == name) return &slot;
  }
  return nullptr;
}

std::vector<std::string> Handheld::OpenDatabases() const {
  std::vector<std::string> names;
  for (const auto& h : handles_) {
    if (!h.name.empty()) names.push_back(h.name);
  }
  return names;
}

Handheld::OpenHandle* Handheld::Lookup(std::uint8_t handle) {
  if (handle == 0 || handles_[handle].name.empty()) return nullptr;
  return &handles_[handle];
}

Slot& Handheld::SlotOf(const OpenHandle& open) {
  // Where it was opened, unless the slots have been changed since; then by
  // name, as it was found.
  if (open.slot < slots.size() && slots[open.slot].db.name == open.name) return slots[open.slot];
  return *Find(open.name);
}

Status Handheld::LoadEntries(Slot& slot) {
  if (!slot.loadEntries || slot.entriesLoaded) return StatusOk;
  if (Status s = slot.loadEntries(slot.db)) return s;
  slot.entriesLoaded = true;
  return StatusOk;
}

void Handheld::DropEntries(Slot& slot) {
  if (!slot.loadEntries || !slot.entriesLoaded || slot.changed) return;
  for (const auto& h : handles_) {
    if (h.name == slot.db.name) return;
  }
  std::vector<Record>().swap(slot.db.records);
  std::vector<Resource>().swap(slot.db.resources);
  slot.entriesLoaded = false;
}

// Every allocation an operation needs is made before it changes anything, so
// that running out of memory leaves the handheld as it was: the entry is
// built and the journal given room for it here.
std::string Handheld::JournalEntry(std::string entry) {
  ReserveOneMore(journal);
  return entry;
}

Status Handheld::Issue(const std::string& name, bool writable, std::size_t slot,
                       std::uint8_t* handle) {
  OpenHandle fresh{name, writable, slot};
  for (std::size_t i = 1; i < handles_.size(); ++i) {
    if (handles_[i].name.empty()) {
      handles_[i] = std::move(fresh);
      *handle = static_cast<std::uint8_t>(i);
      return StatusOk;
    }
  }
  return kStatusTooManyOpen;
}

Status Handheld::List(DatabaseInfo* entries, std::int32_t* count) {
  const std::int32_t capacity = std::max<std::int32_t>(*count, 0);
  std::int32_t filled = 0;
  for (const auto& slot : slots) {
    if (filled == capacity) break;
    DatabaseInfo& info = entries[filled++];
    std::memset(&info, 0, sizeof info);
    info.type = slot.db.type;
    info.creator = slot.db.creator;
    std::memcpy(info.name, slot.db.name.data(), std::min<std::size_t>(slot.db.name.size(), 31));
  }
  *count = filled;
  return StatusOk;
}

Status Handheld::Open(const char* name, std::uint8_t* handle, std::uint8_t mode) {
  const std::string wanted = BoundedName(name, 32);
  Slot* slot = Find(wanted);
  if (slot == nullptr) return StatusNotFound;
  if (Status s = LoadEntries(*slot)) return s;
  const bool writable = (mode & 0x40) != 0;
  std::string entry = JournalEntry("open " + wanted + (writable ? " rw" : " r"));
  if (Status s = Issue(wanted, writable, static_cast<std::size_t>(slot - slots.data()), handle)) {
    DropEntries(*slot);
    return s;
  }
  journal.push_back(std::move(entry));
  return StatusOk;
}

Status Handheld::Create(NewDatabaseSpec* newDb) {
  const std::string name = BoundedName(newDb->name, sizeof newDb->name);
  if (Find(name) != nullptr) return kStatusExists;
  Database db;
  db.name = name;
  db.attributes = static_cast<std::uint16_t>(newDb->flags);
  db.version = newDb->version;
  db.type = newDb->type;
  db.creator = newDb->creator;
  db.creationDate = db.modificationDate = clock;
  std::string entry = JournalEntry("create " + name);
  ReserveOneMore(slots);
  if (Status s = Issue(name, true, slots.size(), &newDb->handle)) return s;
  slots.push_back(Slot{std::move(db), {}, true});
  journal.push_back(std::move(entry));
  return StatusOk;
}

Status Handheld::Close(std::uint8_t handle) {
  OpenHandle* open = Lookup(handle);
  if (open == nullptr) return kStatusBadHandle;
  journal.push_back(JournalEntry("close " + open->name));
  Slot& slot = SlotOf(*open);
  *open = OpenHandle{};
  DropEntries(slot);
  return StatusOk;
}

Status Handheld::Clear(std::uint8_t handle) {
  OpenHandle* open = Lookup(handle);
  if (open == nullptr) return kStatusBadHandle;
  if (!open->writable) return kStatusReadOnly;
  Slot& slot = SlotOf(*open);
  if (slot.db.IsResourceDb()) return kStatusNotRecordDb;
  if (slot.db.IsReadOnly()) return kStatusReadOnly;
  journal.push_back(JournalEntry("clear " + open->name));
  if (!slot.db.records.empty()) {
    slot.db.records.clear();
    slot.db.modificationNumber++;
    slot.db.modificationDate = clock;
    slot.changed = true;
  }
  return StatusOk;
}

Status Handheld::Read(RecordTransfer* transfer) {
  OpenHandle* open = Lookup(transfer->handle);
  if (open == nullptr) return kStatusBadHandle;
  const Database& db = SlotOf(*open).db;
  if (db.IsResourceDb()) return kStatusNotRecordDb;
  if (transfer->recordIndex >= db.records.size()) return StatusNotFound;
  const Record& record = db.records[transfer->recordIndex];
  std::uint8_t* buffer = RecordBufferData(*transfer);
  if (buffer == nullptr || record.data.size() > transfer->bufferCapacity) return kStatusTooLarge;
  std::copy(record.data.begin(), record.data.end(), buffer);
  transfer->recordId = record.uniqueId;
  transfer->attributes = record.attributes & 0xF0;
  transfer->category = record.attributes & kCategoryMask;
  transfer->recordSize = static_cast<std::uint32_t>(record.data.size());
  return StatusOk;
}

Status Handheld::Write(RecordTransfer* transfer) {
  OpenHandle* open = Lookup(transfer->handle);
  if (open == nullptr) return kStatusBadHandle;
  if (!open->writable) return kStatusReadOnly;
  Slot& slot = SlotOf(*open);
  Database& db = slot.db;
  if (db.IsResourceDb()) return kStatusNotRecordDb;
  if (db.IsReadOnly()) return kStatusReadOnly;
  const std::uint8_t* buffer = RecordBufferData(*transfer);
  if (buffer == nullptr || transfer->recordSize > transfer->bufferCapacity) return kStatusTooLarge;
  Record record;
  record.attributes = kRecordDirty | (transfer->category & kCategoryMask);
  record.data.assign(buffer, buffer + transfer->recordSize);
  if (transfer->recordId == 0) {
    ReserveOneMore(db.records);
    // A new record: a fresh unique ID from the database's seed, as a device
    // hands them out, skipping any that a loaded record already holds.
    auto taken = [&db](std::uint32_t id) {
      return std::any_of(db.records.begin(), db.records.end(),
                         [id](const Record& r) { return r.uniqueId == id; });
    };
    do {
      db.uniqueIdSeed = (db.uniqueIdSeed + 1) & 0xFFFFFF;
    } while (db.uniqueIdSeed == 0 || taken(db.uniqueIdSeed));
    record.uniqueId = db.uniqueIdSeed;
    transfer->recordId = record.uniqueId;
    db.records.push_back(std::move(record));
  } else {
    auto it = std::find_if(db.records.begin(), db.records.end(), [transfer](const Record& r) {
      return r.uniqueId == transfer->recordId;
    });
    if (it == db.records.end()) return StatusNotFound;
    record.uniqueId = it->uniqueId;
    *it = std::move(record);
  }
  db.modificationNumber++;
  db.modificationDate = clock;
  slot.changed = true;
  return StatusOk;
}

void Handheld::Log(const char* text, std::int32_t activity) {
  log.push_back(LogEntry{activity, text});
}

}  // namespace sim
