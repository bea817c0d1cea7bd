// SPDX-License-Identifier: MIT
#include "handheld_folder/pdb_file.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace kestrel::handheld_folder {
namespace {

constexpr std::size_t kMaxEntries = 0xFFFF;  // the count is 16 bits
constexpr std::size_t kGapSize = 2;

// Big-endian reads; the caller has checked that the bytes are there.
std::uint16_t Get16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}
std::uint32_t Get24(std::span<const std::uint8_t> b, std::size_t at) {
  return std::uint32_t(b[at]) << 16 | std::uint32_t(b[at + 1]) << 8 | b[at + 2];
}
std::uint32_t Get32(std::span<const std::uint8_t> b, std::size_t at) {
  return std::uint32_t(b[at]) << 24 | Get24(b, at + 1);
}
// The same on a pointer, for the loops over every entry: one load each.
std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v = 0;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap32(v);
  return v;
}
// The 24 bits after the attribute byte of a record entry (at p - 1).
std::uint32_t Load24After(const std::uint8_t* p) { return Load32(p - 1) & 0xFFFFFF; }

// Whether every block starts inside the file, after the entries, and no
// earlier than the block in front of it: one tight pass, for the usual case.
bool BlocksInOrder(std::span<const std::uint8_t> bytes, std::uint32_t appInfo,
                   std::uint32_t sortInfo, std::size_t count, std::size_t entrySize,
                   std::size_t entriesEnd, std::size_t size) {
  std::size_t previous = entriesEnd;
  auto next = [&previous, size](std::size_t offset) {
    if (offset < previous || offset > size) return false;
    previous = offset;
    return true;
  };
  if (appInfo != 0 && !next(appInfo)) return false;
  if (sortInfo != 0 && !next(sortInfo)) return false;
  // A record entry starts with its offset; a resource entry ends with it.
  const std::uint8_t* entry =
      bytes.data() + kPdbHeaderSize + (entrySize == kPdbResourceEntrySize ? 6 : 0);
  for (std::size_t i = 0; i < count; ++i, entry += entrySize) {
    if (!next(Load32(entry))) return false;
  }
  return true;
}

// BlocksInOrder for a record database that is wanted with its records as
// views: the same checks in the same pass that makes the views. False, with
// the views unfinished, when a block is out of place.
bool ViewsInOrder(std::span<const std::uint8_t> bytes, std::uint32_t appInfo,
                  std::uint32_t sortInfo, std::size_t count, std::size_t entriesEnd,
                  std::size_t size, std::vector<host::RecordView>* views) {
  std::size_t previous = entriesEnd;
  auto next = [&previous, size](std::size_t offset) {
    if (offset < previous || offset > size) return false;
    previous = offset;
    return true;
  };
  if (appInfo != 0 && !next(appInfo)) return false;
  if (sortInfo != 0 && !next(sortInfo)) return false;
  views->resize(count);
  if (count == 0) return true;
  const std::uint8_t* entry = bytes.data() + kPdbHeaderSize;
  std::size_t offset = Load32(entry);
  if (!next(offset)) return false;
  for (std::size_t i = 0; i < count; ++i, entry += kPdbRecordEntrySize) {
    // Each record runs to the next one's data, the last to the end of the file.
    const std::size_t end = i + 1 < count ? Load32(entry + kPdbRecordEntrySize) : size;
    if (!next(end)) return false;
    (*views)[i] = host::RecordView{static_cast<std::uint32_t>(offset),
                                   static_cast<std::uint32_t>(end - offset), Load24After(entry + 5),
                                   entry[4]};
    offset = end;
  }
  return true;
}

