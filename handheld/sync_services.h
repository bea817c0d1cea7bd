// SPDX-License-Identifier: MIT
// The host's handheld sync and log services as the conduit sees them: the
// blocks that cross the boundary, the statuses, log activity codes and open
// modes, and the eight operations. On Windows the operations are imported by
// ordinal from SYNC20.dll and HSLOG20.dll; on POSIX host/ defines them.
#pragma once

#include <cstddef>
#include <cstdint>

// Every operation returns a status: 0 is success. Statuses from the host are
// passed on unchanged.
using Status = std::int32_t;

inline constexpr Status StatusOk = 0;
// No such database, or no record at that index.
inline constexpr Status StatusNotFound = 0x4003;
// Returned by the conduit itself when memory runs out.
inline constexpr Status StatusAllocFailed = 0x4001;
// The conduit's own failures (a file that cannot be opened, a failed write).
inline constexpr Status StatusFailed = 1;

// Sync log activity codes.
inline constexpr std::int32_t LogText = -1;
inline constexpr std::int32_t LogClearFailed = 10;
inline constexpr std::int32_t LogSyncStarted = 19;
inline constexpr std::int32_t LogSyncFinished = 20;
inline constexpr std::int32_t LogFailure = 21;

// Database open modes.
inline constexpr std::uint8_t ModeRead = 0x80;
inline constexpr std::uint8_t ModeReadWrite = 0xC0;

// Four-character codes, first character in the most significant byte.
inline constexpr std::uint32_t FourCharCode(const char (&code)[5]) {
  return std::uint32_t(std::uint8_t(code[0])) << 24 | std::uint32_t(std::uint8_t(code[1])) << 16 |
         std::uint32_t(std::uint8_t(code[2])) << 8 | std::uint32_t(std::uint8_t(code[3]));
}
inline constexpr std::uint32_t kTypeData = FourCharCode("Data");     // 0x44617461
inline constexpr std::uint32_t kCreatorTkpl = FourCharCode("Tkpl");  // 0x546B706C
static_assert(kTypeData == 0x44617461 && kCreatorTkpl == 0x546B706C);

inline constexpr std::uint16_t kRecordBufferSize = 4480;
inline constexpr std::uint8_t kRecordDeleted = 0x80;

#pragma pack(push, 1)

// The block through which one record is read or written. Little-endian, 28
// bytes on every target. The buffer address is a 32-bit field: on a 32-bit
// host it is the address itself; on a 64-bit host it is a token that
// RecordBufferData() resolves (see record_buffer.h).
struct RecordTransfer {
  std::uint8_t handle;
  std::uint32_t recordId;
  std::uint16_t recordIndex;
  std::uint8_t attributes;
  std::uint16_t category;
  std::uint32_t reserved1;
  std::uint32_t recordSize;
  std::uint16_t bufferCapacity;
  std::uint32_t bufferAddress;
  std::uint32_t reserved2;
};

// One entry of the handheld's database list, filled by ListDatabases.
struct DatabaseInfo {
  std::uint8_t unused1[6];
  std::uint32_t type;
  char name[32];
  std::uint32_t creator;
  std::uint8_t unused2[32];
};

// The block passed to CreateDatabase; zeroed before use.
struct NewDatabaseSpec {
  std::uint8_t handle;  // filled in by CreateDatabase
  std::uint32_t creator;
  std::uint32_t flags;
  std::uint8_t unused;
  char name[32];
  std::uint32_t type;
  std::uint16_t version;
  std::uint32_t reserved;
};

#pragma pack(pop)

static_assert(sizeof(RecordTransfer) == 28);
static_assert(offsetof(RecordTransfer, handle) == 0);
static_assert(offsetof(RecordTransfer, recordId) == 1);
static_assert(offsetof(RecordTransfer, recordIndex) == 5);
static_assert(offsetof(RecordTransfer, attributes) == 7);
static_assert(offsetof(RecordTransfer, category) == 8);
static_assert(offsetof(RecordTransfer, reserved1) == 10);
static_assert(offsetof(RecordTransfer, recordSize) == 14);
static_assert(offsetof(RecordTransfer, bufferCapacity) == 18);
static_assert(offsetof(RecordTransfer, bufferAddress) == 20);
static_assert(offsetof(RecordTransfer, reserved2) == 24);

static_assert(sizeof(DatabaseInfo) == 78);
static_assert(offsetof(DatabaseInfo, type) == 6);
static_assert(offsetof(DatabaseInfo, name) == 10);
static_assert(offsetof(DatabaseInfo, creator) == 42);
static_assert(offsetof(DatabaseInfo, unused2) == 46);

static_assert(sizeof(NewDatabaseSpec) == 52);
static_assert(offsetof(NewDatabaseSpec, creator) == 1);
static_assert(offsetof(NewDatabaseSpec, flags) == 5);
static_assert(offsetof(NewDatabaseSpec, unused) == 9);
static_assert(offsetof(NewDatabaseSpec, name) == 10);
static_assert(offsetof(NewDatabaseSpec, type) == 42);
static_assert(offsetof(NewDatabaseSpec, version) == 46);
static_assert(offsetof(NewDatabaseSpec, reserved) == 48);

// The eight host operations, C calling convention. Arguments in call order;
// the constant arguments the conduit passes carry no meaning for it.
extern "C" {
// Fills up to *count entries (in: capacity) and sets *count to the number filled.
Status ListDatabases(std::int32_t card, std::int32_t start, std::int32_t flags,
                     DatabaseInfo* entries, std::int32_t* count);
// Opens the named database; on success *handle is nonzero.
Status OpenDatabase(const char* name, std::int32_t card, std::uint8_t* handle, std::uint8_t mode);
// Creates and opens a database; the handle comes back in newDb->handle.
Status CreateDatabase(NewDatabaseSpec* newDb);
Status CloseDatabase(std::uint8_t handle);
// Removes every record of an open database.
Status ClearDatabase(std::uint8_t handle);
// Reads the record at transfer->recordIndex into the transfer's buffer;
// StatusNotFound past the last record.
Status ReadRecordAt(RecordTransfer* transfer);
// Adds the transfer's recordSize bytes as a new record.
Status WriteRecord(RecordTransfer* transfer);
// Adds an entry to the sync log. The result carries no meaning.
Status LogMessage(const char* text, std::int32_t activity, std::int32_t flags);
}
