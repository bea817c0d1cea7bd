// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "host/select_registry.h"
#include "platform/registry.h"

namespace kestrel {
namespace {

constexpr const char* kKeyPath = "SOFTWARE\\Norvane\\Kestrelplan\\1.00";
constexpr const char* kValueName = "Kestrelplan Path";
constexpr char kUnwritten = '\x5A';

class MachineRegistry : public ::testing::Test {
 protected:
  void SetUp() override { area_.fill(kUnwritten); }
  void TearDown() override { SelectRegistry(std::nullopt); }

  void SelectFile(const std::string& text) {
    RegistryParseError error;
    std::optional<RegistryHive> hive = ParseRegistryFile(text, &error);
    ASSERT_TRUE(hive.has_value()) << error.line << ": " << error.message;
    SelectRegistry(std::move(hive));
  }

  // The conduit's 255-byte area, one byte of guard after it.
  std::array<char, 256> area_;
  std::uint32_t size_ = 255;

  bool AreaUntouched() const {
    for (char c : area_) {
      if (c != kUnwritten) return false;
    }
    return true;
  }
};

TEST_F(MachineRegistry, ReadsTheValueWithItsNul) {
  SelectFile(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00]\r\n"
      "\"Kestrelplan Path\"=\"D:\\\\Tasks\"\r\n");
  ASSERT_EQ(QueryMachineValue(kKeyPath, kValueName, area_.data(), &size_), 0);
  EXPECT_EQ(size_, 9u);
  EXPECT_EQ(std::string(area_.data(), 9), std::string("D:\\Tasks\0", 9));
  EXPECT_EQ(area_[9], kUnwritten);
}

TEST_F(MachineRegistry, FindsTheKeyIgnoringCaseAndUnderTheAbbreviatedRoot) {
  SelectFile(
      "REGEDIT4\n[hklm\\software\\NORVANE\\kestrelplan\\1.00]\n\"KESTRELPLAN path\"=\"x\"\n");
  ASSERT_EQ(QueryMachineValue(kKeyPath, kValueName, area_.data(), &size_), 0);
  EXPECT_EQ(size_, 2u);
  EXPECT_EQ(std::string(area_.data(), 2), std::string("x\0", 2));
}

TEST_F(MachineRegistry, MissingHiveKeyValueOrStringAllFailWithoutWriting) {
  const std::string cases[] = {
      "REGEDIT4\n",
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan]\n\"Kestrelplan "
      "Path\"=\"x\"\n",
      "REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\Norvane\\Kestrelplan\\1.00]\n"
      "\"Kestrelplan Path\"=\"x\"\n",
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00]\n\"Path\"=\"x\"\n",
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00]\n"
      "\"Kestrelplan Path\"=hex(2):41,00,00,00\n",
  };
  ASSERT_EQ(QueryMachineValue(kKeyPath, kValueName, area_.data(), &size_), 1) << "no hive";
  for (const std::string& text : cases) {
    SelectFile(text);
    EXPECT_EQ(QueryMachineValue(kKeyPath, kValueName, area_.data(), &size_), 1) << text;
    EXPECT_EQ(size_, 255u) << text;
    EXPECT_TRUE(AreaUntouched()) << text;
  }
  SelectRegistry(std::nullopt);
  EXPECT_EQ(QueryMachineValue(kKeyPath, kValueName, area_.data(), &size_), 1);
}

TEST_F(MachineRegistry, DataAndNulMustFitTheArea) {
  struct Case {
    std::size_t length;  // characters of the folder
    std::uint32_t area;  // size of the area
    bool fits;
  };
  const Case cases[] = {
      {254, 255, true}, {255, 255, false}, {0, 1, true},    {1, 1, false},
      {0, 0, false},    {10, 11, true},    {10, 10, false},
  };
  for (const Case& c : cases) {
    area_.fill(kUnwritten);
    const std::string folder(c.length, 'f');
    SelectFile(
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00]\n"
        "\"Kestrelplan Path\"=\"" +
        folder + "\"\n");
    std::uint32_t size = c.area;
    const Status status = QueryMachineValue(kKeyPath, kValueName, area_.data(), &size);
    if (c.fits) {
      EXPECT_EQ(status, 0) << c.length << " in " << c.area;
      EXPECT_EQ(size, c.length + 1) << c.length << " in " << c.area;
      EXPECT_EQ(std::string(area_.data(), c.length), folder);
      EXPECT_EQ(area_[c.length], '\0');
      EXPECT_EQ(area_[c.length + 1], kUnwritten);
    } else {
      EXPECT_EQ(status, 1) << c.length << " in " << c.area;
      EXPECT_EQ(size, c.area);
      EXPECT_TRUE(AreaUntouched()) << c.length << " in " << c.area;
    }
  }
}

}  // namespace
}  // namespace kestrel
