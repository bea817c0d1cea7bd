// SPDX-License-Identifier: MIT
// The formatter's table of records and their backup lines, shared by the
// formatter's tests and by every test that starts from a backup line.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "record/codec_test_support.h"

namespace kestrel::testing {

struct FormatCase {
  const char* label;
  std::vector<std::uint8_t> bytes;
  std::string_view line;
};

// Records and the exact lines FormatTaskLine makes of them.
inline const std::vector<FormatCase>& FormatCases() {
  using namespace std::string_view_literals;
  static const std::vector<FormatCase> cases = {
      {"a complete record",
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00}, {"Design", "Bob"}),
       "1,4/13/1998,5 days,4/17/1998,,0%,Design,Bob"sv},
      {"negative ID, percent of 100",
       RecordBytes({0xC8, 0x00, 0xBC, 0x8D, 0x00, 0x01, 0xBC, 0x91, 0x00, 0x64}, {"X", "Y"}),
       "-56,4/13/1998,1 days,4/17/1998,,100%,X,Y"sv},
      {"ID 127",
       RecordBytes({0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, {"", ""}),
       "127,0/0/1904,0 days,0/0/1904,,0%,,"sv},
      {"ID 0x80",
       RecordBytes({0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, {"", ""}),
       "-128,0/0/1904,0 days,0/0/1904,,0%,,"sv},
      {"predecessor 1",
       RecordBytes({0x02, 0x00, 0xBC, 0x8D, 0x00, 0x01, 0xBC, 0x91, 0x01, 0x00}, {"X", "Y"}),
       "2,4/13/1998,1 days,4/17/1998,1,0%,X,Y"sv},
      {"predecessor 127",
       RecordBytes({0x02, 0x00, 0xBC, 0x8D, 0x00, 0x01, 0xBC, 0x91, 0x7F, 0x00}, {"X", "Y"}),
       "2,4/13/1998,1 days,4/17/1998,127,0%,X,Y"sv},
      {"predecessor 0x80 is none",
       RecordBytes({0x02, 0x00, 0xBC, 0x8D, 0x00, 0x01, 0xBC, 0x91, 0x80, 0x00}, {"X", "Y"}),
       "2,4/13/1998,1 days,4/17/1998,,0%,X,Y"sv},
      {"predecessor 0xFF is none",
       RecordBytes({0x02, 0x00, 0xBC, 0x8D, 0x00, 0x01, 0xBC, 0x91, 0xFF, 0x00}, {"X", "Y"}),
       "2,4/13/1998,1 days,4/17/1998,,0%,X,Y"sv},
      {"dates written as stored",
       RecordBytes({0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xE0, 0x00, 0x00}, {"X", "Y"}),
       "1,0/0/1904,1 days,15/0/2031,,0%,X,Y"sv},
      {"largest duration, percent 0xFF",
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0xFF, 0xFF, 0xBC, 0x91, 0x00, 0xFF}, {"X", "Y"}),
       "1,4/13/1998,65535 days,4/17/1998,,-1%,X,Y"sv},
      {"big-endian fields, reserved byte ignored",
       RecordBytes({0x01, 0xAB, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x21, 0x05, 0x32}, {"X", "Y"}),
       "1,15/31/2031,256 days,1/1/1904,5,50%,X,Y"sv},
      {"text copied unchanged",
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00},
                   {"Say \"hi\", ok", "50% \xE9t\xE9\t"}),
       "1,4/13/1998,5 days,4/17/1998,,0%,Say \"hi\", ok,50% \xE9t\xE9\t"sv},
      {"text ends at its NUL",
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00},
                   {"Bob\0junk"sv, "\0junk"sv}),
       "1,4/13/1998,5 days,4/17/1998,,0%,Bob,"sv},
      {"texts of 31 characters",
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00},
                   {"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", "abcdefghijklmnopqrstuvwxyz01234"}),
       "1,4/13/1998,5 days,4/17/1998,,0%,ABCDEFGHIJKLMNOPQRSTUVWXYZ01234,"
       "abcdefghijklmnopqrstuvwxyz01234"sv},
      {"texts without a NUL take their 32 bytes only",
       RecordBytes({0x01, 0x00, 0xBC, 0x8D, 0x00, 0x05, 0xBC, 0x91, 0x00, 0x00},
                   {"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", "abcdefghijklmnopqrstuvwxyz012345"}),
       "1,4/13/1998,5 days,4/17/1998,,0%,ABCDEFGHIJKLMNOPQRSTUVWXYZ012345,"
       "abcdefghijklmnopqrstuvwxyz012345"sv},
  };
  return cases;
}

}  // namespace kestrel::testing
