// SPDX-License-Identifier: MIT
#include "tools/csv/kestrel_csv.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "handheld/record_buffer.h"
#include "record/codec_test_support.h"
#include "record/format_task_line_cases.h"
#include "record/task_record.h"

namespace kestrel::cli {
namespace {

namespace fs = std::filesystem;

// A folder of its own for each test, removed afterwards.
class KestrelCsv : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kestrel-csv-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  struct Result {
    int status;
    std::string out, err;
  };
  // Runs with a configuration folder of the test's own, config/ in its folder.
  Result Run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const std::string config = (dir_ / "config").string();
    const EnvLookup env = [&config](const char* name) -> const char* {
      return std::string(name) == "XDG_CONFIG_HOME" ? config.c_str() : nullptr;
    };
    const int status = RunKestrelCsv(args, out, err, env);
    return {status, out.str(), err.str()};
  }
  // Runs COMMAND [OPTIONS] on a file "f.csv" holding `bytes`; messages name it.
  Result RunOn(const std::string& command, const std::string& bytes,
               std::vector<std::string> options = {}) {
    const std::string path = Write("f.csv", bytes);
    options.insert(options.begin(), command);
    options.push_back(path);
    Result result = Run(options);
    for (std::string* text : {&result.err}) {
      for (std::size_t at; (at = text->find(path)) != std::string::npos;) {
        text->replace(at, path.size(), "f.csv");
      }
    }
    return result;
  }

  fs::path dir_;
};

constexpr char kGood[] = "1,Mon 4/13/98,5 days,Fri 4/17/98,,0%,Design,Bob";
constexpr char kShown[] = "1,4/13/1998,5 days,4/17/1998,,0%,Design,Bob";

TEST_F(KestrelCsv, CheckShowsEachLineAsItWillBeStored) {
  const Result r = RunOn(
      "check", std::string(kGood) + "\r\n\n" + "2,Tue 1/5/00,3 days,Thu 1/7/00,1,50%,Test,Ann");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            std::string("1: ") + kShown +
                "\n2: rejected: an empty line\n3: 2,1/5/2000,3 days,1/7/2000,1,50%,Test,Ann\n");
  EXPECT_EQ(r.err, "");
}

