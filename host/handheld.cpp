// SPDX-License-Identifier: MIT
#include "host/handheld.h"

#include <algorithm>
#include <cstring>

#include "handheld/record_buffer.h"

namespace kestrel::host {
namespace {

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

Handheld* handheld_detail::attached = nullptr;

void AttachHandheld(Handheld* handheld) { handheld_detail::attached = handheld; }
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

Slot* Handheld::SlotOf(const OpenHandle& open) {
  return open.slot < slots.size() ? &slots[open.slot] : nullptr;
}

Status Handheld::LoadImage(Slot& slot) {
  if (!slot.source || slot.image) return StatusOk;
  auto image = std::make_shared<RecordImage>();
  if (Status s = slot.source(slot.db, *image)) return s;
  slot.image = std::move(image);
  return StatusOk;
}

void Handheld::DropImage(std::size_t slot) {
  if (slot >= slots.size() || !slots[slot].image) return;
  for (const auto& h : handles_) {
    if (h.slot == slot && !h.name.empty()) return;
  }
  slots[slot].image.reset();
}

namespace {

// The records of an image as records of their own, made whole before
// anything changes.
std::vector<Record> CopyRecords(const RecordImage& image, std::size_t room) {
  std::vector<Record> records;
  records.reserve(image.records.size() + room);
  for (const RecordView& view : image.records) {
    const auto data = image.Data(view);
    records.push_back(Record{view.attributes, view.uniqueId, {data.begin(), data.end()}});
  }
  return records;
}

}  // namespace

Status Handheld::HoldRecords(Slot& slot) {
  if (!slot.source) return StatusOk;
  std::shared_ptr<const RecordImage> image = slot.image;
  if (!image) {
    auto read = std::make_shared<RecordImage>();
    if (Status s = slot.source(slot.db, *read)) return s;
    image = std::move(read);
  }
  slot.db.records = CopyRecords(*image, 0);
  slot.image.reset();
  slot.source = {};
  return StatusOk;
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
  const bool writable = (mode & 0x40) != 0;
  std::string entry = JournalEntry("open " + wanted + (writable ? " rw" : " r"));
  if (Status s = LoadImage(*slot)) return s;
  const auto position = static_cast<std::size_t>(slot - slots.data());
  if (Status s = Issue(wanted, writable, position, handle)) {
    DropImage(position);
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
  const std::size_t slot = open->slot;
  *open = OpenHandle{};
  DropImage(slot);
  return StatusOk;
}

Status Handheld::Clear(std::uint8_t handle) {
  OpenHandle* open = Lookup(handle);
  if (open == nullptr) return kStatusBadHandle;
  if (!open->writable) return kStatusReadOnly;
  Slot* found = SlotOf(*open);
  if (found == nullptr) return kStatusBadHandle;
  Slot& slot = *found;
  if (slot.db.IsResourceDb()) return kStatusNotRecordDb;
  if (slot.db.IsReadOnly()) return kStatusReadOnly;
  journal.push_back(JournalEntry("clear " + open->name));
  // Records kept in the file are dropped with it: none is made only to go.
  const bool hadRecords = slot.image ? !slot.image->records.empty() : !slot.db.records.empty();
  slot.image.reset();
  slot.source = {};
  if (hadRecords) {
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
  const Slot* slot = SlotOf(*open);
  if (slot == nullptr) return kStatusBadHandle;
  if (slot->db.IsResourceDb()) return kStatusNotRecordDb;
  std::uint8_t* buffer = RecordBufferData(*transfer);
  std::uint8_t attributes = 0;
  if (const RecordImage* image = slot->image.get()) {
    if (transfer->recordIndex >= image->records.size()) return StatusNotFound;
    const RecordView& record = image->records[transfer->recordIndex];
    if (buffer == nullptr || record.size > transfer->bufferCapacity) return kStatusTooLarge;
    std::memcpy(buffer, image->bytes.get() + record.offset, record.size);
    transfer->recordId = record.uniqueId;
    transfer->recordSize = record.size;
    attributes = record.attributes;
  } else {
    const std::vector<Record>& records = slot->db.records;
    if (transfer->recordIndex >= records.size()) return StatusNotFound;
    const Record& record = records[transfer->recordIndex];
    if (buffer == nullptr || record.data.size() > transfer->bufferCapacity) return kStatusTooLarge;
    if (!record.data.empty()) std::memcpy(buffer, record.data.data(), record.data.size());
    transfer->recordId = record.uniqueId;
    transfer->recordSize = static_cast<std::uint32_t>(record.data.size());
    attributes = record.attributes;
  }
  transfer->attributes = attributes & 0xF0;
  transfer->category = attributes & kCategoryMask;
  return StatusOk;
}

Status Handheld::Write(RecordTransfer* transfer) {
  OpenHandle* open = Lookup(transfer->handle);
  if (open == nullptr) return kStatusBadHandle;
  if (!open->writable) return kStatusReadOnly;
  Slot* found = SlotOf(*open);
  if (found == nullptr) return kStatusBadHandle;
  Slot& slot = *found;
  Database& db = slot.db;
  if (db.IsResourceDb()) return kStatusNotRecordDb;
  if (db.IsReadOnly()) return kStatusReadOnly;
  const std::uint8_t* buffer = RecordBufferData(*transfer);
  if (buffer == nullptr || transfer->recordSize > transfer->bufferCapacity) return kStatusTooLarge;
  Record record;
  record.attributes = kRecordDirty | (transfer->category & kCategoryMask);
  record.data.assign(buffer, buffer + transfer->recordSize);
  // Records still served from the file become records of their own first.
  const bool fromImage = slot.image != nullptr;
  std::vector<Record> copied;
  if (fromImage) copied = CopyRecords(*slot.image, 1);
  std::vector<Record>& records = fromImage ? copied : db.records;
  if (transfer->recordId == 0) {
    ReserveOneMore(records);
    // A new record: a fresh unique ID from the database's seed, as a device
    // hands them out, skipping any that a loaded record already holds.
    auto taken = [&records](std::uint32_t id) {
      return std::any_of(records.begin(), records.end(),
                         [id](const Record& r) { return r.uniqueId == id; });
    };
    std::uint32_t seed = db.uniqueIdSeed;
    do {
      seed = (seed + 1) & 0xFFFFFF;
    } while (seed == 0 || taken(seed));
    db.uniqueIdSeed = seed;
    record.uniqueId = seed;
    transfer->recordId = record.uniqueId;
    records.push_back(std::move(record));
  } else {
    auto it = std::find_if(records.begin(), records.end(), [transfer](const Record& r) {
      return r.uniqueId == transfer->recordId;
    });
    if (it == records.end()) return StatusNotFound;
    record.uniqueId = it->uniqueId;
    *it = std::move(record);
  }
  if (fromImage) {
    db.records = std::move(copied);
    slot.image.reset();
    slot.source = {};
  }
  db.modificationNumber++;
  db.modificationDate = clock;
  slot.changed = true;
  return StatusOk;
}

void Handheld::Log(const char* text, std::int32_t activity) {
  log.push_back(LogEntry{activity, text});
}

}  // namespace kestrel::host
