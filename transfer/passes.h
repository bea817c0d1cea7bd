// The two transfer passes between one open handheld database and one open
// text file. Neither closes what it is given.
#pragma once

#include <cstdint>

#include "handheld/sync_services.h"
#include "platform/text_file.h"

// Copies every live record of the database (open read-only) into the backup
// file (open for writing): a header line, then one line per record. Returns
// 0 when every record up to the end of the database was written.
Status BackupDatabase(std::uint8_t handle, kestrel::TextFile& backupFile);

// Replaces the records of the database (open for reading and writing) with
// those parsed from the import file (open for reading), at most 100 lines.
// Returns 0 when the database was cleared and every accepted line written.
Status ImportTaskFile(kestrel::TextFile& importFile, std::uint8_t handle);
