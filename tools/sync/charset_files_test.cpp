// SPDX-License-Identifier: MIT
#include "tools/sync/charset_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel::cli {
namespace {

CharsetFiles Utf8Files() {
  CharsetPair pair;
  std::string error;
  EXPECT_TRUE(OpenCharsetPair("UTF-8", "WINDOWS-1252", &pair, &error)) << error;
  return CharsetFiles(std::move(pair), "UTF-8", "WINDOWS-1252");
}

TEST(CharsetFiles, ConvertsNamesAndTextsAndCountsWhatBecameAQuestionMark) {
  CharsetFiles files = Utf8Files();
  // Only the file name is the handheld's: the folder is kept byte for byte.
  EXPECT_EQ(files.DesktopPath("/d/caf\xE9/Caf\xE9.csv"), "/d/caf\xE9/Caf\xC3\xA9.csv");
  EXPECT_EQ(files.DesktopPath("Caf\xE9.csv"), "Caf\xC3\xA9.csv");

  EXPECT_EQ(files.ImportText("\xEF\xBB\xBF"
                             "1,Cl\xC3\xA9o\n2,\xC5\xB5\xE2\x88\x9E",
                             "/d/import.csv"),
            "1,Cl\xE9o\n2,??");
  EXPECT_EQ(files.BackupText("1,Caf\xE9\n", "/d/Caf\xC3\xA9.csv"), "1,Caf\xC3\xA9\n");
  EXPECT_EQ(files.BackupText("2,\x81\n", "/d/Caf\xC3\xA9.csv"), "2,?\n");
  EXPECT_EQ(files.BackupText("3,\x8D\x8F\n", "/d/Caf\xC3\xA9.csv"), "3,??\n");
  EXPECT_EQ(files.BackupText("4,\x90\n", "/d/b\n.csv"), "4,?\n");
  EXPECT_EQ(files.SummaryLines(),
            (std::vector<std::string>{
                "2 characters of /d/import.csv that WINDOWS-1252 cannot hold were read as \"?\"",
                "3 characters of /d/Caf\xC3\xA9.csv that UTF-8 cannot hold were written as \"?\"",
                "1 character of /d/b\n.csv that UTF-8 cannot hold was written as \"?\""}));
}

TEST(CharsetFiles, ReportsNothingWhenEverythingConverts) {
  CharsetFiles files = Utf8Files();
  EXPECT_EQ(files.ImportText("1,Zo\xC3\xAB", "import.csv"), "1,Zo\xEB");
  EXPECT_EQ(files.BackupText("1,Zo\xEB", "b.csv"), "1,Zo\xC3\xAB");
  EXPECT_EQ(files.SummaryLines(), std::vector<std::string>{});
}

TEST(CharsetFiles, NamesEachBackupThatHasATwinInTheHandheldsSetOnce) {
  CharsetFiles files = Utf8Files();
  files.NoteOtherSetFile("/d/Caf\xE9.csv", "/d/Caf\xC3\xA9.csv");
  files.NoteOtherSetFile("/d/Caf\xE9.csv", "/d/Caf\xC3\xA9.csv");
  EXPECT_EQ(files.SummaryLines(),
            std::vector<std::string>{
                "/d/Caf\xE9.csv: the same database's backup in WINDOWS-1252, from a sync without "
                "--charset, beside /d/Caf\xC3\xA9.csv; remove it once it is no longer needed"});
}

}  // namespace
}  // namespace kestrel::cli
