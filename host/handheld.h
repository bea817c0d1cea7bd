// SPDX-License-Identifier: MIT
// A simulated handheld: its databases and records, the handles open on it,
// the sync log. The operations answer as a real device's sync manager would;
// host/sync_services.cpp routes the host's eight operations to the
// attached handheld, through a test's HostCallHook when one is set.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "handheld/sync_services.h"

namespace kestrel::host {

// Statuses of the simulated sync manager for what a device refuses. Values
// of our own, apart from the conduit's.
inline constexpr Status kStatusBadHandle = 0x4005;
inline constexpr Status kStatusReadOnly = 0x4006;
inline constexpr Status kStatusExists = 0x4007;
inline constexpr Status kStatusTooLarge = 0x4008;
inline constexpr Status kStatusNotRecordDb = 0x4009;
inline constexpr Status kStatusTooManyOpen = 0x400A;
inline constexpr Status kStatusNoHandheld = 0x400B;
inline constexpr Status kStatusOutOfMemory = 0x400C;
// The records of a database could not be read from where they are kept.
inline constexpr Status kStatusUnreadable = 0x400D;

// Record attribute byte, as stored in Palm database files; the deleted flag
// is the host's kRecordDeleted (handheld/sync_services.h).
inline constexpr std::uint8_t kRecordDirty = 0x40;
inline constexpr std::uint8_t kRecordBusy = 0x20;
inline constexpr std::uint8_t kRecordSecret = 0x10;
inline constexpr std::uint8_t kCategoryMask = 0x0F;

// Database attributes: a resource database (its entries are resources); a
// read-only database, which the device refuses to clear or write.
inline constexpr std::uint16_t kDbResource = 0x0001;
inline constexpr std::uint16_t kDbReadOnly = 0x0002;

struct Record {
  std::uint8_t attributes = 0;  // flags in the high nibble, category in the low
  std::uint32_t uniqueId = 0;   // 24 bits
  std::vector<std::uint8_t> data;
  bool operator==(const Record&) const = default;
};

struct Resource {
  std::uint32_t type = 0;
  std::uint16_t id = 0;
  std::vector<std::uint8_t> data;
  bool operator==(const Resource&) const = default;
};

struct Database {
  std::string name;  // at most 31 characters
  std::uint16_t attributes = 0;
  std::uint16_t version = 0;
  std::uint32_t creationDate = 0;  // seconds since 1904
  std::uint32_t modificationDate = 0;
  std::uint32_t backupDate = 0;
  std::uint32_t modificationNumber = 0;
  std::uint32_t type = 0;
  std::uint32_t creator = 0;
  std::uint32_t uniqueIdSeed = 0;
  std::uint32_t nextRecordListId = 0;
  std::optional<std::vector<std::uint8_t>> appInfo;
  std::optional<std::vector<std::uint8_t>> sortInfo;
  std::vector<Record> records;      // record databases
  std::vector<Resource> resources;  // resource databases
  bool operator==(const Database&) const = default;

  bool IsResourceDb() const { return (attributes & kDbResource) != 0; }
  bool IsReadOnly() const { return (attributes & kDbReadOnly) != 0; }
};

struct LogEntry {
  std::int32_t activity = 0;
  std::string text;
  bool operator==(const LogEntry&) const = default;
};

enum class Operation { List, Open, Create, Close, Clear, Read, Write, Log };
inline constexpr int kOperationCount = 8;

// One operation as the host answered it, for whoever watches the handheld.
struct OperationEvent {
  Operation op = Operation::List;
  std::string_view database;    // the database it was on; empty for List and Log
  Status status = StatusOk;     // what the operation answered
  std::uint8_t mode = 0;        // Open: the mode asked for
  std::uint8_t attributes = 0;  // Read: the record's attributes when it answered 0
  std::uint16_t record = 0;     // Read: the index of the record asked for
};
using OperationObserver = std::function<void(const OperationEvent&)>;

// A record as it lies in the bytes of its database's file: where its data
// is, and its fields.
struct RecordView {
  std::uint32_t offset = 0;  // of its data, from the start of the file
  std::uint32_t size = 0;
  std::uint32_t uniqueId = 0;
  std::uint8_t attributes = 0;
};

// The records of a database served from its file: the file's bytes in one
// buffer and a view per record. Never changed once made, so every handle on
// the database shares it.
struct RecordImage {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t size = 0;
  std::vector<RecordView> records;

