// kestrel-sync.exe: one synchronisation of a handheld kept as a folder of
// Palm database files, with kstlcond.dll loaded and called as a host calls
// it. The handheld and the sync log live in the test host's SYNC20.dll and
// HSLOG20.dll beside this program, which the conduit imports by ordinal; the
// data folder is the Windows registry's value.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <exception>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "driver/conduit.h"
#include "tools/sync_cli.h"
#include "win32/fake_host/host_api.h"

namespace {

using namespace kestrel::cli;

constexpr char kConduitDll[] = "kstlcond.dll";
constexpr char kRegistryPlace[] =
    "the registry value \"Kestrelplan Path\" of "
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00";

int Refuse(const std::string& message) {
  std::cerr << kProgramName << ": " << message << '\n';
  return kExitError;
}

std::uint32_t ClockNow() {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  return local != nullptr ? PalmClock(*local) : 0;
}

// The folder this program was started from, with a trailing backslash.
std::string ProgramFolder() {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      const std::string full(path.data(), length);
      return full.substr(0, full.find_last_of("\\/") + 1);
    }
    path.resize(path.size() * 2);
  }
}

// The conduit, loaded for the life of the object, with its three entry
// points found by name as a host finds them.
class LoadedConduit {
 public:
  using OpenConduitFn = decltype(&OpenConduit);
  using GetConduitNameFn = decltype(&GetConduitName);
  using GetConduitVersionFn = decltype(&GetConduitVersion);

  LoadedConduit() = default;
  ~LoadedConduit() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  LoadedConduit(const LoadedConduit&) = delete;
  LoadedConduit& operator=(const LoadedConduit&) = delete;

  // Loads the DLL from `path` and finds the entry points; each must be the
  // same function by name and by its ordinal. Returns false with *error.
  bool Load(const std::string& path, std::string* error) {
    module_ = LoadLibraryA(path.c_str());
    if (module_ == nullptr) {
      *error = path + ": cannot load the conduit (error " + std::to_string(GetLastError()) + ")";
      return false;
    }
    return Find("GetConduitName", 1, &getName_, error) &&
           Find("GetConduitVersion", 2, &getVersion_, error) &&
           Find("OpenConduit", 3, &open_, error);
  }

  std::string Name() const {
    char name[64];
    getName_(name, sizeof name);
    return name;
  }
  std::uint32_t Version() const { return getVersion_(); }
  Status Open() const { return open_(nullptr, nullptr); }

 private:
  template <typename Fn>
  bool Find(const char* name, WORD ordinal, Fn* fn, std::string* error) {
    const FARPROC byName = GetProcAddress(module_, name);
    const FARPROC byOrdinal = GetProcAddress(module_, MAKEINTRESOURCEA(ordinal));
    if (byName == nullptr) {
      *error = std::string(kConduitDll) + " does not export " + name;
      return false;
    }
    if (byOrdinal != byName) {
      *error =
          std::string(kConduitDll) + ": ordinal " + std::to_string(ordinal) + " is not " + name;
      return false;
    }
    // Through the generic function pointer type, which any other converts to.
    *fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(byName));
    return true;
  }

  HMODULE module_ = nullptr;
  GetConduitNameFn getName_ = nullptr;
  GetConduitVersionFn getVersion_ = nullptr;
  OpenConduitFn open_ = nullptr;
};

// The handheld in the test host's SYNC20.dll, dropped when the run ends.
class HandheldSession {
 public:
  HandheldSession() = default;
  ~HandheldSession() { SimUnloadHandheld(); }
  HandheldSession(const HandheldSession&) = delete;
  HandheldSession& operator=(const HandheldSession&) = delete;

  bool Load(const std::string& folder, std::string* error) {
    return Call(SimLoadHandheld(folder.c_str(), ClockNow(), message_, sizeof message_), error);
  }
  bool Save(std::string* error) { return Call(SimSaveHandheld(message_, sizeof message_), error); }

 private:
  bool Call(Status status, std::string* error) {
    if (status == StatusOk) return true;
    *error = message_;
    return false;
  }
  char message_[1024] = {};
};

int Run(const std::vector<std::string>& args) {
  SyncOptions options;
  std::string error;
  if (!ParseSyncArguments(args, &options, &error)) return Refuse(error);
  if (options.help) {
    std::cout << UsageText();
    return kExitOk;
  }
  // On Windows the conduit reads the system registry and nothing else.
  if (options.registryFile || options.dataFolder) {
    return Refuse(std::string(options.registryFile ? "--registry" : "--data-folder") +
                  " is not available on Windows: the data folder is " + kRegistryPlace);
  }

  LoadedConduit conduit;
  if (!conduit.Load(ProgramFolder() + kConduitDll, &error)) return Refuse(error);
  const std::string name = conduit.Name();
  const std::uint32_t version = conduit.Version();
  if (options.version) {
    std::cout << VersionText(name, version);
    return kExitOk;
  }

  const TimingClock::time_point loadStart = TimingClock::now();
  HandheldSession handheld;
  if (!handheld.Load(options.handheldDir, &error)) return Refuse(error);
  const double loadSeconds = SecondsSince(loadStart);

  std::ofstream logFile;
  if (options.logFile) {
    // A text file: its lines end in CR LF, as the system's do.
    logFile.open(*options.logFile, std::ios::app);
    if (!logFile) return Refuse(*options.logFile + ": cannot open the log");
  }

  const TimingClock::time_point conduitStart = TimingClock::now();
  const Status status = conduit.Open();
  const double conduitSeconds = SecondsSince(conduitStart);

  std::ostream& log = options.logFile ? static_cast<std::ostream&>(logFile) : std::cout;
  const bool logWritten = WriteSyncLog(log, SimLogCount(), [](std::size_t i) {
    const auto index = static_cast<std::int32_t>(i);
    return SyncLogEntry{SimLogActivity(index), SimLogText(index)};
  });

  const TimingClock::time_point saveStart = TimingClock::now();
  std::optional<std::string> saveError;
  if (!handheld.Save(&error)) saveError = error;
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
