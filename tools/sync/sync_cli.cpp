// SPDX-License-Identifier: MIT
#include "tools/sync/sync_cli.h"

#include <cinttypes>
#include <cstdio>

#include "driver/data_folder.h"
#include "product_version.h"
#include "tools/common/message_escape.h"

namespace kestrel::cli {
namespace {

// Days from 1970-01-01 to a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool IsWindowsPath(const std::string& folder) {
  const bool letter = folder.size() >= 2 && ((folder[0] >= 'A' && folder[0] <= 'Z') ||
                                             (folder[0] >= 'a' && folder[0] <= 'z'));
  return letter && folder[1] == ':';
}

}  // namespace

std::string VersionText(std::string_view conduitName) {
  return std::string(kProgramName) + " " + kProductVersion + " (" + std::string(conduitName) +
         " conduit)\n" + kCopyrightNotice;
}

std::string FormatLogLine(std::int32_t activity, std::string_view text) {
  std::string line = std::to_string(activity);
  line += '\t';
  line += text;
  line += '\n';
  return line;
}

std::string TimingsText(double loadSeconds, double conduitSeconds, double saveSeconds) {
  char text[128];
  std::snprintf(text, sizeof text, "%s: load %.3f s, conduit %.3f s, save %.3f s\n", kProgramName,
                loadSeconds, conduitSeconds, saveSeconds);
  return text;
}

std::string StatusText(Status status) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%04" PRIX32, static_cast<std::uint32_t>(status));
  return "conduit status " + std::to_string(status) + " (" + hex + ")";
}

std::string Message(std::string_view text) {
  return std::string(kProgramName) + ": " + EscapeForMessage(text) + "\n";
}

double SecondsSince(TimingClock::time_point start) {
  return std::chrono::duration<double>(TimingClock::now() - start).count();
}

std::optional<RegistrySource> FindRegistryFile(const SyncOptions& options, const EnvLookup& env) {
  if (options.dataFolder) return std::nullopt;
  if (options.registryFile) return RegistrySource{*options.registryFile, true, ""};
  const char* named = env("KESTRELPLAN_REGISTRY");
  if (named != nullptr && *named != '\0') {
    return RegistrySource{named, true, "$KESTRELPLAN_REGISTRY"};
  }
  if (options.configDataFolder) return std::nullopt;
  if (auto path = ConfigFilePath(env, "registry.reg")) return RegistrySource{*path, false, ""};
  return std::nullopt;
}

std::string LogHeaderLine(const std::tm& utc, std::string_view handheldDir) {
  char when[80];
  std::snprintf(when, sizeof when, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return std::string("# ") + kProgramName + " " + kProductVersion + " " + when + " " +
         EscapeForMessage(handheldDir) + "\n";
}

std::string DataFolderKeyPath() { return std::string("HKEY_LOCAL_MACHINE\\") + kDataFolderKey; }

std::string Wow64DataFolderKeyPath() {
  const std::string key = kDataFolderKey;  // "SOFTWARE\..."
  const std::size_t slash = key.find('\\');
  return "HKEY_LOCAL_MACHINE\\" + key.substr(0, slash) + "\\WOW6432Node" + key.substr(slash);
}

DataFolderSetting SettingFromHive(RegistryHive* hive, const std::string& path,
                                  std::string_view namedBy) {
  DataFolderSetting setting;
  setting.source = "the registry file " + path;
  if (!namedBy.empty()) setting.source += ", named by " + std::string(namedBy);
  setting.registryFile = path;
  const std::string plain = DataFolderKeyPath();
  const std::string wow64 = Wow64DataFolderKeyPath();
  std::string key = plain;
  if (!hive->HasKey(plain) && hive->HasKey(wow64)) {
    key = wow64;
    setting.source += ", under WOW6432Node";
  }
  const std::string value = std::string("\"") + kDataFolderValue + "\"";
  if (!hive->HasKey(key)) {
    setting.problem = path + ": no key " + plain + " (nor under WOW6432Node)";
    return setting;
  }
  const std::string* data = hive->Find(key, kDataFolderValue);
  if (data == nullptr) {
    setting.problem = path + ": the key " + key + " has no string value " + value;
    return setting;
  }
  if (key != plain) hive->Set(plain, kDataFolderValue, *data);
  setting.folder = *data;
  if (data->empty()) {
    setting.problem = path + ": the value " + value + " is empty";
  } else if (data->size() >= kDataFolderArea) {
    setting.problem = path + ": the value " + value + " is " + std::to_string(data->size()) +
                      " characters long; the conduit reads at most " +
                      std::to_string(kDataFolderArea - 1);
  } else if (IsWindowsPath(*data)) {
    setting.problem = path + ": the data folder " + *data +
                      " is a Windows path (a drive letter); name a folder of this system";
  }
  return setting;
}

DataFolderSetting SettingFromOption(const std::string& folder, RegistryHive* hive,
                                    std::string source) {
  hive->Set(DataFolderKeyPath(), kDataFolderValue, folder);
  DataFolderSetting setting;
  setting.folder = folder;
  setting.source = std::move(source);
  return setting;
}

std::uint32_t PalmClock(const std::tm& local) {
  const std::int64_t days =
      DaysFromCivil(std::int64_t(local.tm_year) + 1900, static_cast<unsigned>(local.tm_mon + 1),
                    static_cast<unsigned>(local.tm_mday)) -
      DaysFromCivil(1904, 1, 1);
  const std::int64_t seconds =
      days * 86400 + std::int64_t(local.tm_hour) * 3600 + local.tm_min * 60 + local.tm_sec;
  if (seconds < 0) return 0;
  if (seconds > 0xFFFFFFFFll) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(seconds);
}

}  // namespace kestrel::cli
