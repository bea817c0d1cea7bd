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
      // Long names cut short, and short flags bundled.
      {{"--reg", "r.reg", "--lo=l", "hh"}, "r.reg", "", "l", "hh"},
      {{"--data-fold=/d", "--he", "hh"}, "", "/d", "", "hh", true},
      {{"-hV", "hh"}, "", "", "", "hh", true, true},
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
  EXPECT_EQ(error, "--timings takes no value (see kestrel-sync --help)");
  EXPECT_EQ(TimingsText(0.4124, 1.5, 0.0),
            "kestrel-sync: load 0.412 s, conduit 1.500 s, save 0.000 s\n");
}

TEST(SyncArguments, RefusesWithOneLine) {
  const std::vector<std::pair<Args, std::string>> cases = {
      {{}, "no handheld folder given (see kestrel-sync --help)"},
      {{"--log", "x"}, "no handheld folder given (see kestrel-sync --help)"},
      {{"a", "b"}, "more than one handheld folder given: a, b"},
      {{"--verbose", "hh"}, "unknown option --verbose (see kestrel-sync --help)"},
      {{"hh", "--log"}, "--log needs a file (see kestrel-sync --help)"},
      {{"hh", "--registry="}, "--registry needs a file (see kestrel-sync --help)"},
      {{"hh", "--data-folder", ""}, "--data-folder needs a folder (see kestrel-sync --help)"},
      {{"hh", "--log", "a", "--log", "b"}, "--log given twice"},
      {{"hh", "--help=yes"}, "--help takes no value (see kestrel-sync --help)"},
      {{"hh", "--registry", "r", "--data-folder", "d"},
       "--registry and --data-folder cannot be used together"},
      {{"hh", "--data-folder", std::string(255, 'd')},
       "--data-folder is longer than 254 characters"},
      {{"hh", "--charset"}, "--charset needs a character set (see kestrel-sync --help)"},
      {{"hh", "--charset=UTF-8", "--charset=UTF-8"}, "--charset given twice"},
      {{"hh", "--dry-rn"}, "unknown option --dry-rn; did you mean --dry-run?"},
      {{"hh", "--d"},
       "option --d is ambiguous: it may be --data-folder or --dry-run; type more of its name"},
      {{"hh", "-nx"}, "unknown option -x (see kestrel-sync --help)"},
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
  SyncOptions withConfig;  // the settings file names a data folder
  withConfig.configDataFolder = "/conf";
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
      {plain,
       {{"XDG_CONFIG_HOME", "relative"}, {"HOME", "/home/u"}},
       "/home/u/.config/kestrelplan/registry.reg",
       false},
      {withConfig, all, "/env.reg", true},
      {withConfig, {{"XDG_CONFIG_HOME", "/xdg"}}, std::nullopt, false},
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
      EXPECT_EQ(source->namedBy, *c.path == "/env.reg" ? "$KESTRELPLAN_REGISTRY" : "");
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
  const OptionSet exe{
      .registry = false, .dryRun = false, .charset = false, .list = false, .config = false};
  for (const char* option :
       {"--registry", "--data-folder", "--dry-run", "-n", "--charset", "--handheld-charset",
        "--list", "--no-config", "--show-config"}) {
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

// The settings file under the command line, and what --show-config says.
TEST(SyncSettings, TheCommandLineWinsAndEachSettingNamesItsSource) {
  Settings file;
  std::string error;
  ASSERT_TRUE(ParseSettings("charset = UTF-8\nhandheld-charset = CP1250\n"
                            "data-folder = /conf\nlog = /logs/sync.log\n",
                            "/c/k.conf", &file, &error))
      << error;
  SyncOptions o;
  ASSERT_TRUE(ParseSyncArguments({"--charset", "ISO-8859-1", "hh"}, &o, &error)) << error;
  ASSERT_TRUE(ApplySettings(file, &o, &error)) << error;
  EXPECT_EQ(o.charset, "ISO-8859-1");
  EXPECT_EQ(o.handheldCharset, "CP1250");
  EXPECT_EQ(o.logFile, "/logs/sync.log");
  EXPECT_EQ(o.configDataFolder, "/conf");
  EXPECT_FALSE(o.dataFolder);
  RegistryHive hive;
  const DataFolderSetting setting =
      SettingFromOption(*o.configDataFolder, &hive, o.configDataFolderSource);
  EXPECT_EQ(ShowConfigText(o, setting),
            "charset = ISO-8859-1 (from --charset)\n"
            "handheld-charset = CP1250 (from handheld-charset in /c/k.conf:2)\n"
            "data-folder = /conf (from data-folder in /c/k.conf:3)\n"
            "log = /logs/sync.log (from log in /c/k.conf:4)\n"
            "settings file: /c/k.conf\n");

  // "none" turns the file's character sets off for one run.
  ASSERT_TRUE(ParseSyncArguments({"--charset=none", "--log=-", "hh"}, &o, &error)) << error;
  ASSERT_TRUE(ApplySettings(file, &o, &error)) << error;
  EXPECT_FALSE(o.charset);
  EXPECT_FALSE(o.handheldCharset);
  EXPECT_FALSE(o.LogToFile());
  EXPECT_EQ(ShowConfigText(o, SettingFromOption("/d", &hive)),
            "charset = none (from --charset; every byte is kept)\n"
            "data-folder = /d (from --data-folder)\n"
            "log = - (from --log)\n"
            "settings file: /c/k.conf\n");

  ASSERT_TRUE(ParseSyncArguments({"--no-config", "--show-config"}, &o, &error)) << error;
  ASSERT_TRUE(ApplySettings(Settings{}, &o, &error)) << error;
  DataFolderSetting none;
  none.problem = "no data folder is configured";
  EXPECT_EQ(ShowConfigText(o, none),
            "charset = none (the default; every byte is kept)\n"
            "data-folder = none (no data folder is configured)\n"
            "log = - (the default: standard output)\n"
            "settings file: none read (--no-config)\n");
}

TEST(SyncSettings, RefusesAHandheldSetWithoutADesktopOneAndATooLongFolder) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"", {"--handheld-charset", "CP1252", "hh"}},
      {"handheld-charset = CP1252\n", {"hh"}},
      {"data-folder = /" + std::string(254, 'd') + "\n", {"hh"}},
  };
  const std::vector<std::string> messages = {
      "--handheld-charset needs --charset",
      "k.conf:1: handheld-charset needs charset; add a charset line, or give --charset",
      "k.conf:1: data-folder is longer than 254 characters, the most the conduit reads",
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    Settings file;
    std::string error;
    ASSERT_TRUE(ParseSettings(cases[i].first, "k.conf", &file, &error)) << error;
    SyncOptions o;
    ASSERT_TRUE(ParseSyncArguments(cases[i].second, &o, &error)) << error;
    EXPECT_FALSE(ApplySettings(file, &o, &error));
    EXPECT_EQ(error, messages[i]);
  }
}

TEST(SyncOutput, LogFileHeaderLine) {
  std::tm utc{};
  utc.tm_year = 2026 - 1900;
  utc.tm_mon = 11;
  utc.tm_mday = 1;
  utc.tm_hour = 9;
  utc.tm_min = 5;
  utc.tm_sec = 7;
  EXPECT_EQ(LogHeaderLine(utc, "/media/palm\nbackup"),
            "# kestrel-sync 1.01 2026-12-01T09:05:07Z /media/palm\\nbackup\n");
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