  std::span<const std::uint8_t> Data(const RecordView& r) const {
    return {bytes.get() + r.offset, r.size};
  }
};

// Reads the records of the database whose header, appInfo and sortInfo are
// `header` from where they are kept into `image`; returns 0, or the status
// that opening the database then answers.
using RecordSource = std::function<Status(const Database& header, RecordImage& image)>;

// One database slot on the handheld, with what the host needs to save it.
struct Slot {
  Database db;
  std::string fileName;  // the file it came from; empty when created by the sync
  bool changed = false;  // written, cleared or created since it was loaded
  // Set while the records are kept in the database's file rather than in
  // db.records: opening the database reads them into `image`, which serves
  // them until the last handle on it is closed; writing or clearing the
  // database first moves them into db.records and unsets this. So only the
  // databases open at the time take memory, and reading a record copies it
  // once, from the file's bytes into the caller's buffer.
  RecordSource source = {};
  std::shared_ptr<const RecordImage> image = {};
};

class Handheld {
 public:
  // Databases in the order ListDatabases reports them.
  std::vector<Slot> slots;
  std::vector<LogEntry> log;
  // One line per operation that reached a database, e.g. "open KestrelDB rw",
  // "create KestrelDB", "close KestrelDB", "clear KestrelDB", for tests.
  std::vector<std::string> journal;
  // Seconds since 1904 used for modification dates; tests keep it fixed.
  std::uint32_t clock = 0;
  // Told of every host operation after it was answered, when set.
  OperationObserver observer;
  // When set, the observer is told of a ReadRecordAt only when it answered
  // other than 0: a record that was read then costs no more than with no
  // observer at all.
  bool observeFailedReadsOnly = false;

  // Tests add, remove and change slots only while no database is open: an
  // open handle keeps the position of its slot.
  Database& Add(Database db, std::string fileName = {});
  Slot* Find(const std::string& name);

  // Moves the records of a slot kept in its file into slot.db.records, as
  // writing to the database does, so that tests can look at them or change
  // them. Returns 0, or the status opening the database would answer.
  Status HoldRecords(Slot& slot);

  // The name of the database open on `handle`; empty when none is.
  std::string_view NameOf(std::uint8_t handle) const { return handles_[handle].name; }

  // Names of databases still open, in handle order.
  std::vector<std::string> OpenDatabases() const;

  // The operations, with the host's arguments and statuses.
  Status List(DatabaseInfo* entries, std::int32_t* count);
  Status Open(const char* name, std::uint8_t* handle, std::uint8_t mode);
  Status Create(NewDatabaseSpec* newDb);
  Status Close(std::uint8_t handle);
  Status Clear(std::uint8_t handle);
  Status Read(RecordTransfer* transfer);
  Status Write(RecordTransfer* transfer);
  void Log(const char* text, std::int32_t activity);

 private:
  struct OpenHandle {
    std::string name;  // the database's name; empty when the handle is free
    bool writable = false;
    std::size_t slot = 0;  // the position of the database's slot
  };
  OpenHandle* Lookup(std::uint8_t handle);
  // The database an open handle is on; nullptr when tests took it away.
  Slot* SlotOf(const OpenHandle& open);
  std::string JournalEntry(std::string entry);
  Status Issue(const std::string& name, bool writable, std::size_t slot, std::uint8_t* handle);
  // Reads the records of a slot kept in its file into its image, when they
  // are not there yet.
  static Status LoadImage(Slot& slot);
  // Lets the image go when no handle is open on the slot any more.
  void DropImage(std::size_t slot);

  std::array<OpenHandle, 256> handles_{};  // index 0 is never issued
};

// One call of the host's eight operations, as the dispatch is about to
// answer it: the database it is on (empty for ListDatabases), or the text of
// a log entry; the open mode, the record index or the log activity.
struct HostCall {
  Operation op = Operation::List;
  std::string_view subject;
  int detail = 0;
};

// What a test program may put in front of the host's operations: asked
// before each call, it may answer a status of its own (nonzero) instead of
// the handheld; told when the call has been answered. None is set unless a
// test sets one.
class HostCallHook {
 public:
  virtual ~HostCallHook() = default;
  virtual Status Enter(const HostCall& call) = 0;
  virtual void Leave() = 0;
};
void SetHostCallHook(HostCallHook* hook);
HostCallHook* HostCallHookInUse();

// The handheld that the host's eight operations reach; nullptr for none, in
// which case they answer kStatusNoHandheld and log nothing.
namespace handheld_detail {
// Kept by handheld.cpp; named here only so that AttachedHandheld, asked once
// a record of every backup, can be inline.
extern Handheld* attached;
}  // namespace handheld_detail
void AttachHandheld(Handheld* handheld);
inline Handheld* AttachedHandheld() { return handheld_detail::attached; }

// Attaches a handheld for the life of the object.
class AttachScope {
 public:
  explicit AttachScope(Handheld& h) : previous_(AttachedHandheld()) { AttachHandheld(&h); }
  ~AttachScope() { AttachHandheld(previous_); }
  AttachScope(const AttachScope&) = delete;
  AttachScope& operator=(const AttachScope&) = delete;

 private:
  Handheld* previous_;
};

}  // namespace kestrel::host