// Each warning kind, alone on line 1 of a file.
TEST_F(KestrelCsv, CheckWarnsWhereALineIsLikelyMisread) {
  const std::string dates = "Mon 4/13/98,5 days,Fri 4/17/98,";
  const std::string misread =
      " has no leading word, as in a backup file: the fields after it are misread; make an "
      "import file from a backup with kestrel-csv to-import\n";
  const std::string fewer =
      "fewer than 8 fields: the fields are misread; give every task all 8 fields, empty ones "
      "included\n";
  struct Case {
    std::string line, shown, warnings;
  };
  const std::vector<Case> cases = {
      {"1,4/13/1998,5 days,4/17/1998,,0%,Design,Bob", "1,0/17/1998,0 days,0/0/2000,,66%,ob,",
       "the start date" + misread},
      {"1,Mon 4/13/98,5 days,4/17/1998,,0%,Design phase,Bob",
       "1,4/13/1998,5 days,0/0/2000,66,111%,b,", "the finish date" + misread},
      // Without a space after it, the word is not looked for past the date.
      {"1,Mon 4/13/98,5 days,4/17/1998,,0%,Design,Bob", kShown, ""},
      {"1," + dates + "2,50,Design,Bob", "1,4/13/1998,5 days,4/17/1998,2,68%,esign,ob",
       "no \"%\" in the percent field: the fields after it are misread; write the percent "
       "complete as in 50%\n"},
      {"1," + dates + ",0%,Design", "1,4/13/1998,5 days,4/17/1998,,0%,Design,", fewer},
      {"1," + dates + ",0%,Design, phase 2,Bob",
       "1,4/13/1998,5 days,4/17/1998,,0%,Design, phase 2,Bob",
       "more than 8 fields: the name ends at its first comma and the rest becomes the resource "
       "names; remove the comma from the name\n"},
      {"1," + dates + ",0%," + std::string(32, 'n') + "," + std::string(32, 'r'),
       "1,4/13/1998,5 days,4/17/1998,,0%," + std::string(31, 'n') + "," + std::string(31, 'r'),
       "the name is cut at 31 characters: shorten it to keep it whole\n"
       "the resource names are cut at 31 characters: shorten them to keep them whole\n"},
      {"1," + dates + ",0%," + std::string(31, 'n') + "," + std::string(31, 'r') + " \t",
       "1,4/13/1998,5 days,4/17/1998,,0%," + std::string(31, 'n') + "," + std::string(31, 'r'), ""},
      {"200,Mon 4/13/98,5 days,Fri 4/17/98,-129,0%,A,B",
       "-56,4/13/1998,5 days,4/17/1998,127,0%,A,B",
       "the ID 200 is outside -128..127 and is stored as -56; use a number in that range\n"
       "the predecessor -129 is outside -128..127 and is stored as 127; use a number in that "
       "range\n"},
      {"-128,Mon 4/13/1903,5 days,Fri 4/17/2032,127,0%,A,B",
       "-128,4/13/2031,5 days,4/17/1904,127,0%,A,B",
       "the start year 1903 is outside 1904-2031 and is stored as 2031; use a year in that "
       "range\n"
       "the finish year 2032 is outside 1904-2031 and is stored as 1904; use a year in that "
       "range\n"},
      {"1,Mon 4/13/89,5 days,Fri 4/17/1904,,0%,A,B", "1,4/13/1961,5 days,4/17/1904,,0%,A,B",
       "the start year 2089 is outside 1904-2031 and is stored as 1961; use a year in that "
       "range\n"},
      {"1,Mon 4/13/31,5 days,Fri 4/17/90,,0%,A,B", "1,4/13/2031,5 days,4/17/1990,,0%,A,B", ""},
      // A spreadsheet that quotes its fields.
      {"\"1\",\"Mon 5/4/26\",\"5 days\",\"Fri 5/8/26\",\"\",\"0%\",\"Design\",\"Bob\"",
       "0,5/4/2026,0 days,5/8/2026,,0%,\"Design\",\"Bob\"",
       "field 1 begins with a quotation mark: the import keeps quotation marks as text and reads "
       "a quoted number as 0; save the file without quotes around the fields\n"},
      {"2, \"Mon 5/4/26\",5 days,Fri 5/8/26,,0%,Design,Bob",
       "2,0/4/2026,5 days,5/8/2026,,0%,Design,Bob",
       "field 2 begins with a quotation mark: the import keeps quotation marks as text and reads "
       "a quoted number as 0; save the file without quotes around the fields\n"},
      {"1," + dates + ",0%," + std::string("A\0b", 3) + ",B",
       "1,4/13/1998,5 days,4/17/1998,,0%,A,B",
       "a NUL byte in the line: the import keeps it, so a text ends at it on the handheld and a "
       "number stops at it; remove the NUL bytes from the file\n"},
      // What the terminal would take for its own controls is shown escaped.
      {"1," + dates + ",0%,De\x1b[2Jsign,B\x7f\x01",
       "1,4/13/1998,5 days,4/17/1998,,0%,De\\x1b[2Jsign,B\\x7f\\x01", ""},
      // Without --charset, a cut inside a UTF-8 character says what to give.
      {"1," + dates + ",0%," + std::string(30, 'a') + "\xC3\xA9,x",
       "1,4/13/1998,5 days,4/17/1998,,0%," + std::string(30, 'a') + "\xC3,x",
       "the name is cut at 31 bytes, inside a character, and the text looks like UTF-8: give "
       "--charset UTF-8 (to kestrel-sync too) so that it is cut on a whole character\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const Result r = RunOn("check", c.line + "\n");
    std::string err;
    std::istringstream lines(c.warnings);
    for (std::string w; std::getline(lines, w);) err += "kestrel-csv: f.csv:1: " + w + "\n";
    EXPECT_EQ(r.out, "1: " + c.shown + "\n");
    EXPECT_EQ(r.err, err);
    EXPECT_EQ(r.status, err.empty() ? 0 : 1);
  }
}

// Standard output gives each rejected line's reason, in the order the
// import's rules take them.
TEST_F(KestrelCsv, CheckSaysWhyALineIsRejected) {
  const Result r = RunOn("check", std::string(kGood) +
                                      "\n"
                                      "\n"
                                      " \t\r\n"
                                      ",Mon 4/13/98,5 days,Fri 4/17/98,,0%,Design,Bob\n"
                                      "Design phase\n"
                                      "7,,,,,,,\n"
                                      "7,,,,,,, \n"
                                      "7,,,,,,\n");
  EXPECT_EQ(r.out, std::string("1: ") + kShown +
                       "\n"
                       "2: rejected: an empty line\n"
                       "3: rejected: an empty line\n"
                       "4: rejected: the line starts with a comma, where its ID belongs\n"
                       "5: rejected: no comma after the ID\n"
                       "6: rejected: an empty row of commas\n"
                       "7: rejected: an empty row of commas\n"
                       "8: 7,0/0/2000,0 days,0/0/2000,,0%,,Bob\n");
  EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
            "kestrel-csv: f.csv:8: the start date has no leading word, as in a backup file: the "
            "fields after it are misread; make an import file from a backup with kestrel-csv "
            "to-import");
  EXPECT_EQ(r.status, 1);
}

