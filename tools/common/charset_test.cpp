// SPDX-License-Identifier: MIT
#include "tools/common/charset.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel::cli {
namespace {

TEST(CharsetConverter, ConvertsAndMarksWhatItCannot) {
  struct Case {
    const char* label;
    const char* to;
    const char* from;
    std::string in;
    bool dropMark;
    std::string out;
    std::vector<int> lines;
  };
  const std::vector<Case> cases = {
      {"accents to the handheld",
       "WINDOWS-1252",
       "UTF-8",
       "Cl\xC3\xA9o \xE2\x82\xAC",
       false,
       "Cl\xE9o \x80",
       {}},
      {"accents to the desktop",
       "UTF-8",
       "WINDOWS-1252",
       "Caf\xE9 \x80",
       false,
       "Caf\xC3\xA9 \xE2\x82\xAC",
       {}},
      {"a character the handheld lacks, on line 2",
       "WINDOWS-1252",
       "UTF-8",
       "a\nb\xC5\xB5"
       "c\n\xE2\x88\x9E",
       false,
       "a\nb?c\n?",
       {2, 3}},
      {"bytes that are no UTF-8, a character cut at the end",
       "WINDOWS-1252",
       "UTF-8",
       "x\xFFy\xC3",
       false,
       "x?y?",
       {1, 1}},
      {"a byte WINDOWS-1252 leaves undefined",
       "UTF-8",
       "WINDOWS-1252",
       "A\x81"
       "B",
       false,
       "A?B",
       {1}},
      {"a byte-order mark left out",
       "WINDOWS-1252",
       "UTF-8",
       "\xEF\xBB\xBF"
       "1,\xC3\xA9",
       true,
       "1,\xE9",
       {}},
      {"a byte-order mark kept as a character",
       "WINDOWS-1252",
       "UTF-8",
       "\xEF\xBB\xBF"
       "1",
       false,
       "?1",
       {1}},
      {"only a leading mark is left out",
       "UTF-8",
       "UTF-8",
       "1\xEF\xBB\xBF",
       true,
       "1\xEF\xBB\xBF",
       {}},
      {"nothing", "UTF-8", "WINDOWS-1252", "", true, "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string error;
    const auto converter = CharsetConverter::Open(c.to, c.from, &error);
    ASSERT_NE(converter, nullptr) << error;
    std::string out = "kept:";
    std::vector<int> lines;
    EXPECT_EQ(converter->Convert(c.in, out, &lines, c.dropMark), c.lines.size());
    EXPECT_EQ(out, "kept:" + c.out);
    EXPECT_EQ(lines, c.lines);
    // The converter starts afresh with each text.
    out.clear();
    EXPECT_EQ(converter->Convert(c.in, out, nullptr, c.dropMark), c.lines.size());
    EXPECT_EQ(out, c.out);
  }
}

TEST(CharsetConverter, NamesASetThatIconvDoesNotKnow) {
  std::string error;
  EXPECT_EQ(CharsetConverter::Open("UTF-8", "NO-SUCH-SET", &error), nullptr);
  EXPECT_EQ(error, "unknown character set NO-SUCH-SET; `iconv -l` lists the names this system knows");
  EXPECT_EQ(CharsetConverter::Open("NO-SUCH-SET", "UTF-8", &error), nullptr);
  EXPECT_EQ(error, "unknown character set NO-SUCH-SET; `iconv -l` lists the names this system knows");
}

}  // namespace
}  // namespace kestrel::cli
