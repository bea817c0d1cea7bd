// One Palm database file (.pdb/.prc) to and from a sim::Database. The file
// is a 78-byte big-endian header, one entry per record (8 bytes) or resource
// (10 bytes), by custom two zero bytes, then the appInfo block, the sortInfo
// block and the record data; no size is stored, each block ends where the
// next begins and the last at the end of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/handheld.h"

namespace sim {

inline constexpr std::size_t kPdbHeaderSize = 78;
inline constexpr std::size_t kPdbRecordEntrySize = 8;
inline constexpr std::size_t kPdbResourceEntrySize = 10;
inline constexpr std::size_t kPdbNameSize = 32;
// Seconds from 1904-01-01 to 1970-01-01: Palm dates minus this are Unix times.
inline constexpr std::uint32_t kPdbEpochOffset = 2082844800u;

// What LoadPdb keeps of a file.
enum class PdbContents {
  Everything,
  // Everything but the records and resources: the header, appInfo and
  // sortInfo. The file is checked as for Everything.
  HeaderOnly,
};

// Parses the bytes of one file. Returns the database, or std::nullopt with
// *error saying what is wrong (for example "file too short: 40 bytes, a
// header needs 78"). Refuses a file shorter than the header, a name that is
// empty or has no NUL in its 32 bytes, more entries than the file can hold,
// and block or record offsets that lie inside the header and entries,
// outside the file or before the block in front of them. Never reads outside
// `bytes`. The bytes between the entries and the first block (by custom two
// zeros) are not kept, nor those after the name's NUL.
std::optional<Database> LoadPdb(std::span<const std::uint8_t> bytes, std::string* error,
                                PdbContents contents = PdbContents::Everything);

// Lays the database out as a file: header, entries, two zero bytes, appInfo,
// sortInfo, record data, in that order. A file in this layout that LoadPdb
// accepted comes back byte for byte. Returns std::nullopt with *error set
// when the database cannot be stored: a name that is empty, longer than 31
// characters or holds a NUL, more than 65535 entries, or more than 4 GiB.
std::optional<std::vector<std::uint8_t>> SavePdb(const Database& db, std::string* error);

}  // namespace sim
