// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>

#include "tools/csv/plan/backup_plan.h"
#include "tools/csv/plan/import_writer.h"
#include "tools/csv/plan/project_plan.h"
#include "tools/csv/plan/project_xml_writer.h"
#include "tools/csv/plan/xml_tree.h"

namespace kestrel::plan {
namespace {

std::string Notes(const Plan& plan) {
  std::string text;
  for (const PlanNote& note : plan.notes)
    text += std::to_string(note.line) + ": " + note.text + "\n";
  return text;
}

bool ReadXml(const std::string& document, Plan* plan, std::string* error) {
  std::unique_ptr<XmlReader> reader = OpenXmlReader(document, error);
  XmlElement root;
  std::string title;
  return reader && ReadXmlTree(*reader, &root, error) && ReadProjectPlan(root, plan, &title, error);
}

std::unique_ptr<cli::CharsetConverter> Converter(const char* to, const char* from) {
  std::string error;
  return cli::CharsetConverter::Open(to, from, &error);
}

TEST(ProjectXml, WritesEveryFieldWherePlannersReadIt) {
  const std::string backup =
      "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names\n"
      "7,4/13/1998,5 days,4/17/1998,,50%,Design <&> \"x\",Ann, Bob\n";
  auto toUtf8 = Converter("UTF-8", "WINDOWS-1252");
  Plan plan = ReadBackupPlan(backup, *toUtf8);
  const std::string xml = WriteProjectXml("Demo", &plan);
  EXPECT_EQ(Notes(plan), "");
  EXPECT_NE(xml.find("<UID>1</UID>\n   <ID>1</ID>\n   <Name>Design &lt;&amp;&gt; &quot;x&quot;"
                     "</Name>\n"),
            std::string::npos);
  for (const char* part :
       {"<Start>1998-04-13T08:00:00</Start>", "<Finish>1998-04-17T17:00:00</Finish>",
        "<Duration>PT40H0M0S</Duration>", "<PercentComplete>50</PercentComplete>",
        "<OutlineLevel>1</OutlineLevel>", "<FieldID>188743731</FieldID>\n    <Value>7</Value>",
        "<Name>Ann</Name>", "<Name>Bob</Name>", "<ResourceUID>2</ResourceUID>"}) {
    EXPECT_NE(xml.find(part), std::string::npos) << part;
  }
}

TEST(ProjectXml, NamesWhatItLeavesOut) {
  const std::string backup =
      "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names\n"
      "1,15/0/2031,1 days,4/17/1998,9,-1%,A,\n"
      "1,4/13/1998,1 days,4/13/1998,1,0%,B,Ann,Bob\n"
      "not a task\n";
  auto toUtf8 = Converter("UTF-8", "WINDOWS-1252");
  Plan plan = ReadBackupPlan(backup, *toUtf8);
  const std::string xml = WriteProjectXml("Demo", &plan);
  EXPECT_EQ(Notes(plan),
            "3: the resource names \"Ann,Bob\" come back as \"Ann, Bob\"\n"
            "4: not a line of a backup file: left out\n"
            "3: the ID 1 is also on line 2: a predecessor 1 is linked to that line\n"
            "2: the start 15/0/2031 is not a calendar date: the task is written without it\n"
            "2: the percent complete -1 is outside 0-100: the task is written without it\n"
            "2: the predecessor 9 is the ID of no line: the task is written without it\n");
  // The second task's predecessor 1 is the first line with that ID.
  EXPECT_NE(xml.find("<PredecessorUID>1</PredecessorUID>\n    <Type>1</Type>"), std::string::npos);
}

TEST(ProjectXml, BackupComesBackThroughTheImportForm) {
  const std::string backup =
      "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names\n"
      "-3,4/13/1998,5 days,4/17/1998,,50%,Caf\xE9,Ann, Bob\n"
      "0,4/20/1998,0 days,4/20/1998,,0%,Milestone,\n"
      "12,12/31/2031,2 days,1/2/1904,,100%,Wrapped,Crew\n";
  auto toUtf8 = Converter("UTF-8", "WINDOWS-1252");
  auto toHandheld = Converter("WINDOWS-1252", "UTF-8");
  Plan written = ReadBackupPlan(backup, *toUtf8);
  const std::string xml = WriteProjectXml("Demo", &written);
  Plan read;
  std::string error;
  ASSERT_TRUE(ReadXml(xml, &read, &error)) << error;
  const std::vector<std::string> lines = WriteImportLines(*toHandheld, &read);
  EXPECT_EQ(Notes(written) + Notes(read), "");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "-3,Mon 4/13/1998,5 days,Fri 4/17/1998,,50%,Caf\xE9,Ann, Bob");
  EXPECT_EQ(lines[1], "0,Mon 4/20/1998,0 days,Mon 4/20/1998,,0%,Milestone,");
  EXPECT_EQ(lines[2], "12,Wed 12/31/2031,2 days,Sat 1/2/1904,,100%,Wrapped,Crew");
}

// As TaskJuggler writes it: top tasks at level 0, a summary task, no
// Duration, resources without an ID, a dependent task starting at 17:00.
const char kTaskJugglerLike[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<Project xmlns="http://schemas.microsoft.com/project">
 <Tasks>
  <Task><UID>1</UID><ID>1</ID><Name>Design</Name><OutlineLevel>0</OutlineLevel>
   <Start>2026-04-13T09:00:00</Start><Finish>2026-04-17T17:00:00</Finish>
   <Summary>0</Summary><PercentComplete>50</PercentComplete></Task>
  <Task><UID>2</UID><ID>2</ID><Name>Build</Name><OutlineLevel>0</OutlineLevel>
   <Start>2026-04-17T17:00:00</Start><Finish>2026-04-21T17:00:00</Finish>
   <PredecessorLink><PredecessorUID>1</PredecessorUID></PredecessorLink>
   <PredecessorLink><PredecessorUID>4</PredecessorUID></PredecessorLink></Task>
  <Task><UID>3</UID><ID>3</ID><Name>Group</Name><OutlineLevel>0</OutlineLevel>
   <Start>2026-04-21T17:00:00</Start><Finish>2026-04-23T00:00:00</Finish><Summary>1</Summary></Task>
  <Task><UID>4</UID><ID>4</ID><Name>Inner</Name><OutlineLevel>1</OutlineLevel>
   <Start>2026-04-21T17:00:00</Start><Finish>2026-04-23T00:00:00</Finish>
   <PredecessorLink><PredecessorUID>3</PredecessorUID></PredecessorLink></Task>
  <Task><UID>5</UID><ID>5</ID><Name>Done</Name><OutlineLevel>0</OutlineLevel>
   <Start>2026-04-23T17:00:00</Start><Finish>2026-04-23T17:00:00</Finish><Milestone>1</Milestone>
   <PredecessorLink><PredecessorUID>4</PredecessorUID></PredecessorLink></Task>
 </Tasks>
 <Resources><Resource><UID>1</UID><Name>Ann</Name></Resource>
  <Resource><UID>2</UID><Name>Bob</Name></Resource></Resources>
 <Assignments>
  <Assignment><UID>0</UID><TaskUID>2</TaskUID><ResourceUID>2</ResourceUID></Assignment>
  <Assignment><UID>1</UID><TaskUID>2</TaskUID><ResourceUID>1</ResourceUID></Assignment>
 </Assignments>
</Project>
)";

TEST(ProjectXml, ReadsTaskJugglersForm) {
  Plan plan;
  std::string error;
  ASSERT_TRUE(ReadXml(kTaskJugglerLike, &plan, &error)) << error;
  auto toHandheld = Converter("WINDOWS-1252", "UTF-8");
  const std::vector<std::string> lines = WriteImportLines(*toHandheld, &plan);
  EXPECT_EQ(Notes(plan),
            "11: the summary task \"Group\" is left out\n"
            "7: a second predecessor (task UID 4) is left out\n"
            "13: the predecessor (task UID 3) is not a task that is written: left out\n");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "1,Mon 4/13/2026,5 days,Fri 4/17/2026,,50%,Design,");
  EXPECT_EQ(lines[1], "2,Mon 4/20/2026,2 days,Tue 4/21/2026,1,0%,Build,Bob, Ann");
  EXPECT_EQ(lines[2], "4,Wed 4/22/2026,1 days,Wed 4/22/2026,,0%,Inner,");
  EXPECT_EQ(lines[3], "5,Fri 4/24/2026,0 days,Fri 4/24/2026,4,0%,Done,");
}

