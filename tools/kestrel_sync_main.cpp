// kestrel-sync on POSIX: one synchronisation of a handheld kept as a folder
// of Palm database files, with the conduit linked in and the host's eight
// operations answered by sim::Handheld.
#include <cstdlib>
#include <ctime>
#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/conduit.h"
#include "platform/registry.h"
#include "sim/handheld.h"
#include "driver/file_names.h"
#include "sim/handheld_folder.h"
#include "sim/handheld_folder_save.h"
#include "tools/sync_cli.h"

namespace {

using namespace kestrel::cli;

int Refuse(const std::string& message) {
  std::cerr << kProgramName << ": " << message << '\n';
  return kExitError;
}

std::uint32_t ClockNow() {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  return local != nullptr ? PalmClock(*local) : 0;
}

// Clears the registry selection when the run ends, however it ends.
struct RegistrySelection {
  explicit RegistrySelection(std::optional<kestrel::RegistryHive> hive) {
    kestrel::SelectRegistry(std::move(hive));
  }
  ~RegistrySelection() { kestrel::SelectRegistry(std::nullopt); }
  RegistrySelection(const RegistrySelection&) = delete;
  RegistrySelection& operator=(const RegistrySelection&) = delete;
};

int Run(const std::vector<std::string>& args) {
  SyncOptions options;
  std::string error;
  if (!ParseSyncArguments(args, &options, &error)) return Refuse(error);
  if (options.help) {
    std::cout << UsageText();
    return kExitOk;
  }
  if (options.version) {
    char name[64];
    GetConduitName(name, sizeof name);
    std::cout << VersionText(name, GetConduitVersion());
    return kExitOk;
  }

  std::optional<kestrel::RegistryHive> hive;
  const EnvLookup env = [](const char* name) { return std::getenv(name); };
  if (!LoadRunRegistry(options, env, &hive, &error)) return Refuse(error);

  // Every file is checked now, but a database's records are read only while
  // it is open, so memory holds one database at a time, not the whole folder.
  const TimingClock::time_point loadStart = TimingClock::now();
  sim::Handheld handheld;
  const auto lateErrors = std::make_shared<std::vector<std::string>>();
  if (!sim::LoadHandheldFolder(options.handheldDir, handheld, &error, lateErrors)) {
    return Refuse(error);
  }
  const double loadSeconds = SecondsSince(loadStart);
  handheld.clock = ClockNow();

  std::ofstream logFile;
  if (options.logFile) {
    logFile.open(*options.logFile, std::ios::binary | std::ios::app);
    if (!logFile) return Refuse(*options.logFile + ": cannot open the log");
  }

  Status status;
  const TimingClock::time_point conduitStart = TimingClock::now();
  {
    RegistrySelection registry(std::move(hive));
    sim::AttachScope attached(handheld);
    status = OpenConduit(nullptr, nullptr);
  }
  const double conduitSeconds = SecondsSince(conduitStart);

  std::ostream& log = options.logFile ? static_cast<std::ostream&>(logFile) : std::cout;
  const bool logWritten = WriteSyncLog(log, handheld.log.size(), [&handheld](std::size_t i) {
    return SyncLogEntry{handheld.log[i].activity, handheld.log[i].text};
  });

  // A file that changed under the sync: report it and leave the folder as it is.
  if (!lateErrors->empty()) {
    for (const auto& message : *lateErrors) Refuse(message);
    return kExitError;
  }

  const TimingClock::time_point saveStart = TimingClock::now();
  std::optional<std::string> saveError;
  if (!sim::SaveHandheldFolder(options.handheldDir, handheld, kestrel::BackupStem, &error)) saveError = error;
  if (options.timings)
    std::cerr << TimingsText(loadSeconds, conduitSeconds, SecondsSince(saveStart));
  return FinishRun(options, {status, logWritten, saveError}, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    return Refuse(e.what());
  }
}
