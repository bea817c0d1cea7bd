// SPDX-License-Identifier: MIT
// The machine registry on POSIX, as kestrel-sync supplies it to the conduit:
// the hive that the host selected, usually loaded from a registry file.
#include <cstring>
#include <utility>

#include "host/select_registry.h"
#include "platform/registry.h"

namespace kestrel {
namespace {

std::optional<RegistryHive>& SelectedHive() {
  static std::optional<RegistryHive> hive;
  return hive;
}

}  // namespace

void SelectRegistry(std::optional<RegistryHive> hive) { SelectedHive() = std::move(hive); }

Status QueryMachineValue(const char* keyPath, const char* valueName, char* area,
                         std::uint32_t* size) {
  if (keyPath == nullptr || valueName == nullptr || area == nullptr || size == nullptr) {
    return StatusFailed;
  }
  const std::optional<RegistryHive>& hive = SelectedHive();
  if (!hive) return StatusFailed;

  std::string fullPath = "HKEY_LOCAL_MACHINE\\";
  fullPath += keyPath;
  const std::string* data = hive->Find(fullPath, valueName);
  if (data == nullptr) return StatusFailed;

  // The data and its terminating NUL must both fit; nothing is written when
  // they do not.
  if (data->size() >= *size) return StatusFailed;
  std::memcpy(area, data->data(), data->size());
  area[data->size()] = '\0';
  *size = static_cast<std::uint32_t>(data->size() + 1);
  return StatusOk;
}

}  // namespace kestrel
