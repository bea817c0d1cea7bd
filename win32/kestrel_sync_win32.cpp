// SPDX-License-Identifier: MIT
// kestrel-sync.exe: the command of tools/sync/ with kstlcond.dll loaded and called
// as a host calls it. The handheld and the sync log live in the test host's
// SYNC20.dll and HSLOG20.dll beside this program, which the conduit imports
// by ordinal; the data folder is the Windows registry's value.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "driver/conduit.h"
#include "driver/data_folder.h"
#include "tools/sync/sync_command.h"
#include "win32/fake_host/host_api.h"

namespace host = kestrel::host;

namespace {

using namespace kestrel::cli;

constexpr char kConduitDll[] = "kstlcond.dll";

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

  LoadedConduit() = default;
  ~LoadedConduit() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  LoadedConduit(const LoadedConduit&) = delete;
  LoadedConduit& operator=(const LoadedConduit&) = delete;

  // Loads the DLL from `path` once and finds the entry points; each must be
  // the same function by name and by its ordinal. Returns false with *error.
  bool Load(std::string* error) {
    if (module_ != nullptr) return true;
    const std::string path = ProgramFolder() + kConduitDll;
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
  decltype(&GetConduitVersion) getVersion_ = nullptr;
  OpenConduitFn open_ = nullptr;
};

// The data folder value as the conduit reads it: a string under
// HKEY_LOCAL_MACHINE, seen through the 32-bit view as a 32-bit host sees it.
std::optional<std::string> RegistryDataFolder() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kestrel::kDataFolderKey, 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::vector<char> data(32768);
  DWORD size = static_cast<DWORD>(data.size());
  DWORD type = 0;
  const LSTATUS status = RegQueryValueExA(key, kestrel::kDataFolderValue, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data.data()), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
  std::string text(data.data(), size);
  const std::size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

// The conduit lives in the DLL, whose exports are the host's interface
// alone: its report of the backup history (LastSyncReport) cannot be read
// from here, so ConduitReport() stays nullptr and the summary names no
// generation kept and no import copy.
class Win32Platform : public SyncPlatform {
 public:
  Win32Platform() = default;
  ~Win32Platform() override {
    SimWatch(nullptr, nullptr);
    SimUnloadHandheld();
  }
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  OptionSet Offered() const override {
    return {.registry = false, .dryRun = false, .charset = false, .list = false, .config = false};
  }
  bool CaseSensitiveNames() const override { return false; }
  std::string SystemName() const override { return "Windows"; }

  bool ConduitName(std::string* name, std::string* error) override {
    if (!conduit_.Load(error)) return false;
    *name = conduit_.Name();
    return true;
  }

  bool Configure(const SyncOptions&, DataFolderSetting* setting, std::string* error) override {
    if (!conduit_.Load(error)) return false;
    const std::string place = std::string("the registry value \"") + kestrel::kDataFolderValue +
                              "\" of HKEY_LOCAL_MACHINE\\" + kestrel::kDataFolderKey;
    setting->source = place;
    setting->folder = RegistryDataFolder();
    if (!setting->folder) {
      setting->problem = "no data folder is configured: the registry has no value \"" +
                         std::string(kestrel::kDataFolderValue) + "\" of HKEY_LOCAL_MACHINE\\" +
                         kestrel::kDataFolderKey;
    } else if (setting->folder->empty()) {
      setting->problem = place + " is empty";
    } else if (setting->folder->size() >= kestrel::kDataFolderArea) {
      setting->problem = place + " is " + std::to_string(setting->folder->size()) +
                         " characters long; the conduit reads at most " +
                         std::to_string(kestrel::kDataFolderArea - 1);
    }
    return true;
  }

  void RedirectDataFolder(const std::string&) override {}

  bool LoadHandheld(const std::string& folder, std::uint32_t clock, std::string* error) override {
    char message[1024] = {};
    if (SimLoadHandheld(folder.c_str(), clock, message, sizeof message) == StatusOk) return true;
    *error = message;
    return false;
  }

  void Watch(host::OperationObserver observer) override {
    observer_ = std::move(observer);
    if (observer_) {
      SimWatch(&Win32Platform::Tell, this);
    } else {
      SimWatch(nullptr, nullptr);
    }
  }

  Status RunConduit() override { return conduit_.Open(); }

  std::vector<std::pair<std::int32_t, std::string>> SyncLog() override {
    std::vector<std::pair<std::int32_t, std::string>> entries;
    for (std::int32_t i = 0; i < SimLogCount(); ++i) {
      entries.emplace_back(SimLogActivity(i), SimLogText(i));
    }
    return entries;
  }

  std::string LateError() override { return {}; }
  std::vector<std::string> ChangedDatabases() override { return {}; }
  std::vector<std::vector<std::uint8_t>> LiveRecords(const std::string&) override { return {}; }

  bool SaveHandheld(std::vector<SavedFile>* saved, std::string* error) override {
    char message[1024] = {};
    if (SimSaveHandheld(message, sizeof message) != StatusOk) {
      *error = message;
      return false;
    }
    for (std::int32_t i = 0; i < SimSavedCount(); ++i) saved->push_back({SimSavedName(i), false});
    return true;
  }

 private:
  static void Tell(void* context, std::int32_t operation, const char* database, Status status,
                   std::uint8_t mode, std::uint8_t attributes, std::uint16_t record) {
    auto* self = static_cast<Win32Platform*>(context);
    if (!self->observer_) return;
    self->observer_(host::OperationEvent{static_cast<host::Operation>(operation), database, status,
                                         mode, attributes, record});
  }

  LoadedConduit conduit_;
  host::OperationObserver observer_;
};

}  // namespace

int main(int argc, char** argv) {
  Win32Platform platform;
  return RunSyncCommand(std::vector<std::string>(argv + 1, argv + argc), platform);
}