// What concerns the whole file: no task in it at all, or UTF-16, which is
// said once, at the first line that shows it, in place of each line's own
// warnings.
TEST_F(KestrelCsv, CheckWarnsOfAFileWithNoTaskAndOfUtf16) {
  const std::string noTask =
      "kestrel-csv: f.csv: no task: importing this file empties KestrelDB; do not import it "
      "unless KestrelDB is to be emptied\n";
  const std::string utf16 =
      ": the import reads it byte by byte and misreads every line; save it as UTF-8 or "
      "Windows-1252, or give --charset UTF-16\n";
  struct Case {
    const char* label;
    std::string file, out, err;
  };
  const std::vector<Case> cases = {
      {"an empty file", "", "", noTask},
      {"rejected lines only", "\n,x\n",
       "1: rejected: an empty line\n2: rejected: the line "
       "starts with a comma, where its ID belongs\n",
       noTask},
      {"a UTF-16 byte-order mark",
       std::string("\xFF\xFE"
                   "1\0,\0A\0",
                   8),
       "1: 0,0/0/1904,0 days,0/0/1904,,65%,,\n",
       "kestrel-csv: f.csv:1: the file looks like UTF-16 (a UTF-16 byte-order mark)" + utf16},
      {"UTF-16 without a mark, big-endian",
       std::string(kGood) + "\n" +
           std::string("\0"
                       "2\0,\0X\0,",
                       9),
       std::string("1: ") + kShown + "\n2: 0,0/0/2000,0 days,0/0/1904,,0%,,Bob\n",
       "kestrel-csv: f.csv:2: the file looks like UTF-16 (NUL bytes between ASCII characters)" +
           utf16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const Result r = RunOn("check", c.file);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, 1);
  }
}

// The file is read as the import reads it: the record buffer kept from line
// to line, a line of 4478 characters read as two, 100 lines and no more.
TEST_F(KestrelCsv, CheckReadsTheFileAsTheImportDoes) {
  // A line that ends after its finish date keeps the bytes the line before
  // left past it.
  Result r = RunOn("check", std::string(kGood) + "\n2,Tue 1/5/00,3 days,Thu 1/7/00\n");
  EXPECT_EQ(r.out, std::string("1: ") + kShown + "\n2: 2,1/5/2000,3 days,1/7/1904,48,48%,,Bob\n");
  EXPECT_EQ(r.err,
            "kestrel-csv: f.csv:2: fewer than 8 fields: the fields are misread; give every task "
            "all 8 fields, empty ones included\n");
  EXPECT_EQ(r.status, 1);

  const std::string longName(4478 - std::string("1,Mon 4/13/98,5 days,Fri 4/17/98,,0%,,").size(),
                             'n');
  r = RunOn("check", "1,Mon 4/13/98,5 days,Fri 4/17/98,,0%," + longName + ",\n" + kGood);
  EXPECT_EQ(r.out, "1: 1,4/13/1998,5 days,4/17/1998,,0%," + std::string(31, 'n') +
                       ",\n2: rejected: an empty line\n3: " + kShown + "\n");
  EXPECT_EQ(r.err,
            "kestrel-csv: f.csv:1: the name is cut at 31 characters: shorten it to keep it "
            "whole\n");

  // A byte-order mark is no part of the first line and does not count
  // toward its 4478 characters.
  r = RunOn("check",
            "\xEF\xBB\xBF"
            "1,Mon 4/13/98,5 days,Fri 4/17/98,,0%," +
                longName + ",\n" + kGood);
  EXPECT_EQ(r.out, "1: 1,4/13/1998,5 days,4/17/1998,,0%," + std::string(31, 'n') +
                       ",\n2: rejected: an empty line\n3: " + kShown + "\n");

  std::string hundred;
  std::string shown;
  for (int i = 1; i <= 100; ++i) {
    hundred += std::string(kGood) + "\n";
    shown += std::to_string(i) + ": " + kShown + "\n";
  }
  r = RunOn("check", hundred);
  EXPECT_EQ(r.out, shown);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  r = RunOn("check", hundred + "\n");  // a 101st line, empty
  EXPECT_EQ(r.out, shown);
  EXPECT_EQ(r.err,
            "kestrel-csv: f.csv:101: text after line 100 is never imported; move the tasks that "
            "matter into the first 100 lines\n");
  EXPECT_EQ(r.status, 1);
}

