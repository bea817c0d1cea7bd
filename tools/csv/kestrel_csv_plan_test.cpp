// SPDX-License-Identifier: MIT
// The plan commands as a user runs them: show on the sample handheld's
// files, the forms to-import tells apart, the character sets of XML and SVG.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/csv/kestrel_csv.h"

namespace kestrel::cli {
namespace {

namespace fs = std::filesystem;

class PlanCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kestrel-plan-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  struct Result {
    int status;
    std::string out, err;
  };
  // Runs ARGS, FILE with FILE a file "f" holding `bytes`; messages name "f".
  Result RunOn(std::vector<std::string> args, const std::string& bytes) {
    const std::string path = (dir_ / "f").string();
    std::ofstream(path, std::ios::binary) << bytes;
    args.push_back(path);
    Result r = Run(args);
    for (std::size_t at; (at = r.err.find(path)) != std::string::npos;)
      r.err.replace(at, path.size(), "f");
    return r;
  }
  Result Run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunKestrelCsv(args, out, err);
    return {status, out.str(), err.str()};
  }

  fs::path dir_;
};

const std::string kSamples = KESTREL_SOURCE_ROOT "/samples/handheld/";

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(PlanCommands, ShowPrintsWhatASyncWritesToTheBackup) {
  const struct {
    const char* pdb;
    const char* backup;
  } cases[] = {{"KestrelDB.pdb", "KestrelDB.csv"},
               {"Website.pdb", "Website Relaunch.csv"},  // a deleted first record
               {"Import.pdb", "ImportFromPilot.csv"}};
  for (const auto& c : cases) {
    const Result r = Run({"show", kSamples + c.pdb});
    EXPECT_EQ(r.out,
              FileText(KESTREL_SOURCE_ROOT "/tools/sync/tests/expected/" + std::string(c.backup)))
        << c.pdb;
    EXPECT_EQ(r.err, "") << c.pdb;
    EXPECT_EQ(r.status, 0) << c.pdb;
  }
  Result r = Run({"show", kSamples + "MemoDB.pdb"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "kestrel-csv: " + kSamples +
                       "MemoDB.pdb: not a task database: type \"DATA\", creator \"memo\"; a sync "
                       "backs up only record databases of type \"Data\", creator \"Tkpl\"\n");
  EXPECT_EQ(r.status, 1);
  r = RunOn({"show"}, "ID,Start\n");
  EXPECT_EQ(r.err,
            "kestrel-csv: f: not a Palm database file: file too short: 9 bytes, a header "
            "needs 78\n");
  EXPECT_EQ(r.status, 2);
}

TEST_F(PlanCommands, ToImportTellsTheFormsApart) {
  const std::string xml =
      "<?xml version=\"1.0\"?>\n<Project xmlns=\"http://schemas.microsoft.com/project\"><Tasks>"
      "<Task><UID>1</UID><ID>1</ID><Name>Caf\xC3\xA9 \xE2\x88\x9E</Name>"
      "<Start>2026-04-13T08:00:00</Start><Finish>2026-04-14T17:00:00</Finish></Task>"
      "</Tasks></Project>\n";
  // No --charset: the handheld's bytes; with it, that set.
  Result r = RunOn({"to-import"}, xml);
  EXPECT_EQ(r.out, "1,Mon 4/13/2026,2 days,Tue 4/14/2026,,0%,Caf\xE9 ?,\n");
  EXPECT_EQ(r.err,
            "kestrel-csv: f: read as project XML\n"
            "kestrel-csv: f:2: a character of the name that the handheld's character set lacks "
            "is written as \"?\"\n");
  EXPECT_EQ(r.status, 1);
  r = RunOn({"to-import", "--charset", "UTF-8"}, xml);
  EXPECT_EQ(r.out, "1,Mon 4/13/2026,2 days,Tue 4/14/2026,,0%,Caf\xC3\xA9 ?,\n");
  r = RunOn({"to-import", "--handheld-charset", "WINDOWS-1251"}, xml);
  EXPECT_EQ(r.out, "1,Mon 4/13/2026,2 days,Tue 4/14/2026,,0%,Caf? ?,\n");

  r = RunOn({"to-import"}, "<Project><Tasks></Project>");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(
      r.err.substr(0, 84),
      "kestrel-csv: f: read as project XML\nkestrel-csv: f: not a project XML file: line 1: ");
  EXPECT_EQ(r.status, 2);

  r = RunOn({"to-import"}, "1,Mon 4/13/98,5 days,Fri 4/17/98,,0%,Design,Bob\n");
  EXPECT_EQ(r.err,
            "kestrel-csv: f: read as a spreadsheet's CSV file\n"
            "kestrel-csv: f: not a backup file, project XML or a spreadsheet's CSV file: line 1: "
            "no header that names at least the columns Start and Name\n");
  EXPECT_EQ(r.status, 2);

  r = RunOn({"to-import", "--day-first"}, "Name,x,Start\nA,,13/4/2026\nB,,4/13/2026\n");
  EXPECT_EQ(r.out, "1,Mon 4/13/2026,1 days,Mon 4/13/2026,,0%,A,\n");
  EXPECT_EQ(r.err,
            "kestrel-csv: f: read as a spreadsheet's CSV file\n"
            "kestrel-csv: f:3: the start date \"4/13/2026\" cannot be read: the row is left out\n");
}

TEST_F(PlanCommands, XmlAndSvgAreUtf8FromTheRightSet) {
  const std::string backup =
      "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names\n"
      "1,4/13/1998,5 days,4/17/1998,,0%,Caf\xE9 <&>,Zo\xEB";
  Result r = RunOn({"to-project"}, backup);
  EXPECT_NE(r.out.find("<Name>Caf\xC3\xA9 &lt;&amp;&gt;</Name>"), std::string::npos);
  EXPECT_NE(r.out.find("<Name>Zo\xC3\xAB</Name>"), std::string::npos);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  r = RunOn({"to-project", "--handheld-charset", "WINDOWS-1251"}, backup);
  EXPECT_NE(r.out.find("<Name>Caf\xD0\xB9 &lt;&amp;&gt;</Name>"), std::string::npos);
  r = RunOn({"to-project", "--charset", "UTF-8"}, backup);
  EXPECT_NE(r.out.find("<Name>Caf? &lt;&amp;&gt;</Name>"), std::string::npos);
  EXPECT_EQ(r.err,
            "kestrel-csv: f:2: a character of the name is not one of its character set and is "
            "written as \"?\"\n"
            "kestrel-csv: f:2: a character of the resource names is not one of its character set "
            "and is written as \"?\"\n");
  EXPECT_EQ(r.status, 1);

  r = RunOn({"to-project"}, "1,Mon 4/13/98,5 days,Fri 4/17/98,,0%,Design,Bob\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "kestrel-csv: f:1: not a line of a backup file: left out\n"
            "kestrel-csv: f: not a backup file: no line of it is in the backup form\n");
  EXPECT_EQ(r.status, 2);

  r = RunOn({"chart", "--today", "1998-04-15"}, backup);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(">1  Caf\xC3\xA9 &lt;&amp;&gt;</text>"), std::string::npos);
  EXPECT_NE(r.out.find("class=\"today\""), std::string::npos);
  r = RunOn({"chart", "--today", "1999-04-15"}, backup);
  EXPECT_EQ(r.out.find("class=\"today\""), std::string::npos);
  // An import file is drawn as the import reads it.
  r = RunOn({"chart", "--html"}, "7,Mon 4/13/98,5 days,Fri 4/17/98,,50%,Design,Bob\n");
  EXPECT_NE(r.out.find("<td class=\"n\">7</td><td>Design</td><td>1998-04-13</td>"),
            std::string::npos);
}

}  // namespace
}  // namespace kestrel::cli
