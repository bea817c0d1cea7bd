// SPDX-License-Identifier: MIT
// The settings file: where it is looked for, each key, and every line that
// is refused, with its message.
#include "tools/common/settings_file.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#ifndef _WIN32
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#endif

namespace kestrel::cli {
namespace {

EnvLookup Env(const std::map<std::string, std::string>& vars) {
  return [vars](const char* name) -> const char* {
    const auto it = vars.find(name);
    return it == vars.end() ? nullptr : it->second.c_str();
  };
}

TEST(ConfigFilePath, AnAbsoluteXdgConfigHomeElseHomeConfig) {
  const std::vector<std::pair<std::map<std::string, std::string>, std::string>> cases = {
      {{{"XDG_CONFIG_HOME", "/xdg"}, {"HOME", "/home/u"}}, "/xdg/kestrelplan/kestrel-sync.conf"},
      {{{"XDG_CONFIG_HOME", "rel/xdg"}, {"HOME", "/home/u"}},
       "/home/u/.config/kestrelplan/kestrel-sync.conf"},
      {{{"XDG_CONFIG_HOME", ""}, {"HOME", "/home/u"}},
       "/home/u/.config/kestrelplan/kestrel-sync.conf"},
      {{{"HOME", "/home/u"}}, "/home/u/.config/kestrelplan/kestrel-sync.conf"},
      {{{"XDG_CONFIG_HOME", "rel"}}, ""},
      {{{"HOME", ""}}, ""},
  };
  for (const auto& [vars, path] : cases) {
    EXPECT_EQ(ConfigFilePath(Env(vars), kSettingsFileName).value_or(""), path) << path;
  }
}

TEST(ParseSettings, EachKeyLiterallyWithCommentsAndBlankLines) {
  Settings settings;
  std::string error;
  ASSERT_TRUE(ParseSettings("# my settings\n"
                            "\n"
                            "charset = UTF-8\r\n"
                            "  handheld-charset=CP1250  \n"
                            "\tdata-folder =  /home/u/Kestrel Data # not a comment\n"
                            "log = -",
                            "k.conf", &settings, &error))
      << error;
  ASSERT_EQ(settings.values.size(), 4u);
  EXPECT_EQ(settings.Find("charset")->value, "UTF-8");
  EXPECT_EQ(settings.Find("handheld-charset")->value, "CP1250");
  EXPECT_EQ(settings.Find("data-folder")->value, "/home/u/Kestrel Data # not a comment");
  EXPECT_EQ(settings.Find("data-folder")->line, 5);
  EXPECT_EQ(settings.Find("log")->value, "-");
  EXPECT_EQ(settings.Source("log"), "log in k.conf:6");
  EXPECT_EQ(settings.Find("color"), nullptr);
}

TEST(ParseSettings, RefusesNamingTheFileAndLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"charset UTF-8\n", "k.conf:1: not a setting; write KEY = VALUE, or start a comment with #"},
      {"\n= x\n", "k.conf:2: no key before =; write KEY = VALUE"},
      {"charest = UTF-8\n", "k.conf:1: unknown key charest; did you mean charset?"},
      {"color = red\n",
       "k.conf:1: unknown key color; the keys are charset, handheld-charset, data-folder, log"},
      {"log = /a\nlog = /b\n", "k.conf:2: log given twice (first on line 1); keep one"},
      {"charset =\n", "k.conf:1: charset has no value; write charset = VALUE, or remove the line"},
      {"data-folder = data\n",
       "k.conf:1: data-folder data is a relative path; write the whole path from /"},
      {"log = ~/sync.log\n",
       "k.conf:1: log ~/sync.log: ~ is not expanded here; write the whole path from /"},
      {"data-folder = -\n", "k.conf:1: data-folder - is a relative path; write the whole path from /"},
  };
  for (const auto& [text, message] : cases) {
    Settings settings;
    settings.path = "untouched";
    std::string error;
    EXPECT_FALSE(ParseSettings(text, "k.conf", &settings, &error)) << message;
    EXPECT_EQ(error, message);
    EXPECT_EQ(settings.path, "untouched");
  }
}

#ifndef _WIN32
TEST(LoadSettings, ReadsOnlyARegularFileAndNoneIsNoSettings) {
  std::string pattern = (std::filesystem::temp_directory_path() / "settings-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const std::filesystem::path dir = pattern;
  const auto env = Env({{"XDG_CONFIG_HOME", dir.string()}});
  Settings settings;
  std::string error;
  EXPECT_TRUE(LoadSettings(env, &settings, &error)) << error;
  EXPECT_EQ(settings.path, "");

  std::filesystem::create_directory(dir / "kestrelplan");
  const std::string file = (dir / "kestrelplan" / "kestrel-sync.conf").string();
  std::ofstream(file) << "charset = UTF-8\n";
  ASSERT_TRUE(LoadSettings(env, &settings, &error)) << error;
  EXPECT_EQ(settings.path, file);
  EXPECT_EQ(settings.Find("charset")->value, "UTF-8");

  std::filesystem::remove(file);
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  EXPECT_FALSE(LoadSettings(env, &settings, &error));
  EXPECT_EQ(error, file + ": not a regular file");

  std::filesystem::remove(file);
  std::ofstream(file) << std::string(kMaxSettingsFileBytes + 1, '#');
  EXPECT_FALSE(LoadSettings(env, &settings, &error));
  EXPECT_EQ(error, file + ": too large: 65537 bytes, at most 65536 are read");
  std::filesystem::remove_all(dir);
}
#endif

}  // namespace
}  // namespace kestrel::cli