void Put8(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
}
void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put8(out, v >> 8);
  Put8(out, v);
}
void Put24(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put8(out, v >> 16);
  Put16(out, v);
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v >> 16);
  Put16(out, v);
}
void PutBytes(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

template <typename T>
std::optional<T> Fail(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
  return std::nullopt;
}

// Where the blocks of a file begin, in file order: the appInfo block and the
// sortInfo block when there are any, then each record's or resource's data.
// Names of blocks are made only for a message.
class BlockOffsets {
 public:
  BlockOffsets(std::span<const std::uint8_t> bytes, std::uint32_t appInfo, std::uint32_t sortInfo,
               std::size_t entries, bool resources)
      : bytes_(bytes), entries_(entries), resources_(resources) {
    if (appInfo != 0) infoBlocks_[infoCount_++] = {appInfo, "appInfo"};
    if (sortInfo != 0) infoBlocks_[infoCount_++] = {sortInfo, "sortInfo"};
  }

  std::size_t Count() const { return infoCount_ + entries_; }

  // The offset of block `i`; the entries are in the file.
  std::uint32_t Offset(std::size_t i) const {
    if (i < infoCount_) return infoBlocks_[i].offset;
    const std::size_t entry = i - infoCount_;
    return resources_ ? Get32(bytes_, kPdbHeaderSize + entry * kPdbResourceEntrySize + 6)
                      : Get32(bytes_, kPdbHeaderSize + entry * kPdbRecordEntrySize);
  }

  // Block `i` as the subject of a message: "record 3", "appInfo".
  std::string Subject(std::size_t i) const {
    if (i < infoCount_) return infoBlocks_[i].name;
    return EntryLabel(i);
  }

  // Block `i` as the object of a message: "record 3", "the appInfo block".
  std::string Mention(std::size_t i) const {
    if (i < infoCount_) return std::string("the ") + infoBlocks_[i].name + " block";
    return EntryLabel(i);
  }

 private:
  std::string EntryLabel(std::size_t i) const {
    return (resources_ ? "resource " : "record ") + std::to_string(i - infoCount_);
  }

  struct InfoBlock {
    std::uint32_t offset = 0;
    const char* name = "";
  };
  std::span<const std::uint8_t> bytes_;
  std::size_t entries_;
  bool resources_;
  InfoBlock infoBlocks_[2];
  std::size_t infoCount_ = 0;
};

}  // namespace

namespace {

// What Parse keeps of the file besides its header, appInfo and sortInfo.
enum class Entries { None, Whole, Views };

// Parses a file of `fileSize` bytes of which `bytes` holds the start: at
// least PdbCheckedExtent bytes for Entries::None, all of them otherwise.
std::optional<host::Database> Parse(std::span<const std::uint8_t> bytes, std::uint64_t fileSize,
                                    std::string* error, Entries entries,
                                    std::vector<host::RecordView>* views) {
  if (fileSize < kPdbHeaderSize) {
    return Fail<host::Database>(error, "file too short: " + std::to_string(fileSize) +
                                           " bytes, a header needs " +
                                           std::to_string(kPdbHeaderSize));
  }
  if (fileSize > kPdbMaxFileSize) return Fail<host::Database>(error, "file larger than 4 GiB");
  const auto size = static_cast<std::size_t>(fileSize);
  if (bytes.size() < (entries == Entries::None ? PdbCheckedExtent(bytes, fileSize) : size)) {
    return Fail<host::Database>(error, "file changed while it was read");
  }

  const void* nul = std::memchr(bytes.data(), '\0', kPdbNameSize);
  if (nul == nullptr) return Fail<host::Database>(error, "database name has no terminating NUL");
  const auto nameLength =
      static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - bytes.data());
  if (nameLength == 0) return Fail<host::Database>(error, "database name is empty");

  host::Database db;
  db.name.assign(reinterpret_cast<const char*>(bytes.data()), nameLength);
  db.attributes = Get16(bytes, 32);
  db.version = Get16(bytes, 34);
  db.creationDate = Get32(bytes, 36);
  db.modificationDate = Get32(bytes, 40);
  db.backupDate = Get32(bytes, 44);
  db.modificationNumber = Get32(bytes, 48);
  const std::uint32_t appInfoOffset = Get32(bytes, 52);
  const std::uint32_t sortInfoOffset = Get32(bytes, 56);
  db.type = Get32(bytes, 60);
  db.creator = Get32(bytes, 64);
  db.uniqueIdSeed = Get32(bytes, 68);
  db.nextRecordListId = Get32(bytes, 72);
  const std::size_t count = Get16(bytes, 76);

  const bool resources = db.IsResourceDb();
  const std::size_t entrySize = resources ? kPdbResourceEntrySize : kPdbRecordEntrySize;
  const std::size_t entriesEnd = kPdbHeaderSize + count * entrySize;
  if (entriesEnd > size) {
    return Fail<host::Database>(
        error, "more entries than the file can hold: " + std::to_string(count) + " entries of " +
                   std::to_string(entrySize) + " bytes need " + std::to_string(entriesEnd) +
                   " bytes, the file has " + std::to_string(size));
  }

