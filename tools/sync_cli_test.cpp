#include "tools/sync_cli.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

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
  SyncOptions o;
  o.dataFolder = "/srv/tasks";
  std::optional<RegistryHive> hive;
  std::string error;
  ASSERT_TRUE(LoadRunRegistry(
      o, [](const char*) { return "/nonexistent.reg"; }, &hive, &error));
  ASSERT_TRUE(hive);
  const std::string* value =
      hive->Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00", "Kestrelplan Path");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(*value, "/srv/tasks");
}

TEST(SyncOutput, LinesAndMessages) {
  EXPECT_EQ(FormatLogLine(19, ""), "19\t\n");
  EXPECT_EQ(FormatLogLine(-1, "\tImport.csv transferred to Kestrelplan"),
            "-1\t\tImport.csv transferred to Kestrelplan\n");
  EXPECT_EQ(ConduitStatusMessage(1), "kestrel-sync: conduit status 1 (0x0001)");
  EXPECT_EQ(ConduitStatusMessage(0x4009), "kestrel-sync: conduit status 16393 (0x4009)");
  EXPECT_EQ(ConduitStatusMessage(-2), "kestrel-sync: conduit status -2 (0xFFFFFFFE)");
  EXPECT_EQ(ExitStatusForConduit(0), 0);
  EXPECT_EQ(ExitStatusForConduit(0x4003), 1);
  EXPECT_EQ(ExitStatusForConduit(-1), 1);
  EXPECT_EQ(VersionText("Kestrelplan", 0x101), "Kestrelplan 1.01\n");
  EXPECT_EQ(VersionText("Kestrelplan", 0x20A), "Kestrelplan 2.0A\n");
}

// A stream whose every write fails, as on a full disk.
class FullStream : public std::ostream {
 public:
  FullStream() : std::ostream(&refusing_) {}

 private:
  struct Refusing : std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
  } refusing_;
};

TEST(SyncLog, WritesEveryEntryAndSaysWhetherItReachedTheStream) {
  const std::vector<SyncLogEntry> entries = {
      {19, ""}, {-1, "\tImport.csv transferred to Kestrelplan"}, {20, "Kestrelplan"}};
  const auto entry = [&entries](std::size_t i) { return entries.at(i); };
  std::ostringstream out;
  EXPECT_TRUE(WriteSyncLog(out, entries.size(), entry));
  EXPECT_EQ(out.str(), "19\t\n-1\t\tImport.csv transferred to Kestrelplan\n20\tKestrelplan\n");

  std::ostringstream none;
  EXPECT_TRUE(WriteSyncLog(none, 0, entry));
  EXPECT_EQ(none.str(), "");

  FullStream full;
  EXPECT_FALSE(WriteSyncLog(full, entries.size(), entry));
}

TEST(SyncOutput, FinishRunReportsTheFirstFailureOrTheConduitStatus) {
  struct Case {
    const char* what;
    bool logToFile;  // --log sync.log
    Status conduitStatus;
    bool logWritten;
    const char* saveError;  // nullptr when the save succeeded
    int exitStatus;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"all well", false, StatusOk, true, nullptr, kExitOk, ""},
      {"conduit status", false, 0x4009, true, nullptr, kExitConduitStatus,
       "kestrel-sync: conduit status 16393 (0x4009)\n"},
      {"save failed", true, 0x4009, false, "hh/KestrelDB.pdb: cannot write", kExitError,
       "kestrel-sync: hh/KestrelDB.pdb: cannot write\n"},
      {"log to standard output lost", false, StatusOk, false, nullptr, kExitError,
       "kestrel-sync: standard output: cannot write the sync log\n"},
      {"log file lost", true, 1, false, nullptr, kExitError,
       "kestrel-sync: sync.log: cannot write the sync log\n"},
  };
  for (const auto& c : cases) {
    SyncOptions options;
    if (c.logToFile) options.logFile = "sync.log";
    RunEnd end;
    end.conduitStatus = c.conduitStatus;
    end.logWritten = c.logWritten;
    if (c.saveError != nullptr) end.saveError = c.saveError;
    std::ostringstream err;
    EXPECT_EQ(FinishRun(options, end, err), c.exitStatus) << c.what;
    EXPECT_EQ(err.str(), c.message) << c.what;
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