TEST_F(KestrelCsv, CheckOnABackupFileShowsWhatTheImportWouldStore) {
  const Result r =
      RunOn("check", "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names\n" +
                         std::string(kShown));
  EXPECT_EQ(r.out,
            "1: 0,0/0/2000,0 days,0/0/1904,78,97%,mes,\n"
            "2: 1,0/17/1998,0 days,0/0/2000,,66%,ob,\n");
  EXPECT_EQ(r.err,
            "kestrel-csv: f.csv:1: the start date has no leading word, as in a backup file: the "
            "fields after it are misread; make an import file from a backup with kestrel-csv "
            "to-import\n"
            "kestrel-csv: f.csv:2: the start date has no leading word, as in a backup file: the "
            "fields after it are misread; make an import file from a backup with kestrel-csv "
            "to-import\n");
  EXPECT_EQ(r.status, 1);
}

TEST_F(KestrelCsv, RefusesWhatItCannotReadAndWrongArguments) {
  ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  fs::create_directory(dir_ / "folder");
  const std::string file = Write("f.csv", kGood);
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"check", (dir_ / "missing").string()}, "missing: cannot read: No such file or directory"},
      {{"check", (dir_ / "fifo").string()}, "fifo: not a regular file"},
      {{"to-import", (dir_ / "folder").string()}, "folder: not a regular file: it is a folder"},
      {{"to-project", (dir_ / "fifo").string()}, "fifo: not a regular file"},
      {{"to-import", "--html", file},
       "--html is not an option of to-import (see kestrel-csv --help)"},
      {{"chart", "--day-first", file},
       "--day-first is not an option of chart (see kestrel-csv --help)"},
      {{"chart", "--today", "2026-02-30", file}, "--today needs a date YYYY-MM-DD, not 2026-02-30"},
      {{"chart", "--today", file}, "no FILE (see kestrel-csv --help)"},
      {{"chart", "--html=yes", file}, "--html takes no value (see kestrel-csv --help)"},
      {{"show", "--handheld-charset", "CP1252", file}, "--handheld-charset needs --charset"},
      {{}, "no command (see kestrel-csv --help)"},
      {{"restore", file}, "unknown command restore (see kestrel-csv --help)"},
      {{"check"}, "no FILE (see kestrel-csv --help)"},
      {{"check", file, file}, "more than one FILE (see kestrel-csv --help)"},
      {{"check", "--charset"}, "--charset needs a character set (see kestrel-csv --help)"},
      {{"check", "--charset=", file}, "--charset needs a character set (see kestrel-csv --help)"},
      {{"check", "--charset=UTF-8", "--charset", "UTF-8", file}, "--charset given twice"},
      {{"check", "--handheld-charset", "CP1252", file}, "--handheld-charset needs --charset"},
      {{"check", "--charset", "NO-SUCH-SET", file}, "unknown character set NO-SUCH-SET; `iconv -l` lists the names this system knows"},
      {{"check", "--bom", file}, "unknown option --bom (see kestrel-csv --help)"},
      {{"check", "--x\x1b", file}, "unknown option --x\\x1b (see kestrel-csv --help)"},
      {{"check", "-x", file}, "unknown option -x (see kestrel-csv --help)"},
      {{"chek", file}, "unknown command chek; did you mean check?"},
      {{"check", "--charst=UTF-8", file}, "unknown option --charst; did you mean --charset?"},
      {{"check", "--h", "CP1252", file},
       "option --h is ambiguous: it may be --handheld-charset, --html or --help; type more of "
       "its name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    const Result r = Run(c.args);
    std::string err = r.err;
    if (const std::size_t at = err.find(dir_.string() + "/"); at != std::string::npos) {
      err.erase(at, dir_.string().size() + 1);
    }
    EXPECT_EQ(err, "kestrel-csv: " + c.err + "\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 2);
  }
  const Result help = Run({"-h"});
  EXPECT_EQ(help.out, CsvUsageText());
  EXPECT_EQ(help.status, 0);
  const Result version = Run({"check", file, "--version"});
  EXPECT_EQ(version.out,
            "kestrel-csv 1.01 (Kestrelplan conduit)\n"
            "Copyright (c) 2026 The Kestrelplan conduit authors\n"
            "License MIT: <https://opensource.org/licenses/MIT>.\n"
            "This is free software: you are free to change and redistribute it.\n"
            "There is NO WARRANTY, to the extent permitted by law.\n");
  EXPECT_EQ(version.status, 0);
}

