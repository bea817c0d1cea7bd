// SPDX-License-Identifier: MIT
#include "record/leading_number.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string_view>

namespace {

using namespace std::string_view_literals;

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(LeadingNumber, ReadsLikeTheCLibraryWithClamping) {
  struct Case {
    std::string_view text;
    std::int32_t number;
  };
  const Case cases[] = {
      {""sv, 0},
      {"42"sv, 42},
      {"42 days"sv, 42},
      {" \t\n\v\f\r42"sv, 42},  // every white space byte is skipped
      {"+7"sv, 7},
      {"-7"sv, -7},
      {"-"sv, 0},
      {"+-3"sv, 0},
      {"- 3"sv, 0},
      {"x5"sv, 0},
      {"\xA0"
       "5"sv,
       0},  // a byte of 0x80 and above is not white space
      {"12\0"
       "3"sv,
       12},
      {"0000000000000000000000012"sv, 12},  // leading zeros never overflow
      {"2147483647"sv, kMax},
      {"2147483648"sv, kMax},
      {"-2147483648"sv, kMin},
      {"-2147483649"sv, kMin},
      {"4294967297"sv, kMax},
      {"99999999999999999999999999999999"sv, kMax},
      {"-99999999999999999999999999999999"sv, kMin},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.text << '"');
    EXPECT_EQ(kestrel::LeadingNumber(c.text), c.number);
  }
}

}  // namespace
