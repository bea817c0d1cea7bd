// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "record/codec_test_support.h"
#include "record/task_record.h"

namespace {

using kestrel::testing::TestTransfer;

// A line of the import file, parsed and formatted again, gives its backup
// form: dates without their leading word and with four-digit years, the
// duration in days.
TEST(TaskLineRoundTrip, ImportLineBecomesItsBackupLine) {
  struct Case {
    std::string_view importLine;
    std::string_view backupLine;
  };
  const Case cases[] = {
      {"1,Mon 4/13/98,5 days,Fri 4/17/98,,0%,Design,Bob",
       "1,4/13/1998,5 days,4/17/1998,,0%,Design,Bob"},
      {"12,Tue 1/5/00,3 days,Thu 1/7/00,11,50%,Test,Ann\r\n",
       "12,1/5/2000,3 days,1/7/2000,11,50%,Test,Ann"},
      {"3,Thu 12/31/1999,1 day,Wed 1/1/2031,2,100%,New year, eve,Crew",
       "3,12/31/1999,1 days,1/1/2031,2,100%,New year, eve,Crew"},
      {"200,Mon 6/1/89,2 wks,Fri 6/12/90,-3,-1%, spaced ,Bob, Ann",
       "-56,6/1/1961,2 days,6/12/1990,,-1%, spaced ,Bob, Ann"},
      {"4,Mon 4/13/98,5 days,Fri 4/17/98,,0%,A name that is longer than the field,Bob",
       "4,4/13/1998,5 days,4/17/1998,,0%,A name that is longer than the ,Bob"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.importLine);
    TestTransfer t;
    ASSERT_EQ(ParseTaskLine(c.importLine, t.transfer), 0);
    std::string line;
    ASSERT_EQ(FormatTaskLine(t.transfer, line), 0);
    EXPECT_EQ(line, c.backupLine);
  }
}

}  // namespace