TEST_F(KestrelCsv, ToImportGivesEachDateALeadingWordAndNamesWhatCannotComeBack) {
  const std::string name32(32, 'n');
  const Result r = RunOn("to-import",
                         "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names\n"
                         "\n"
                         "1,4/13/1998,5 days,4/17/1998,,0%,Design,Bob\r\n"  // among LF
                         "2,2/29/2000,1 days,0/0/1904,1,100%,Leap,\n"
                         "-128,2/29/1999,65535 days,15/31/2031,127,-1%,,\n"
                         "3,4/13/1998,5 days,4/17/1998,,0%,Design, phase 2,Bob\n"
                         "4,4/13/1998,5 days,4/17/1998,,0%,Design,Bob \t\n"
                         "5,4/13/1998,5 days,4/17/1998,,0%," +
                             name32 + "," + name32 +
                             "\n"
                             "6,Mon 4/13/98,5 days,Fri 4/17/98,,0%,Design,Bob\n"
                             "7,4/13/2040,5 days,4/17/1998,,0%,X,Y\n"
                             "8,4/13/1998,5 days,4/17/1998,,0%,no resources");
  EXPECT_EQ(r.out,
            "1,Mon 4/13/1998,5 days,Fri 4/17/1998,,0%,Design,Bob\n"
            "2,Tue 2/29/2000,1 days,Day 0/0/1904,1,100%,Leap,\n"
            "-128,Day 2/29/1999,65535 days,Day 15/31/2031,127,-1%,,\n"
            "3,Mon 4/13/1998,5 days,Fri 4/17/1998,,0%,Design, phase 2,Bob\n"
            "4,Mon 4/13/1998,5 days,Fri 4/17/1998,,0%,Design,Bob \t\n"
            "5,Mon 4/13/1998,5 days,Fri 4/17/1998,,0%," +
                name32 + "," + name32 +
                "\n"
                "7,Fri 4/13/2040,5 days,Fri 4/17/1998,,0%,X,Y\n");
  EXPECT_EQ(r.err,
            "kestrel-csv: f.csv: read as a backup file\n"
            "kestrel-csv: f.csv:3: a CR at the end of the resource names, which the import drops: "
            "the task comes back without it\n"
            "kestrel-csv: f.csv:6: a comma in the name or the resource names: the import ends the "
            "name at the first comma and reads the rest as the resource names; remove the comma "
            "from the name to keep it\n"
            "kestrel-csv: f.csv:7: white space at the end of the resource names, which the import "
            "drops: the task comes back without it\n"
            "kestrel-csv: f.csv:8: the name is cut at 31 characters: shorten it to keep it whole\n"
            "kestrel-csv: f.csv:8: the resource names are cut at 31 characters: shorten them to "
            "keep them whole\n"
            "kestrel-csv: f.csv:9: not a line of a backup file: left out of the import file; add "
            "that task by hand if it is one\n"
            "kestrel-csv: f.csv:10: a number or date that a task cannot hold: the import stores it "
            "otherwise; check that task on the handheld after the sync\n"
            "kestrel-csv: f.csv:11: not a line of a backup file: left out of the import file; add "
            "that task by hand if it is one\n");
  EXPECT_EQ(r.status, 1);
}

