// SPDX-License-Identifier: MIT
// The fake SYNC20.dll: the simulated handheld on a folder of Palm database
// files. The sync manager's operations come from host/ and are exported by
// ordinal (sync20.def); this file adds what the test host calls by name.
#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "driver/file_names.h"
#include "handheld_folder/handheld_folder.h"
#include "handheld_folder/handheld_folder_save.h"
#include "host/handheld.h"
#include "win32/fake_host/host_api.h"

namespace host = kestrel::host;
namespace handheld_folder = kestrel::handheld_folder;

namespace {

struct LoadedHandheld {
  std::string folder;
  host::Handheld handheld;
  std::vector<std::string> saved;  // what the last save wrote
  // Files that could no longer be read as loaded when their database was
  // opened: the save is refused with the first.
  std::shared_ptr<std::vector<std::string>> lateErrors =
      std::make_shared<std::vector<std::string>>();
};

std::unique_ptr<LoadedHandheld> g_loaded;

void CopyMessage(std::string_view text, char* message, std::uint32_t messageSize) {
  if (message == nullptr || messageSize == 0) return;
  const std::size_t length = std::min<std::size_t>(text.size(), messageSize - 1);
  std::memcpy(message, text.data(), length);
  message[length] = '\0';
}

// Runs `work`, which returns 0 or fills `error`; no exception leaves a DLL
// export.
template <typename Work>
Status Guarded(char* message, std::uint32_t messageSize, Work work) {
  std::string error;
  try {
    if (work(error)) return StatusOk;
  } catch (const std::exception& e) {
    error = e.what();
  }
  CopyMessage(error, message, messageSize);
  return StatusFailed;
}

}  // namespace

extern "C" {

Status SimLoadHandheld(const char* folder, std::uint32_t clock, char* message,
                       std::uint32_t messageSize) {
  SimUnloadHandheld();
  return Guarded(message, messageSize, [&](std::string& error) {
    auto loaded = std::make_unique<LoadedHandheld>();
    loaded->folder = folder;
    loaded->handheld.clock = clock;
    if (!handheld_folder::LoadHandheldFolder(loaded->folder, loaded->handheld, &error,
                                             loaded->lateErrors)) {
      return false;
    }
    g_loaded = std::move(loaded);
    host::AttachHandheld(&g_loaded->handheld);
    return true;
  });
}

Status SimSaveHandheld(char* message, std::uint32_t messageSize) {
  return Guarded(message, messageSize, [&](std::string& error) {
    if (!g_loaded) {
      error = "no handheld is loaded";
      return false;
    }
    if (!g_loaded->lateErrors->empty()) {
      error = g_loaded->lateErrors->front();
      return false;
    }
    std::vector<const host::Slot*> changed;
    for (const auto& slot : g_loaded->handheld.slots) {
      if (slot.changed) changed.push_back(&slot);
    }
    g_loaded->saved.clear();
    if (!handheld_folder::SaveHandheldFolder(g_loaded->folder, g_loaded->handheld,
                                             kestrel::BackupStem, &error)) {
      return false;
    }
    for (const host::Slot* slot : changed) g_loaded->saved.push_back(slot->fileName);
    return true;
  });
}

void SimUnloadHandheld() {
  host::AttachHandheld(nullptr);
  g_loaded.reset();
}

std::int32_t SimLogCount() {
  return g_loaded ? static_cast<std::int32_t>(g_loaded->handheld.log.size()) : 0;
}

std::int32_t SimLogActivity(std::int32_t index) {
  if (index < 0 || index >= SimLogCount()) return 0;
  return g_loaded->handheld.log[index].activity;
}

const char* SimLogText(std::int32_t index) {
  if (index < 0 || index >= SimLogCount()) return "";
  return g_loaded->handheld.log[index].text.c_str();
}

void SimWatch(SimObserver observer, void* context) {
  if (!g_loaded) return;
  if (observer == nullptr) {
    g_loaded->handheld.observer = nullptr;
    return;
  }
  g_loaded->handheld.observer = [observer, context](const host::OperationEvent& event) {
    const std::string name(event.database);
    observer(context, static_cast<std::int32_t>(event.op), name.c_str(), event.status, event.mode,
             event.attributes, event.record);
  };
  g_loaded->handheld.observeFailedReadsOnly = true;
}

std::int32_t SimSavedCount() {
  return g_loaded ? static_cast<std::int32_t>(g_loaded->saved.size()) : 0;
}

const char* SimSavedName(std::int32_t index) {
  if (index < 0 || index >= SimSavedCount()) return "";
  return g_loaded->saved[index].c_str();
}

Status SimLogMessage(const char* text, std::int32_t activity, std::int32_t flags) {
  try {
    return LogMessage(text, activity, flags);
  } catch (const std::exception&) {
    return StatusFailed;
  }
}

}  // extern "C"