  // Every block starts inside the file, after the entries, and no earlier
  // than the block in front of it; so every size below is zero or more.
  const BlockOffsets blocks(bytes, appInfoOffset, sortInfoOffset, count, resources);
  std::uint32_t previous = 0;
  const bool withViews = entries == Entries::Views && !resources;
  if (entries == Entries::Views) views->clear();
  const bool inOrder =
      withViews
          ? ViewsInOrder(bytes, appInfoOffset, sortInfoOffset, count, entriesEnd, size, views)
          : BlocksInOrder(bytes, appInfoOffset, sortInfoOffset, count, entrySize, entriesEnd, size);
  // When they are not, this names the first block out of place.
  for (std::size_t i = 0; !inOrder && i < blocks.Count(); ++i) {
    const std::uint32_t offset = blocks.Offset(i);
    if (offset > size || offset < entriesEnd || (i > 0 && offset < previous)) {
      const std::string where = blocks.Subject(i) + " offset " + std::to_string(offset);
      if (offset > size) {
        return Fail<host::Database>(
            error, where + " lies outside the file of " + std::to_string(size) + " bytes");
      }
      if (offset < entriesEnd) {
        return Fail<host::Database>(error,
                                    where + " lies inside the header and entries, which end at " +
                                        std::to_string(entriesEnd));
      }
      return Fail<host::Database>(error, where + " lies before " + blocks.Mention(i - 1) + " at " +
                                             std::to_string(previous));
    }
    previous = offset;
  }

  // Block `i` runs to the next one, the last to the end of the file.
  auto blockEnd = [&](std::size_t i) {
    return i + 1 < blocks.Count() ? std::size_t{blocks.Offset(i + 1)} : size;
  };
  auto blockBytes = [&](std::size_t i, std::uint32_t offset) {
    return std::vector<std::uint8_t>(bytes.begin() + offset, bytes.begin() + blockEnd(i));
  };
  std::size_t next = 0;
  if (appInfoOffset != 0) db.appInfo = blockBytes(next++, appInfoOffset);
  if (sortInfoOffset != 0) db.sortInfo = blockBytes(next++, sortInfoOffset);

  // The views were made with the checks.
  if (entries == Entries::Views) return db;
  if (entries == Entries::None) return db;

  // Each entry's data, made in place.
  if (resources) {
    db.resources.resize(count);
  } else {
    db.records.resize(count);
  }
  for (std::size_t i = 0; i < count; ++i, ++next) {
    const std::size_t entry = kPdbHeaderSize + i * entrySize;
    if (resources) {
      host::Resource& r = db.resources[i];
      r.type = Get32(bytes, entry);
      r.id = Get16(bytes, entry + 4);
      const std::uint32_t offset = Get32(bytes, entry + 6);
      r.data.assign(bytes.begin() + offset, bytes.begin() + blockEnd(next));
    } else {
      host::Record& r = db.records[i];
      r.attributes = bytes[entry + 4];
      r.uniqueId = Get24(bytes, entry + 5);
      const std::uint32_t offset = Get32(bytes, entry);
      r.data.assign(bytes.begin() + offset, bytes.begin() + blockEnd(next));
    }
  }
  return db;
}

}  // namespace

std::size_t PdbCheckedExtent(std::span<const std::uint8_t> start, std::uint64_t fileSize) {
  if (fileSize < kPdbHeaderSize || fileSize > kPdbMaxFileSize) return 0;
  if (start.size() < kPdbHeaderSize) return kPdbHeaderSize;
  const std::size_t count = Get16(start, 76);
  const bool resources = (Get16(start, 32) & host::kDbResource) != 0;
  const std::size_t entrySize = resources ? kPdbResourceEntrySize : kPdbRecordEntrySize;
  const std::size_t entriesEnd = kPdbHeaderSize + count * entrySize;
  if (entriesEnd > fileSize) return kPdbHeaderSize;
  if (start.size() < entriesEnd) return entriesEnd;
  if (Get32(start, 52) == 0 && Get32(start, 56) == 0) return entriesEnd;
  // The appInfo and sortInfo blocks run to the first entry's data, or to the
  // end of the file when there is none.
  const std::uint64_t infoEnd =
      count == 0 ? fileSize : Get32(start, kPdbHeaderSize + (resources ? 6 : 0));
  return static_cast<std::size_t>(std::clamp<std::uint64_t>(infoEnd, entriesEnd, fileSize));
}