TEST_F(KestrelCsv, ToImportCarriesAHundredTasksAndNoMore) {
  std::string backup = "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names\n";
  std::string expected;
  for (int i = 1; i <= 100; ++i) {
    // A backup has no line break after its last line.
    if (i > 1) backup += "\n";
    backup += std::to_string(i) + ",4/13/1998,5 days,4/17/1998,,0%,A,B";
    expected += std::to_string(i) + ",Mon 4/13/1998,5 days,Fri 4/17/1998,,0%,A,B\n";
  }
  constexpr char kReadAs[] = "kestrel-csv: f.csv: read as a backup file\n";
  Result r = RunOn("to-import", backup);
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(r.err, kReadAs);
  EXPECT_EQ(r.status, 0);

  r = RunOn("to-import", backup + "\n101,4/13/1998,5 days,4/17/1998,,0%,A,B\n102,x");
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(r.err,
            std::string(kReadAs) +
                "kestrel-csv: f.csv:102: the import reads at most 100 lines: this task and those "
                "after it are left out; make a second import file of them for a later sync\n");
  EXPECT_EQ(r.status, 1);
}

// A CR or LF that ended the resource names is lost in the import's line
// reading; each line that had one is named. A backup written on Linux ends
// its lines in a bare LF, one written on Windows in CR LF.
TEST_F(KestrelCsv, ToImportNamesALineBreakLostAtTheEndOfTheResourceNames) {
  const std::string header = "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names";
  const std::string task = "1,4/13/1998,5 days,4/17/1998,,0%,A,Bob";
  const std::string imported = "1,Mon 4/13/1998,5 days,Fri 4/17/1998,,0%,A,Bob\n";
  const std::string cr =
      "a CR at the end of the resource names, which the import drops: the task comes back "
      "without it\n";
  const std::string lf =
      "an LF at the end of the resource names, which the import drops: the task comes back "
      "without it\n";
  const std::string lastLf =
      "a line break after the last line, which a backup file does not have: if the resource "
      "names ended in an LF, the import drops it and the task comes back without it\n";
  struct Case {
    const char* label;
    std::string file;
    std::string out;
    std::string err;  // "LINE: TEXT" for each message
  };
  // A CR that the line reader leaves is written as it stands.
  const std::string importedCr = imported.substr(0, imported.size() - 1) + "\r\n";
  const std::vector<Case> cases = {
      {"LF, none lost", header + "\n" + task + "\n" + task, imported + imported, ""},
      {"CR LF, none lost", header + "\r\n" + task + "\r\n" + task, imported + imported, ""},
      {"a deleted first record", header + "\n\n" + task, imported, ""},
      {"CR among LF", header + "\n" + task + "\r\n" + task, imported + imported, "2: " + cr},
      {"CR among CR LF", header + "\r\n" + task + "\r\r\n" + task, importedCr + imported,
       "2: " + cr},
      {"CR on the last line", header + "\n" + task + "\n" + task + "\r", imported + importedCr,
       "3: " + cr},
      {"LF", header + "\n" + task + "\n\n" + task, imported + imported, "2: " + lf},
      {"LF on the last line", header + "\n" + task + "\n", imported, "2: " + lastLf},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const Result r = RunOn("to-import", c.file);
    std::string err = "kestrel-csv: f.csv: read as a backup file\n";
    std::istringstream lines(c.err);
    for (std::string w; std::getline(lines, w);) err += "kestrel-csv: f.csv:" + w + "\n";
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, err);
    EXPECT_EQ(r.status, c.err.empty() ? 0 : 1);
  }
}

