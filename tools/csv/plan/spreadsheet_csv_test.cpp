// SPDX-License-Identifier: MIT
#include "tools/csv/plan/spreadsheet_csv.h"

#include <gtest/gtest.h>

#include <string>

#include "tools/csv/plan/import_writer.h"

namespace kestrel::plan {
namespace {

struct Read {
  bool ok;
  std::string error;
  std::vector<std::string> lines;
  std::string notes;
};

Read ReadCsv(const std::string& text, bool dayFirst = false) {
  Read read;
  Plan plan;
  read.ok = ReadSpreadsheetPlan(text, SpreadsheetOptions{dayFirst}, &plan, &read.error);
  std::string error;
  auto toHandheld = cli::CharsetConverter::Open("WINDOWS-1252", "UTF-8", &error);
  read.lines = WriteImportLines(*toHandheld, &plan);
  for (const PlanNote& note : plan.notes) {
    read.notes += std::to_string(note.line) + ": " + note.text + "\n";
  }
  return read;
}

TEST(SpreadsheetCsv, ReadsQuotedRowsInAnyColumnOrder) {
  const Read read = ReadCsv(
      "\xEF\xBB\xBF\"Task Name\",\" start \",\"END\",\"% complete\",\"resource names\",\"ID\","
      "\"Duration\",\"Predecessors\",\"Notes\"\r\n"
      "\"Design, \"\"first\"\"\",2026-04-13,2026-04-17,50%,\"Ann,Bob\",1,5 days,,x\r\n"
      "Build,Tue 4/21/26,4/22/2026,0.5,,2,2d,1,\r\n"
      "\r\n"
      "\"Two\nlines\",4/23/2026,,100,Crew,3,3,\"1,2\",\r\n");
  ASSERT_FALSE(read.ok);  // "Task Name" is not "Name"
  const Read named = ReadCsv(
      "\xEF\xBB\xBF\"Name\",\" start \",\"END\",\"% complete\",\"resource names\",\"ID\","
      "\"Duration\",\"Predecessors\",\"Notes\"\r\n"
      "\"Design \"\"first\"\"\",2026-04-13,2026-04-17,50%,\"Ann,Bob\",1,5 days,,x\r\n"
      "Build,Tue 4/21/26,4/22/2026,0.5,,2,2d,1,\r\n"
      "\r\n"
      "\"Two\nlines\",4/23/2026,,100,Crew,3,3,\"1,2\",\r\n");
  ASSERT_TRUE(named.ok) << named.error;
  ASSERT_EQ(named.lines.size(), 3u);
  EXPECT_EQ(named.lines[0], "1,Mon 4/13/2026,5 days,Fri 4/17/2026,,50%,Design \"first\",Ann, Bob");
  EXPECT_EQ(named.lines[1], "2,Tue 4/21/2026,2 days,Wed 4/22/2026,1,50%,Build,");
  EXPECT_EQ(named.lines[2], "3,Thu 4/23/2026,3 days,Mon 4/27/2026,1,100%,Two lines,Crew");
  EXPECT_EQ(named.notes,
            "5: a second predecessor (\"1,2\") is left out\n"
            "5: a line break or other control character in the name is written as a space\n");
}

TEST(SpreadsheetCsv, DatesMonthFirstOrDayFirst) {
  const std::string text = "ID,Start,Finish,Name\n1,3/4/2026,5/4/26,A\n";
  EXPECT_EQ(ReadCsv(text).lines[0], "1,Wed 3/4/2026,44 days,Mon 5/4/2026,,0%,A,");
  EXPECT_EQ(ReadCsv(text, true).lines[0], "1,Fri 4/3/2026,1 days,Sun 4/5/2026,,0%,A,");
}

TEST(SpreadsheetCsv, NamesRowsItCannotRead) {
  const Read read = ReadCsv(
      "Start,Name,Duration,% Complete,ID\n"
      "2/30/2026,Bad date,1,0,1\n"
      "4/13/2026,Bad days,five,0,2\n"
      "4/13/2026,Bad percent,1,150%,3\n"
      "4/13/2026,Not a percent,1,nan,3\n"
      "4/13/2026,Bad ID,1,0,x\n"
      "4/13/2026,Good,1,0,\n");
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.notes,
            "2: the start date \"2/30/2026\" cannot be read: the row is left out\n"
            "3: the duration \"five\" cannot be read: the row is left out\n"
            "4: the percent complete \"150%\" cannot be read: the row is left out\n"
            "5: the percent complete \"nan\" cannot be read: the row is left out\n"
            "6: the ID \"x\" cannot be read: the row is left out\n");
  ASSERT_EQ(read.lines.size(), 1u);
  EXPECT_EQ(read.lines[0], "6,Mon 4/13/2026,1 days,Mon 4/13/2026,,0%,Good,");
}

TEST(SpreadsheetCsv, RefusesAFirstLineThatNamesNoColumns) {
  for (const char* text : {"", "1,Mon 4/13/98,5 days\n", "ID,Name\n1,A\n"}) {
    const Read read = ReadCsv(text);
    EXPECT_FALSE(read.ok) << text;
    EXPECT_EQ(read.error, "line 1: no header that names at least the columns Start and Name");
  }
}

}  // namespace
}  // namespace kestrel::plan
