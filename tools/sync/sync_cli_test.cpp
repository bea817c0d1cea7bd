// SPDX-License-Identifier: MIT
#include "tools/sync/sync_cli.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tools/common/message_escape.h"

namespace kestrel::cli {
namespace {

using Args = std::vector<std::string>;

TEST(SyncArguments, AcceptsEveryFormOfTheOptions) {
  struct Case {
    Args args;
    std::string registry, dataFolder, log, dir;
    bool help = false, version = false;
  };
  const std::vector<Case> cases = {
      {{"hh"}, "", "", "", "hh"},
      {{"--registry", "r.reg", "--log", "sync.log", "hh"}, "r.reg", "", "sync.log", "hh"},
      {{"hh", "--registry=r.reg", "--log=a=b"}, "r.reg", "", "a=b", "hh"},
      {{"--data-folder", "/data", "hh"}, "", "/data", "", "hh"},
      {{"--", "--log"}, "", "", "", "--log"},
      {{"-"}, "", "", "", "-"},
      {{"--help"}, "", "", "", "", true},
      {{"--version", "--log", "x"}, "", "", "x", "", false, true},
  };
  for (const auto& c : cases) {
    SyncOptions o;
    std::string error;
    ASSERT_TRUE(ParseSyncArguments(c.args, &o, &error)) << c.args[0] << ": " << error;
    EXPECT_EQ(o.registryFile.value_or(""), c.registry);
    EXPECT_EQ(o.dataFolder.value_or(""), c.dataFolder);
    EXPECT_EQ(o.logFile.value_or(""), c.log);
    EXPECT_EQ(o.handheldDir, c.dir);
    EXPECT_EQ(o.help, c.help);
    EXPECT_EQ(o.version, c.version);
  }
}

TEST(SyncArguments, TimingsAreAFlag) {
  SyncOptions o;
  std::string error;
  ASSERT_TRUE(ParseSyncArguments({"hh", "--timings"}, &o, &error)) << error;
  EXPECT_TRUE(o.timings);
  ASSERT_TRUE(ParseSyncArguments({"hh"}, &o, &error)) << error;
  EXPECT_FALSE(o.timings);
  EXPECT_FALSE(ParseSyncArguments({"hh", "--timings=1"}, &o, &error));
  EXPECT_EQ(error, "--timings takes no value");
  EXPECT_EQ(TimingsText(0.4124, 1.5, 0.0),
            "kestrel-sync: load 0.412 s, conduit 1.500 s, save 0.000 s\n");
}

TEST(SyncArguments, RefusesWithOneLine) {
  const std::vector<std::pair<Args, std::string>> cases = {
      {{}, "no handheld folder given (see kestrel-sync --help)"},
      {{"--log", "x"}, "no handheld folder given (see kestrel-sync --help)"},
      {{"a", "b"}, "more than one handheld folder given: a, b"},
      {{"--verbose", "hh"}, "unknown option --verbose (see kestrel-sync --help)"},
      {{"hh", "--log"}, "--log needs a file"},
      {{"hh", "--registry="}, "--registry needs a file"},
      {{"hh", "--data-folder", ""}, "--data-folder needs a folder"},
      {{"hh", "--log", "a", "--log", "b"}, "--log given twice"},
      {{"hh", "--help=yes"}, "--help takes no value"},
      {{"hh", "--registry", "r", "--data-folder", "d"},
       "--registry and --data-folder cannot be used together"},
      {{"hh", "--data-folder", std::string(255, 'd')},
       "--data-folder is longer than 254 characters"},
      {{"hh", "--charset"}, "--charset needs a character set"},
      {{"hh", "--charset=UTF-8", "--charset=UTF-8"}, "--charset given twice"},
      {{"hh", "--handheld-charset", "CP1252"}, "--handheld-charset needs --charset"},
  };
  for (const auto& [args, message] : cases) {
    SyncOptions o;
    std::string error;
    EXPECT_FALSE(ParseSyncArguments(args, &o, &error)) << message;
    EXPECT_EQ(error, message);
  }
  SyncOptions o;
  std::string error;
  EXPECT_TRUE(ParseSyncArguments({"hh", "--data-folder", std::string(254, 'd')}, &o, &error));
}

TEST(SyncRegistry, LooksForTheFileInOrder) {
  struct Case {
    SyncOptions options;
    std::map<std::string, std::string> env;
    std::optional<std::string> path;
    bool required;
  };
  SyncOptions plain;
  SyncOptions withFile;
  withFile.registryFile = "given.reg";
  SyncOptions withFolder;
  withFolder.dataFolder = "/data";
  const std::map<std::string, std::string> all = {
      {"KESTRELPLAN_REGISTRY", "/env.reg"}, {"XDG_CONFIG_HOME", "/xdg"}, {"HOME", "/home/u"}};
  const std::vector<Case> cases = {
      {withFile, all, "given.reg", true},
      {withFolder, all, std::nullopt, false},
      {plain, all, "/env.reg", true},
      {plain,
       {{"KESTRELPLAN_REGISTRY", ""}, {"XDG_CONFIG_HOME", "/xdg"}},
       "/xdg/kestrelplan/registry.reg",
       false},
      {plain,
       {{"XDG_CONFIG_HOME", ""}, {"HOME", "/home/u"}},
       "/home/u/.config/kestrelplan/registry.reg",
       false},
      {plain, {}, std::nullopt, false},
  };
  for (const auto& c : cases) {
    const EnvLookup env = [&c](const char* name) -> const char* {
      auto it = c.env.find(name);
      return it == c.env.end() ? nullptr : it->second.c_str();
    };
    const auto source = FindRegistryFile(c.options, env);
    ASSERT_EQ(source.has_value(), c.path.has_value()) << c.path.value_or("none");
    if (source) {
      EXPECT_EQ(source->path, *c.path);
      EXPECT_EQ(source->required, c.required) << *c.path;
    }
  }
}

TEST(SyncRegistry, DataFolderOptionStandsInForTheRegistry) {
  RegistryHive hive;
  const DataFolderSetting setting = SettingFromOption("/srv/tasks", &hive);
  EXPECT_EQ(setting.folder.value_or(""), "/srv/tasks");
  EXPECT_EQ(setting.source, "--data-folder");
  EXPECT_FALSE(setting.problem);
  const std::string* value =
      hive.Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00", "Kestrelplan Path");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(*value, "/srv/tasks");
}

// What a registry file configures, and each way it can fail to, in one line
// naming the file.
TEST(SyncRegistry, SettingFromARegistryFile) {
  const std::string plain = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00]\n";
  const std::string wow =
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Norvane\\Kestrelplan\\1.00]\n";
  const std::string noValue =
      "r.reg: the key HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00 has no string "
      "value \"Kestrelplan Path\"";
  struct Case {
    std::string body;
    std::string folder;  // what the conduit then reads; "" for nothing
    std::string problem;
  };
  const std::vector<Case> cases = {
      {plain + "\"Kestrelplan Path\"=\"/data\"\n", "/data", ""},
      {wow + "\"Kestrelplan Path\"=\"/wow\"\n", "/wow", ""},
      {plain + "\"Kestrelplan Path\"=\"/plain\"\n" + wow + "\"Kestrelplan Path\"=\"/wow\"\n",
       "/plain", ""},
      // The plain key is there without the value: WOW6432Node is not read.
      {plain + wow + "\"Kestrelplan Path\"=\"/wow\"\n", "", noValue},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelpaln\\1.00]\n\"Kestrelplan Path\"=\"/x\"\n",
       "",
       "r.reg: no key HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00 (nor under "
       "WOW6432Node)"},
      {plain + "\"Kestrelplan Pth\"=\"/x\"\n", "", noValue},
      {plain + "\"Kestrelplan Path\"=dword:00000001\n", "", noValue},
      {plain + "\"Kestrelplan Path\"=\"\"\n", "", "r.reg: the value \"Kestrelplan Path\" is empty"},
      {plain + "\"Kestrelplan Path\"=\"" + std::string(255, 'd') + "\"\n", std::string(255, 'd'),
       "r.reg: the value \"Kestrelplan Path\" is 255 characters long; the conduit reads at most "
       "254"},
      {plain + "\"Kestrelplan Path\"=\"D:\\\\Tasks\"\n", "D:\\Tasks",
       "r.reg: the data folder D:\\Tasks is a Windows path (a drive letter); name a folder of "
       "this system"},
  };
  for (const auto& c : cases) {
    RegistryParseError parseError;
    auto hive = ParseRegistryFile("REGEDIT4\n" + c.body, &parseError);
    ASSERT_TRUE(hive) << c.body << parseError.message;
    const DataFolderSetting setting = SettingFromHive(&*hive, "r.reg");
    EXPECT_EQ(setting.problem.value_or(""), c.problem) << c.body;
    EXPECT_EQ(setting.registryFile, "r.reg");
    const std::string* read = hive->Find(DataFolderKeyPath(), "Kestrelplan Path");
    EXPECT_EQ(read != nullptr ? *read : "", c.folder) << c.body;
  }
}