// Every record of the formatter's table that to-import says it carries comes
// back through the import with the same fields; the others are named.
TEST(BackupLineToImport, ReadsBackThroughTheImportToTheSameTask) {
  using kestrel::testing::TestTransfer;
  const auto text = [](const std::uint8_t* field) {
    return std::string(reinterpret_cast<const char*>(field),
                       strnlen(reinterpret_cast<const char*>(field), kTaskTextFieldSize));
  };
  // A predecessor of 0 or less is none, however it is stored.
  const auto predecessor = [](std::uint8_t byte) {
    return std::max(0, int{static_cast<std::int8_t>(byte)});
  };
  std::vector<std::string> notCarried;
  for (const kestrel::testing::FormatCase& c : kestrel::testing::FormatCases()) {
    SCOPED_TRACE(c.label);
    TestTransfer record;
    record.Load(c.bytes);
    std::string backup;
    ASSERT_EQ(FormatTaskLine(record.transfer, backup), 0);
    const ImportLine imported = BackupLineToImport(backup);
    ASSERT_TRUE(imported.written);
    if (!imported.problems.empty()) {
      notCarried.push_back(c.label);
      continue;
    }
    TestTransfer back;
    back.Fill(0xEE);
    ASSERT_EQ(ParseTaskLine(imported.text, back.transfer), 0);
    const std::uint8_t* a = record.Bytes();
    const std::uint8_t* b = back.Bytes();
    EXPECT_EQ(a[0], b[0]);  // ID
    EXPECT_EQ(std::vector<std::uint8_t>(a + 2, a + 8),
              std::vector<std::uint8_t>(b + 2, b + 8));  // dates, duration
    EXPECT_EQ(predecessor(a[8]), predecessor(b[8]));
    EXPECT_EQ(a[9], b[9]);  // percent
    EXPECT_EQ(text(a + 10), text(b + 10));
    EXPECT_EQ(text(a + 42), text(b + 42));
  }
  EXPECT_EQ(notCarried, (std::vector<std::string>{"text copied unchanged",
                                                  "texts without a NUL take their 32 bytes only"}));
}