TEST(ProjectXml, RenumbersIdsThatDoNotFitAndCutsTexts) {
  const std::string xml =
      "<Project xmlns=\"http://schemas.microsoft.com/project\"><Tasks>"
      "<Task><UID>10</UID><ID>300</ID><Name>\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
      "0123456789012345678901234567, and more</Name>"
      "<Start>2040-01-02T08:00:00</Start><Finish>2040-01-02T17:00:00</Finish>"
      "<Duration>PT8H0M0S</Duration></Task>"
      "<Task><UID>11</UID><ID>2</ID><Name>\xE2\x88\x9E</Name>"
      "<Start>2026-04-13T08:00:00</Start><Finish>2026-04-14T17:00:00</Finish>"
      "<PredecessorLink><PredecessorUID>10</PredecessorUID></PredecessorLink></Task>"
      "</Tasks></Project>";
  Plan plan;
  std::string error;
  ASSERT_TRUE(ReadXml(xml, &plan, &error)) << error;
  auto toHandheld = Converter("WINDOWS-1252", "UTF-8");
  const std::vector<std::string> lines = WriteImportLines(*toHandheld, &plan);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0],
            "1,Mon 1/2/2040,1 days,Mon 1/2/2040,,0%,\xE9\xE9\xE9\xE9\xE9"
            "01234567890123456789012345,");
  EXPECT_EQ(lines[1], "2,Mon 4/13/2026,2 days,Tue 4/14/2026,1,0%,?,");
  EXPECT_EQ(Notes(plan),
            "1: the task \"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
            "0123456789012345678901234567, and more\" (ID 300) is given the ID 1: the file's IDs "
            "do not fit -128..127 or repeat\n"
            "1: the task \"\xE2\x88\x9E\" (ID 2) is given the ID 2: the file's IDs do not fit "
            "-128..127 or repeat\n"
            "1: the start year 2040 is outside 1904-2031, which the handheld cannot hold\n"
            "1: the finish year 2040 is outside 1904-2031, which the handheld cannot hold\n"
            "1: the name holds a comma, which would end it in the import: written with \";\"\n"
            "1: the name is cut at 31 bytes\n"
            "1: a character of the name that the handheld's character set lacks is written as "
            "\"?\"\n");
}

TEST(ProjectXml, RefusesWhatIsNoProject) {
  const struct {
    const char* document;
    const char* error;
  } cases[] = {
      {"<Plan/>", "line 1: the root element is Plan, not Project"},
      {"<!DOCTYPE Project [<!ENTITY a \"b\">]><Project/>", "line 1: a document type declaration"},
  };
  for (const auto& c : cases) {
    Plan plan;
    std::string error;
    EXPECT_FALSE(ReadXml(c.document, &plan, &error)) << c.document;
    EXPECT_EQ(error, c.error) << c.document;
  }
  // The XML library's own words differ from system to system.
  for (const char* malformed : {"<Project><Tasks></Project>", "", "<Project>&bad;</Project>"}) {
    Plan plan;
    std::string error;
    EXPECT_FALSE(ReadXml(malformed, &plan, &error)) << malformed;
    EXPECT_EQ(error.substr(0, 5), "line ") << malformed;
  }
  std::string deep;
  for (int i = 0; i < 40; ++i) deep += "<a>";
  Plan plan;
  std::string error;
  EXPECT_FALSE(ReadXml(deep, &plan, &error));
  EXPECT_EQ(error, "line 1: elements nested deeper than 32");
}

}  // namespace
}  // namespace kestrel::plan
