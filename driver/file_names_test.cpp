// SPDX-License-Identifier: MIT
#include "driver/file_names.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/text_file.h"

namespace kestrel {
namespace {

struct StemCase {
  std::string databaseName;
  std::string stem;
};

void PrintTo(const StemCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.databaseName) << " -> " << ::testing::PrintToString(c.stem);
}

class BackupStemTest : public ::testing::TestWithParam<StemCase> {};

TEST_P(BackupStemTest, IsSafeForAFileName) {
  EXPECT_EQ(BackupStem(GetParam().databaseName), GetParam().stem);
}

INSTANTIATE_TEST_SUITE_P(
    Names, BackupStemTest,
    ::testing::Values(
        // Names that need nothing, however odd.
        StemCase{"KestrelDB", "KestrelDB"}, StemCase{"My Tasks 2.0", "My Tasks 2.0"},
        StemCase{"..", ".."}, StemCase{"\x7f\xe9", "\x7f\xe9"}, StemCase{"", ""},
        // "import" in any case, and only the whole name.
        StemCase{"Import", "ImportFromPilot"}, StemCase{"import", "ImportFromPilot"},
        StemCase{"IMPORT", "ImportFromPilot"}, StemCase{"iMpOrT", "ImportFromPilot"},
        StemCase{"Import2", "Import2"}, StemCase{"import ", "import "},
        StemCase{"import.csv", "import.csv"},
        // Characters that would leave the folder, name a stream or a device.
        StemCase{"a\\b/c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j"},
        StemCase{"../../etc/passwd", ".._.._etc_passwd"}, StemCase{"C:\\x", "C__x"},
        StemCase{"tab\there\n", "tab_here_"}, StemCase{"\x01\x1f ", "__ "},
        // Device names, in any case, before the first "." and trailing spaces.
        StemCase{"NUL", "_NUL"}, StemCase{"nul", "_nul"}, StemCase{"Con", "_Con"},
        StemCase{"PRN", "_PRN"}, StemCase{"aux", "_aux"}, StemCase{"NUL.txt", "_NUL.txt"},
        StemCase{"CON  ", "_CON  "}, StemCase{"con .a.b", "_con .a.b"}, StemCase{"COM1", "_COM1"},
        StemCase{"com9.x", "_com9.x"}, StemCase{"LPT1", "_LPT1"}, StemCase{"lpt9", "_lpt9"},
        StemCase{"AUX.", "_AUX."}, StemCase{"CONIN$", "_CONIN$"},
        StemCase{"conout$.txt", "_conout$.txt"}, StemCase{"COM\xB9", "_COM\xB9"},
        StemCase{"lpt\xB2", "_lpt\xB2"}, StemCase{"Com\xB3.x", "_Com\xB3.x"},
        // Not devices.
        StemCase{"COM0", "COM0"}, StemCase{"COM10", "COM10"}, StemCase{"LPT", "LPT"},
        StemCase{"CONSOLE", "CONSOLE"}, StemCase{" NUL", " NUL"}, StemCase{"NUL:", "NUL_"},
        StemCase{"xNUL", "xNUL"}, StemCase{"CONIN", "CONIN"}, StemCase{"CONIN$x", "CONIN$x"},
        StemCase{"COM\xB4", "COM\xB4"}, StemCase{"LPT\xB9\xB9", "LPT\xB9\xB9"},
        StemCase{"COM\xB0", "COM\xB0"}));

TEST(FileNames, PathsAreTheFolderASeparatorAndTheName) {
  const std::string sep(1, kPathSeparator);
  std::string path = "D:" + sep + "Tasks";
  AppendBackupName(path, "KestrelDB");
  EXPECT_EQ(path, "D:" + sep + "Tasks" + sep + "KestrelDB.csv");

  path = "D:" + sep + "Tasks" + sep;
  AppendBackupName(path, "Import");
  EXPECT_EQ(path, "D:" + sep + "Tasks" + sep + sep + "ImportFromPilot.csv");

  path = "D:" + sep + "Tasks";
  AppendImportName(path);
  EXPECT_EQ(path, "D:" + sep + "Tasks" + sep + "import.csv");
}

// Letter case over the whole Windows-1252 set, as Windows file systems
// compare names; the same on every system.
TEST(FileNames, SameFileNameFoldsTheWindows1252Letters) {
  std::vector<std::pair<std::string, std::string>> same = {
      {"tasks", "TASKS"}, {"\xe9", "\xc9"}, {"\xe0", "\xc0"},
      {"\xfe", "\xde"},   {"\x9a", "\x8a"}, {"\x9c", "\x8c"},
      {"\x9e", "\x8e"},   {"\xff", "\x9f"}, {"Caf\xe9", "CAF\xc9"}};
  for (int lower = 0xE0; lower <= 0xFE; ++lower) {
    if (lower == 0xF7) continue;
    same.push_back({std::string(1, char(lower)), std::string(1, char(lower - 0x20))});
  }
  for (const auto& [a, b] : same) {
    EXPECT_TRUE(SameFileName(a, b)) << ::testing::PrintToString(a);
    EXPECT_TRUE(SameFileName(b, a)) << ::testing::PrintToString(a);
  }
  // No other case: sharp s, the multiplication and division signs; and
  // letters that only look alike.
  const std::vector<std::pair<std::string, std::string>> different = {
      {"\xdf", "SS"}, {"\xdf", "\xff"},       {"\xd7", "\xf7"}, {"\xe9", "\xe8"},
      {"\xe9", "e"},  {"Caf\xe9", "Caf\xe8"}, {"a", "ab"},      {"\x9a", "\x9b"}};
  for (const auto& [a, b] : different) {
    EXPECT_FALSE(SameFileName(a, b)) << ::testing::PrintToString(a);
  }
}

// A stem that equals one given before, as written after the conversion,
// gets the number; the path keeps the handheld's bytes, the number added.
TEST(FileNames, CollisionsAreDecidedOnTheConvertedName) {
  // A conversion that loses accents, as a character set without them would.
  BackupNames names([](std::string_view stem) {
    std::string written(stem);
    for (char& c : written) {
      if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    }
    return written;
  });
  const std::string sep(1, kPathSeparator);
  std::string path = "D:";
  StemPair pair = names.Append(path, "Caf\xe9");
  EXPECT_EQ(path, "D:" + sep + "Caf\xe9.csv");
  EXPECT_EQ(pair.written, "Caf?");
  path = "D:";
  pair = names.Append(path, "Caf\xe8");
  EXPECT_EQ(path, "D:" + sep + "Caf\xe8-2.csv");
  EXPECT_EQ(pair.stem, "Caf\xe8-2");
  EXPECT_EQ(pair.written, "Caf?-2");
  path = "D:";
  pair = names.Append(path, "CAF\xc8");
  EXPECT_EQ(pair.written, "CAF?-3");
  // Without a conversion, "Caf\xe8" was a name of its own.
  BackupNames plain;
  path = "D:";
  plain.Append(path, "Caf\xe9");
  path = "D:";
  EXPECT_EQ(plain.Append(path, "Caf\xe8").stem, "Caf\xe8");
  path = "D:";
  EXPECT_EQ(plain.Append(path, "CAF\xc9").stem, "CAF\xc9-2");
}

TEST(FileNames, OnlyTheLeftoverFormsOfBackups) {
  for (const char* name : {"KestrelDB.csv.0123456789abcdef.kestrel-backup-new",
                           ".csv.fedcba9876543210.kestrel-backup-new", "Caf\xe9.csv.kestrel-new",
                           "KestrelDB.csv.kestrel-new"}) {
    EXPECT_TRUE(IsBackupLeftover(name)) << name;
  }
  for (const char* name :
       {"photo.kestrel-new", "KestrelDB.pdb.0123456789abcdef.kestrel-new",
        "KestrelDB.csv.0123456789ABCDEF.kestrel-backup-new",
        "KestrelDB.csv.0123456789abcde.kestrel-backup-new",
        "KestrelDB.csv.0123456789abcdef0.kestrel-backup-new",
        "KestrelDB.txt.0123456789abcdef.kestrel-backup-new", "KestrelDB.csv",
        "KestrelDB.csv.kestrel-new.bak", "0123456789abcdef.kestrel-backup-new"}) {
    EXPECT_FALSE(IsBackupLeftover(name)) << name;
  }
}

}  // namespace
}  // namespace kestrel