// With --charset the files are read and written in that set and the tasks are
// stored in the handheld's; without it, every byte is taken as it stands.
// The settings file's charset and handheld-charset, under the command line.
TEST_F(KestrelCsv, CharacterSetsFromTheSettingsFile) {
  fs::create_directories(dir_ / "config" / "kestrelplan");
  const std::string conf = (dir_ / "config" / "kestrelplan" / "kestrel-sync.conf").string();
  std::ofstream(conf) << "# as the sync reads them\ncharset = UTF-8\nhandheld-charset = ISO-8859-7\n";
  const std::string head = "1,Mon 4/13/98,5 days,Fri 4/17/98,,0%,";
  const std::string shownHead = "1: 1,4/13/1998,5 days,4/17/1998,,0%,";
  const std::string file = head + "\xCE\xB1\xC3\xA9,x\n";
  struct Case {
    std::vector<std::string> options;
    std::string out, err;
  };
  const std::string greek = "kestrel-csv: f.csv:1: a character that ISO-8859-7 cannot hold is "
                            "stored as \"?\"; write it otherwise or give another "
                            "--handheld-charset\n";
  const std::vector<Case> cases = {
      {{}, shownHead + "\xCE\xB1?,x\n", greek},
      {{"--handheld-charset=CP1252"}, shownHead + "?\xC3\xA9,x\n",
       "kestrel-csv: f.csv:1: a character that CP1252 cannot hold is stored as \"?\"; write it "
       "otherwise or give another --handheld-charset\n"},
      {{"--charset=none"}, shownHead + "\xCE\xB1\xC3\xA9,x\n", ""},
      {{"--no-config"}, shownHead + "\xCE\xB1\xC3\xA9,x\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options.empty() ? "the file's" : c.options[0]);
    const Result r = RunOn("check", file, c.options);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
  }

  std::ofstream(conf) << "handheld-charset = CP1252\n";
  Result r = RunOn("check", file);
  EXPECT_EQ(r.err, "kestrel-csv: " + conf +
                       ":1: handheld-charset needs charset; add a charset line, or give --charset\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  std::ofstream(conf) << "charset = UTF-8\ncolour = red\n";
  r = RunOn("check", file);
  EXPECT_EQ(r.err, "kestrel-csv: " + conf +
                       ":2: unknown key colour; the keys are charset, handheld-charset, "
                       "data-folder, log\n");
  EXPECT_EQ(r.status, 2);
  r = RunOn("check", file, {"--no-conf"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}

TEST_F(KestrelCsv, CharacterSets) {
  const std::string head = "1,Mon 4/13/98,5 days,Fri 4/17/98,,0%,";
  const std::string shownHead = "1: 1,4/13/1998,5 days,4/17/1998,,0%,";
  const std::string a30(30, 'a');
  struct Case {
    const char* label;
    std::vector<std::string> options;
    std::string file, out, err;
  };
  const std::vector<Case> cases = {
      {"accented names",
       {"--charset", "UTF-8"},
       head + "Cl\xC3\xA9o,Zo\xC3\xAB\n",
       shownHead + "Cl\xC3\xA9o,Zo\xC3\xAB\n",
       ""},
      {"a 31st character of two bytes is kept whole",
       {"--charset=UTF-8"},
       head + a30 + "\xC3\xA9\xC3\xA9,x\n",
       shownHead + a30 + "\xC3\xA9,x\n",
       "kestrel-csv: f.csv:1: the name is cut at 31 characters: shorten it to keep it whole\n"},
      {"without --charset the cut falls inside it",
       {},
       head + a30 + "\xC3\xA9,x\n",
       shownHead + a30 + "\xC3,x\n",
       "kestrel-csv: f.csv:1: the name is cut at 31 bytes, inside a character, and the text looks "
       "like UTF-8: give --charset UTF-8 (to kestrel-sync too) so that it is cut on a whole "
       "character\n"},
      {"a character outside the handheld's set",
       {"--charset", "UTF-8"},
       head + "A\n" + head + "\xC5\xB5,x\n",
       shownHead + "A,\n2: 1,4/13/1998,5 days,4/17/1998,,0%,?,x\n",
       "kestrel-csv: f.csv:1: fewer than 8 fields: the fields are misread; give every task all 8 "
       "fields, empty ones included\n"
       "kestrel-csv: f.csv:2: a character that WINDOWS-1252 cannot hold is stored as \"?\"; write "
       "it otherwise or give another --handheld-charset\n"},
      {"another handheld set",
       {"--charset", "UTF-8", "--handheld-charset", "ISO-8859-7"},
       head + "\xCE\xB1\xC3\xA9,x\n",
       shownHead + "\xCE\xB1?,x\n",
       "kestrel-csv: f.csv:1: a character that ISO-8859-7 cannot hold is stored as \"?\"; write "
       "it otherwise or give another --handheld-charset\n"},
      {"a byte-order mark is left out",
       {"--charset", "UTF-8"},
       "\xEF\xBB\xBF" + head + "A,B",
       shownHead + "A,B\n",
       ""},
      {"the desktop in Latin-1",
       {"--charset", "ISO-8859-1"},
       head + "Caf\xE9,x\n",
       shownHead + "Caf\xE9,x\n",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const Result r = RunOn("check", c.file, c.options);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.status, c.err.empty() ? 0 : 1);
  }

  const std::string backup =
      "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names\n"
      "1,4/13/1998,5 days,4/17/1998,,0%," +
      a30 +
      "\xC3\xA9,Zo\xC3\xAB\n"
      "2,4/13/1998,5 days,4/17/1998,,0%,\xE2\x82\xAC \xC5\xB5,x";
  Result r = RunOn("to-import", backup, {"--charset", "UTF-8"});
  EXPECT_EQ(r.out, "1,Mon 4/13/1998,5 days,Fri 4/17/1998,,0%," + a30 +
                       "\xC3\xA9,Zo\xC3\xAB\n"
                       "2,Mon 4/13/1998,5 days,Fri 4/17/1998,,0%,\xE2\x82\xAC ?,x\n");
  EXPECT_EQ(r.err,
            "kestrel-csv: f.csv: read as a backup file\n"
            "kestrel-csv: f.csv:3: a character that WINDOWS-1252 cannot hold is read as \"?\"; "
            "write it otherwise or give another --handheld-charset\n");
  EXPECT_EQ(r.status, 1);
  r = RunOn("to-import", backup);
  EXPECT_EQ(r.out, "1,Mon 4/13/1998,5 days,Fri 4/17/1998,,0%," + a30 +
                       "\xC3\xA9,Zo\xC3\xAB\n"
                       "2,Mon 4/13/1998,5 days,Fri 4/17/1998,,0%,\xE2\x82\xAC \xC5\xB5,x\n");
  EXPECT_EQ(r.err,
            "kestrel-csv: f.csv: read as a backup file\n"
            "kestrel-csv: f.csv:2: the name is cut at 31 bytes, inside a character, and the text "
            "looks like UTF-8: give --charset UTF-8 (to kestrel-sync too) so that it is cut on a "
            "whole character\n");
}

}  // namespace
}  // namespace kestrel::cli