TEST(SyncOutput, LinesAndMessages) {
  EXPECT_EQ(FormatLogLine(19, ""), "19\t\n");
  EXPECT_EQ(FormatLogLine(-1, "\tImport.csv transferred to Kestrelplan"),
            "-1\t\tImport.csv transferred to Kestrelplan\n");
  EXPECT_EQ(StatusText(1), "conduit status 1 (0x0001)");
  EXPECT_EQ(StatusText(0x4009), "conduit status 16393 (0x4009)");
  EXPECT_EQ(StatusText(-2), "conduit status -2 (0xFFFFFFFE)");
  EXPECT_EQ(VersionText("Kestrelplan"),
            "kestrel-sync 1.01 (Kestrelplan conduit)\n"
            "Copyright (c) 2026 The Kestrelplan conduit authors\n"
            "License MIT: <https://opensource.org/licenses/MIT>.\n"
            "This is free software: you are free to change and redistribute it.\n"
            "There is NO WARRANTY, to the extent permitted by law.\n");
  EXPECT_EQ(EscapeForMessage(std::string("a\nb\tc\rd\x1b[0m\x7f\x01\0e\xc3\xa9 \\", 19)),
            "a\\nb\\tc\\rd\\x1b[0m\\x7f\\x01\\x00e\xc3\xa9 \\");
  EXPECT_EQ(Message("/tmp/x\ny: no such folder"), "kestrel-sync: /tmp/x\\ny: no such folder\n");
}

