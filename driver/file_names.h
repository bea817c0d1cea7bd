// SPDX-License-Identifier: MIT
// The names of the conduit's text files in the data folder: one backup file
// per task database, named after it, and the import file "import.csv".
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

inline constexpr char kCsvExtension[] = ".csv";
inline constexpr char kImportStem[] = "import";
// The stem of the backup of a database named "import" in any letter case, so
// that its backup never takes the import file's place.
inline constexpr char kImportBackupStem[] = "ImportFromPilot";

// The file stem under which the database `databaseName` is backed up. The
// name comes from the device, so it is made safe for a file name the same way
// on every system: "ImportFromPilot" for "import" in any letter case; each of
// \ / : * ? " < > | and each control character 1-31 becomes "_"; a stem that
// Windows would take for a device (the part before its first ".", trailing
// spaces ignored, is CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-COM9 or
// LPT1-LPT9 in any letter case, or COM or LPT followed by a superscript one,
// two or three, the ANSI bytes B9, B2, B3) gets a "_" in front. No other
// character is changed.
std::string BackupStem(std::string_view databaseName);

// Completes the data folder in `path` to the backup file of `databaseName`:
// a separator, the backup stem, ".csv". Nothing of the folder is changed, so
// a folder that ends in a separator gives a doubled one.
void AppendBackupName(std::string& path, std::string_view databaseName);

// Whether two file names are one to Windows, letter case ignored: the
// Windows-1252 letters A-Z, 0xC0-0xDE but 0xD7 with 0xE0-0xFE, and 0x8A,
// 0x8C, 0x8E, 0x9F with 0x9A, 0x9C, 0x9E, 0xFF (Š Œ Ž Ÿ); 0xDF, 0xD7 and 0xF7
// are letters of no other case. The same on every system, except on Windows
// with another ANSI code page, where the system's own comparison decides.
bool SameFileName(std::string_view a, std::string_view b);

// How a backup stem is written as a file name: the identity for the
// conduit; kestrel-sync --charset hands in its conversion to the desktop's
// character set, so that names are told apart as they are written.
using NameConversion = std::function<std::string(std::string_view)>;

// A backup's stem, as the path takes it and as it is written.
struct StemPair {
  std::string stem;     // in the handheld's bytes, as the backup path holds it
  std::string written;  // after the conversion: the file's name and its history folder's
};

// The backup files of one synchronisation, which never share a file: a stem
// that, as it is written, equals one given before in the same sync
// (SameFileName) gets "-2" appended, or "-3" and so on, the smallest number
// that makes it unlike every stem given before. The first database keeps the
// plain stem. The number is added after the conversion, in ASCII, and to the
// path's stem alike.
class BackupNames {
 public:
  explicit BackupNames(NameConversion conversion = {}) : conversion_(std::move(conversion)) {}

  // Completes the data folder in `path` to the backup file of `databaseName`
  // as AppendBackupName does, with the stem made unique in this sync, and
  // returns the stem.
  StemPair Append(std::string& path, std::string_view databaseName);

 private:
  bool Given(std::string_view written) const;
  NameConversion conversion_;
  std::vector<std::string> given_;  // as written
};

// Whether `name`, a file name in the data folder, is a leftover new backup
// file of a run that stopped: "<stem>.csv." + 16 hexadecimal digits (0-9,
// a-f) + ".kestrel-backup-new", or "<stem>.csv.kestrel-new" of the earlier
// form. Nothing else, however close: a user's "photo.kestrel-new" is not.
bool IsBackupLeftover(std::string_view name);

// Completes the data folder in `path` to the import file: a separator and
// "import.csv".
void AppendImportName(std::string& path);

}  // namespace kestrel