std::optional<host::Database> LoadPdb(std::span<const std::uint8_t> bytes, std::string* error) {
  return Parse(bytes, bytes.size(), error, Entries::Whole, nullptr);
}

std::optional<host::Database> LoadPdbHeader(std::span<const std::uint8_t> start,
                                            std::uint64_t fileSize, std::string* error) {
  return Parse(start, fileSize, error, Entries::None, nullptr);
}

std::optional<host::Database> LoadPdbViews(std::span<const std::uint8_t> bytes,
                                           std::vector<host::RecordView>* records,
                                           std::string* error) {
  return Parse(bytes, bytes.size(), error, Entries::Views, records);
}

std::optional<std::vector<std::uint8_t>> SavePdb(const host::Database& db, std::string* error) {
  using Bytes = std::vector<std::uint8_t>;
  if (db.name.empty()) return Fail<Bytes>(error, "database name is empty");
  if (db.name.size() >= kPdbNameSize) {
    return Fail<Bytes>(error, "database name \"" + db.name + "\" is longer than 31 characters");
  }
  if (db.name.find('\0') != std::string::npos) {
    return Fail<Bytes>(error, "database name holds a NUL");
  }
  const bool resources = db.IsResourceDb();
  if (resources && !db.records.empty()) {
    return Fail<Bytes>(error, "a resource database holds records");
  }
  if (!resources && !db.resources.empty()) {
    return Fail<Bytes>(error, "a record database holds resources");
  }
  const std::size_t count = resources ? db.resources.size() : db.records.size();
  if (count > kMaxEntries) {
    return Fail<Bytes>(error, std::to_string(count) + " entries, a file holds at most 65535");
  }
  for (std::size_t i = 0; i < db.records.size(); ++i) {
    if (db.records[i].uniqueId > 0xFFFFFF) {
      return Fail<Bytes>(error,
                         "record " + std::to_string(i) + " has a unique ID wider than 24 bits");
    }
  }

  const std::size_t entrySize = resources ? kPdbResourceEntrySize : kPdbRecordEntrySize;
  std::uint64_t offset = kPdbHeaderSize + count * entrySize + kGapSize;
  std::uint32_t appInfoOffset = 0;
  std::uint32_t sortInfoOffset = 0;
  if (db.appInfo) {
    appInfoOffset = static_cast<std::uint32_t>(offset);
    offset += db.appInfo->size();
  }
  if (db.sortInfo) {
    sortInfoOffset = static_cast<std::uint32_t>(offset);
    offset += db.sortInfo->size();
  }
  std::vector<std::uint64_t> dataOffsets;
  dataOffsets.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    dataOffsets.push_back(offset);
    offset += resources ? db.resources[i].data.size() : db.records[i].data.size();
  }
  if (offset > kPdbMaxFileSize) return Fail<Bytes>(error, "the file would be larger than 4 GiB");

  Bytes out;
  out.reserve(static_cast<std::size_t>(offset));
  out.insert(out.end(), db.name.begin(), db.name.end());
  out.resize(kPdbNameSize, 0);
  Put16(out, db.attributes);
  Put16(out, db.version);
  Put32(out, db.creationDate);
  Put32(out, db.modificationDate);
  Put32(out, db.backupDate);
  Put32(out, db.modificationNumber);
  Put32(out, appInfoOffset);
  Put32(out, sortInfoOffset);
  Put32(out, db.type);
  Put32(out, db.creator);
  Put32(out, db.uniqueIdSeed);
  Put32(out, db.nextRecordListId);
  Put16(out, static_cast<std::uint32_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    const auto at = static_cast<std::uint32_t>(dataOffsets[i]);
    if (resources) {
      Put32(out, db.resources[i].type);
      Put16(out, db.resources[i].id);
      Put32(out, at);
    } else {
      Put32(out, at);
      Put8(out, db.records[i].attributes);
      Put24(out, db.records[i].uniqueId);
    }
  }
  out.resize(out.size() + kGapSize, 0);
  if (db.appInfo) PutBytes(out, *db.appInfo);
  if (db.sortInfo) PutBytes(out, *db.sortInfo);
  for (std::size_t i = 0; i < count; ++i) {
    PutBytes(out, resources ? db.resources[i].data : db.records[i].data);
  }
  return out;
}

}  // namespace kestrel::handheld_folder
