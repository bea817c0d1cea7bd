// SPDX-License-Identifier: MIT
// Generation names: the UTC time of a sync as a name, what is a generation
// and what is not, their order, and which go when a folder holds too many.
#include "driver/generation_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

TEST(GenerationNames, TheTimeIsUtcToTheSecond) {
  EXPECT_EQ(GenerationTime(0), "19700101-000000");
  EXPECT_EQ(GenerationTime(1796995263), "20261211-132103");
  EXPECT_EQ(GenerationTime(951782400), "20000229-000000");  // a leap day
  EXPECT_EQ(GenerationTime(4102444799), "20991231-235959");
  EXPECT_EQ(GenerationName("20261211-132103", 1), "20261211-132103.csv");
  EXPECT_EQ(GenerationName("20261211-132103", 12), "20261211-132103-12.csv");
}

TEST(GenerationNames, OnlyNamesOfTheForm) {
  EXPECT_EQ(ParseGeneration("20261211-132103.csv")->number, 1u);
  EXPECT_EQ(ParseGeneration("20261211-132103-2.csv")->number, 2u);
  EXPECT_EQ(ParseGeneration("20261211-132103-123.csv")->time, "20261211-132103");
  for (const char* name :
       {"20261211-132103", "20261211-132103.CSV", "2026121-132103.csv", "20261211_132103.csv",
        "20261211-132103-1.csv", "20261211-132103-02.csv", "20261211-132103-.csv",
        "20261211-132103-2x.csv", "x20261211-132103.csv", "20261211-13210a.csv",
        "20261211-132103.csv.kestrel-history-new", "20261211-132103-9999999999.csv"}) {
    EXPECT_FALSE(ParseGeneration(name)) << name;
  }
}

// Time first, then the number as a number; later than now is left out.
TEST(GenerationNames, OrderedByTimeThenNumber) {
  const std::vector<std::string> names = {"20261211-132103-10.csv",
                                          "20261211-132103.csv",
                                          "20261211-132103-2.csv",
                                          "20250101-000000-3.csv",
                                          "notes.txt",
                                          "20261211-132104.csv",
                                          "20991231-000000.csv",
                                          "20261211-132103-9.csv"};
  std::vector<std::string> ordered;
  for (const Generation& g : GenerationsUpTo(names, "20261211-132104")) ordered.push_back(g.name);
  EXPECT_EQ(ordered, (std::vector<std::string>{"20250101-000000-3.csv", "20261211-132103.csv",
                                               "20261211-132103-2.csv", "20261211-132103-9.csv",
                                               "20261211-132103-10.csv", "20261211-132104.csv"}));
}

TEST(GenerationNames, TheOldestBeyondTwentyGoButNeverTheOneJustKept) {
  std::vector<std::string> names;
  for (int i = 1; i <= 22; ++i) names.push_back(GenerationName("20261211-000000", i));
  const std::vector<Generation> all = GenerationsUpTo(names, "20261211-000000");
  EXPECT_EQ(GenerationsToRemove(all, "20261211-000000-22.csv"),
            (std::vector<std::string>{"20261211-000000.csv", "20261211-000000-2.csv"}));
  // The one just kept is the oldest (its number was free): the next two go.
  EXPECT_EQ(GenerationsToRemove(all, "20261211-000000.csv"),
            (std::vector<std::string>{"20261211-000000-2.csv", "20261211-000000-3.csv"}));
  names.resize(20);
  EXPECT_TRUE(GenerationsToRemove(GenerationsUpTo(names, "20261211-000000"), "").empty());
}

// A new generation is the newest of its second, even when older ones of
// that second were removed.
TEST(GenerationNames, TheNextNumberIsPastTheHighestOfThatSecond) {
  EXPECT_EQ(NextGenerationNumber({}, "20261211-132103"), 1u);
  EXPECT_EQ(
      NextGenerationNumber({"20261211-132102-5.csv", "20261211-132104.csv"}, "20261211-132103"),
      1u);
  EXPECT_EQ(NextGenerationNumber({"20261211-132103-7.csv", "20261211-132103-12.csv", "x.csv"},
                                 "20261211-132103"),
            13u);
  EXPECT_EQ(NextGenerationNumber({"20261211-132103.csv"}, "20261211-132103"), 2u);
}

}  // namespace
}  // namespace kestrel
