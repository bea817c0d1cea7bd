// SPDX-License-Identifier: MIT
#include "driver/data_folder.h"

#include <algorithm>
#include <array>

#include "platform/registry.h"

namespace kestrel {

Status FolderFromValueArea(std::string_view stored, std::string& folder) {
  if (stored.size() > kDataFolderArea) return StatusFailed;
  const std::size_t nul = stored.find('\0');
  // A value stored without its NUL may fill the area to the last byte; the
  // text then has no room for its terminator and is one character too long.
  if (nul == std::string_view::npos && stored.size() == kDataFolderArea) return StatusFailed;
  // An empty value names no folder: every path would start at the root.
  if (nul == 0 || stored.empty()) return StatusFailed;
  folder.assign(stored.substr(0, nul));
  return StatusOk;
}

Status ReadDataFolder(std::string& folder) {
  std::array<char, kDataFolderArea> area{};
  std::uint32_t stored = kDataFolderArea;
  if (QueryMachineValue(kDataFolderKey, kDataFolderValue, area.data(), &stored) != StatusOk) {
    return StatusFailed;
  }
  // The registry reports how much it stored; trust it no further than the area.
  stored = std::min(stored, kDataFolderArea);
  return FolderFromValueArea(std::string_view(area.data(), stored), folder);
}

}  // namespace kestrel
