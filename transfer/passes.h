// SPDX-License-Identifier: MIT
// The two transfer passes between one open handheld database and one open
// text file. Neither closes what it is given. Memory that runs out is not a
// status: it leaves a pass as std::bad_alloc, so that every status a pass
// returns is the host's or the pass's own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "handheld/sync_services.h"
#include "platform/text_file.h"

// The first line of every backup file.
inline constexpr char kBackupHeader[] =
    "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names";

// The import file is read at most this many lines deep, each line at most
// kImportLineChars characters at a time (line break included) into a line
// area of kImportLineArea bytes: a longer line is read as two.
inline constexpr int kMaxImportLines = 100;
inline constexpr std::size_t kImportLineArea = 4480;
inline constexpr std::size_t kImportLineChars = 4478;

inline constexpr char kClearFailedText[] = "Could not clear the database on the PalmPilot.";
inline constexpr char kSkippedLineText[] = "\tError: Skipping a line in Import.csv";

// Copies every live record of the database (open read-only) into the backup
// file (open for writing): the header line and a line break, then one line
// per live record, a line break before each whose record index is not 0.
// Returns 0 when the database was read to its end (or to record index 65535,
// the last one there can be), the status of a failed read (the lines before
// it stay), 1 when writing to the file failed. Writes no log entry.
Status BackupDatabase(std::uint8_t handle, kestrel::TextFile& backupFile);

// Reads at most 100 lines of the import file (open for reading) into memory,
// then clears the database (open for reading and writing) and fills it with
// the records parsed from those lines; a rejected line is logged and counts
// as read. Returns 0 when the database was cleared and every accepted line
// written; 1 when reading the file failed other than at its end (the
// database is then neither cleared nor written); the status of a failed
// clear (logged) or of the write that failed (the records before it stay).
Status ImportTaskFile(kestrel::TextFile& importFile, std::uint8_t handle);
