// The names of the conduit's text files in the data folder: one backup file
// per task database, named after it, and the import file "import.csv".
#pragma once

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

// The backup files of one synchronisation, which never share a file: a stem
// that equals one given before in the same sync, ASCII letter case ignored
// (as Windows compares file names), gets "-2" appended, or "-3" and so on,
// the smallest number that makes it unlike every stem given before. The
// first database keeps the plain stem. The same on every system.
class BackupNames {
 public:
  // Completes the data folder in `path` to the backup file of `databaseName`
  // as AppendBackupName does, with the stem made unique in this sync.
  void Append(std::string& path, std::string_view databaseName);

 private:
  bool Given(std::string_view stem) const;
  std::vector<std::string> given_;
};

// Completes the data folder in `path` to the import file: a separator and
// "import.csv".
void AppendImportName(std::string& path);

}  // namespace kestrel
