#include "driver/file_names.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

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

}  // namespace
}  // namespace kestrel