TEST(SyncArguments, ShortNamesDryRunQuietAndWhatACommandOffers) {
  SyncOptions o;
  std::string error;
  ASSERT_TRUE(ParseSyncArguments({"-n", "-q", "--log", "-", "hh"}, &o, &error)) << error;
  EXPECT_TRUE(o.dryRun && o.quiet);
  EXPECT_FALSE(o.LogToFile());
  ASSERT_TRUE(ParseSyncArguments({"-h"}, &o, &error)) << error;
  EXPECT_TRUE(o.help);
  ASSERT_TRUE(ParseSyncArguments({"-V"}, &o, &error)) << error;
  EXPECT_TRUE(o.version);
  EXPECT_FALSE(ParseSyncArguments({"-x", "hh"}, &o, &error));
  EXPECT_EQ(error, "unknown option -x (see kestrel-sync --help)");

  ASSERT_TRUE(
      ParseSyncArguments({"--charset=UTF-8", "hh", "--handheld-charset", "CP1251"}, &o, &error))
      << error;
  EXPECT_EQ(o.charset, "UTF-8");
  EXPECT_EQ(o.handheldCharset, "CP1251");

  // A command without registry files, dry runs or character sets neither
  // accepts nor lists them.
  const OptionSet exe{.registry = false, .dryRun = false, .charset = false, .list = false};
  for (const char* option : {"--registry", "--data-folder", "--dry-run", "-n", "--charset",
                             "--handheld-charset", "--list"}) {
    EXPECT_FALSE(ParseSyncArguments({option, "x", "hh"}, &o, &error, exe)) << option;
    EXPECT_EQ(error, std::string("unknown option ") + option + " (see kestrel-sync --help)");
    const std::string listed = std::string("\n  ") + option;
    const std::string alias = std::string(", ") + option + " ";
    EXPECT_EQ(UsageText(exe).find(listed), std::string::npos) << option;
    EXPECT_EQ(UsageText(exe).find(alias), std::string::npos) << option;
    EXPECT_TRUE(UsageText().find(listed) != std::string::npos ||
                UsageText().find(alias) != std::string::npos)
        << option;
  }
}

TEST(SyncClock, CountsSecondsSince1904) {
  auto at = [](int year, int month, int day, int h, int m, int s) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = h;
    t.tm_min = m;
    t.tm_sec = s;
    return PalmClock(t);
  };
  EXPECT_EQ(at(1904, 1, 1, 0, 0, 0), 0u);
  EXPECT_EQ(at(1904, 3, 1, 0, 0, 1), 60u * 86400 + 1);  // 1904 is a leap year
  EXPECT_EQ(at(1970, 1, 1, 0, 0, 0), 2082844800u);
  EXPECT_EQ(at(2026, 3, 1, 9, 30, 0), 3855202200u);
  EXPECT_EQ(at(2040, 2, 6, 6, 28, 15), 0xFFFFFFFFu);
  EXPECT_EQ(at(2040, 2, 6, 6, 28, 16), 0xFFFFFFFFu);
  EXPECT_EQ(at(1903, 12, 31, 23, 59, 59), 0u);
}

}  // namespace
}  // namespace kestrel::cli
