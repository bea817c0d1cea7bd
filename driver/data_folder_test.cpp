// SPDX-License-Identifier: MIT
#include "driver/data_folder.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace kestrel {
namespace {

struct AreaCase {
  const char* name;
  std::string stored;  // the bytes the registry put in the area
  Status status;
  std::string folder;  // afterwards; "unchanged" when it failed
};

void PrintTo(const AreaCase& c, std::ostream* out) { *out << c.name; }

const AreaCase kAreaCases[] = {
    {"WithItsNul", std::string("C:\\Data\0", 8), StatusOk, "C:\\Data"},
    {"StoredWithoutNul", "C:\\Data", StatusOk, "C:\\Data"},
    {"UpToTheFirstNul", std::string("C:\\A\0B\0", 7), StatusOk, "C:\\A"},
    // An empty value names no folder, as a missing one does.
    {"Empty", "", StatusFailed, "unchanged"},
    {"EmptyWithItsNul", std::string("\0", 1), StatusFailed, "unchanged"},
    {"NulFirst", std::string("\0C:\\Data", 8), StatusFailed, "unchanged"},
    {"Of254Characters", std::string(254, 'a') + '\0', StatusOk, std::string(254, 'a')},
    {"Of254CharactersWithoutNul", std::string(254, 'a'), StatusOk, std::string(254, 'a')},
    {"FillingTheAreaWithoutNul", std::string(255, 'a'), StatusFailed, "unchanged"},
    {"LargerThanTheArea", std::string(300, 'a'), StatusFailed, "unchanged"},
};

class FolderFromValueAreaTest : public ::testing::TestWithParam<AreaCase> {};

TEST_P(FolderFromValueAreaTest, NeverReadsPastTheArea) {
  const AreaCase& c = GetParam();
  std::string folder = "unchanged";
  EXPECT_EQ(FolderFromValueArea(c.stored, folder), c.status);
  EXPECT_EQ(folder, c.folder);
}

INSTANTIATE_TEST_SUITE_P(Values, FolderFromValueAreaTest, ::testing::ValuesIn(kAreaCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrel
