// SPDX-License-Identifier: MIT
// One Palm database file (.pdb/.prc) to and from a host::Database. The file
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

#include "host/handheld.h"

namespace kestrel::handheld_folder {

inline constexpr std::size_t kPdbHeaderSize = 78;
inline constexpr std::size_t kPdbRecordEntrySize = 8;
inline constexpr std::size_t kPdbResourceEntrySize = 10;
inline constexpr std::size_t kPdbNameSize = 32;
// Seconds from 1904-01-01 to 1970-01-01: Palm dates minus this are Unix times.
inline constexpr std::uint32_t kPdbEpochOffset = 2082844800u;
// The largest file a Palm database can be: its offsets are 32 bits.
inline constexpr std::uint64_t kPdbMaxFileSize = 0xFFFFFFFFu;

// Parses the bytes of one file. Returns the database, or std::nullopt with
// *error saying what is wrong (for example "file too short: 40 bytes, a
// header needs 78"). Refuses a file shorter than the header, a name that is
// empty or has no NUL in its 32 bytes, more entries than the file can hold,
// and block or record offsets that lie inside the header and entries,
// outside the file or before the block in front of them. Never reads outside
// `bytes`. The bytes between the entries and the first block (by custom two
// zeros) are not kept, nor those after the name's NUL.
std::optional<host::Database> LoadPdb(std::span<const std::uint8_t> bytes, std::string* error);

// How many bytes from the start of a file of `fileSize` bytes LoadPdbHeader
// needs, given the `start` read so far: the header, then the entries, then
// the appInfo and sortInfo blocks. Read that far and ask again until it asks
// for no more than `start` holds; 0 for a file refused on its size alone.
std::size_t PdbCheckedExtent(std::span<const std::uint8_t> start, std::uint64_t fileSize);

// As LoadPdb for a file of `fileSize` bytes of which `start` holds the first
// PdbCheckedExtent: the same checks and messages, the same database but for
// its records and resources, which it leaves empty.
std::optional<host::Database> LoadPdbHeader(std::span<const std::uint8_t> start,
                                            std::uint64_t fileSize, std::string* error);

// As LoadPdbHeader on the whole file, with each record as a view into
// `bytes` in *records (none for a resource database).
std::optional<host::Database> LoadPdbViews(std::span<const std::uint8_t> bytes,
                                           std::vector<host::RecordView>* records,
                                           std::string* error);

// Lays the database out as a file: header, entries, two zero bytes, appInfo,
// sortInfo, record data, in that order. A file in this layout that LoadPdb
// accepted comes back byte for byte. Returns std::nullopt with *error set
// when the database cannot be stored: a name that is empty, longer than 31
// characters or holds a NUL, more than 65535 entries, or more than 4 GiB.
std::optional<std::vector<std::uint8_t>> SavePdb(const host::Database& db, std::string* error);

}  // namespace kestrel::handheld_folder
