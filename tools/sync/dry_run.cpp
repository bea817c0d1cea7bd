// SPDX-License-Identifier: MIT
// A dry run's scratch folder, its preview of KestrelDB and its forecast of
// the room the real sync would need.
#include "tools/sync/dry_run.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "driver/file_names.h"
#include "handheld/record_buffer.h"
#include "record/task_record.h"
#include "tools/sync/host_files.h"
#include "tools/sync/sync_places.h"
#include "transfer/passes.h"

namespace kestrel::cli {
namespace fs = std::filesystem;
namespace {

constexpr std::uint64_t kCloseMargin = 1u << 20;

bool InsideAny(const fs::path& place, const std::vector<fs::path>& avoid) {
  return std::any_of(avoid.begin(), avoid.end(),
                     [&place](const fs::path& folder) { return IsSameOrInside(place, folder); });
}

}  // namespace

bool IsScratchFolderName(std::string_view name) {
  const std::string_view prefix = kScratchPrefix;
  if (name.size() != prefix.size() + 6 || !name.starts_with(prefix)) return false;
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                     [](char c) {
                       return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                              (c >= '0' && c <= '9');
                     });
}

fs::path ScratchBase(const std::vector<fs::path>& avoid, std::string* error) {
  const char* tmp = std::getenv("TMPDIR");
  fs::path base = tmp != nullptr && *tmp != '\0' ? fs::path(tmp) : fs::path(kDefaultScratchBase);
  if (!InsideAny(base, avoid)) return base;
  base = kDefaultScratchBase;
  if (!InsideAny(base, avoid)) return base;
  *error = base.string() + ": the dry run's scratch folder cannot go into the handheld or data "
                           "folder; set TMPDIR to a folder outside both";
  return {};
}

void RemoveDeadScratchFolders(const fs::path& base) {
  std::error_code ec;
  for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
    if (!IsScratchFolderName(it->path().filename().string())) continue;
    std::error_code entryError;
    if (it->symlink_status(entryError).type() != fs::file_type::directory) continue;
    if (!OwnedByThisUser(it->path())) continue;
    // Locked here, it belongs to no running dry run; held, it is left alone.
    handheld_folder::FolderLock probe;
    std::string ignored;
    if (probe.Lock(it->path(), &ignored) != handheld_folder::FolderLock::Result::Locked) continue;
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, entryError);
    fs::remove_all(it->path(), entryError);
  }
}

ScratchFolder::~ScratchFolder() {
  if (path_.empty()) return;
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

bool ScratchFolder::Make(const fs::path& base, const fs::path& dataFolder, std::string* error) {
  RemoveDeadScratchFolders(base);
  path_ = MakeScratchFolder(base, error);
  if (path_.empty()) return false;
  if (lock_.Lock(path_, error) != handheld_folder::FolderLock::Result::Locked) {
    *error = path_.string() + ": cannot lock the dry run's scratch folder";
    return false;
  }
  return Fill(dataFolder, error);
}

bool ScratchFolder::Fill(const fs::path& dataFolder, std::string* error) {
  const std::string importName = std::string(kImportStem) + kCsvExtension;
  std::error_code ec;
  if (fs::status(dataFolder / importName, ec).type() == fs::file_type::regular) {
    fs::copy_file(dataFolder / importName, path_ / importName, ec);
    if (ec) {
      *error = (dataFolder / importName).string() + ": cannot copy: " + ec.message();
      return false;
    }
  }
  // A folder where a backup goes fails that backup: the scratch folder
  // holds one of each name too, so that the dry run fails as the sync would.
  for (fs::directory_iterator it(dataFolder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code entryError;
    if (it->symlink_status(entryError).type() == fs::file_type::directory) {
      fs::create_directory(path_ / it->path().filename(), entryError);
    }
  }
  if (!FolderWritable(dataFolder)) {
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_exec, ec);
  }
  return true;
}

std::string BackupFormOf(const std::vector<std::vector<std::uint8_t>>& records) {
  RecordTransfer transfer{};
  RecordBuffer buffer(transfer, kRecordBufferSize);
  std::string text = std::string(kBackupHeader) + "\n";
  for (const auto& record : records) {
    if (RecordBufferData(transfer) == nullptr || record.size() > transfer.bufferCapacity) continue;
    std::copy(record.begin(), record.end(), RecordBufferData(transfer));
    transfer.recordSize = static_cast<std::uint32_t>(record.size());
    std::string line;
    if (FormatTaskLine(transfer, line) != 0) continue;
    text += line + "\n";
  }
  return text;
}

SpaceForecast ForecastSpace(const fs::path& dataFolder, const std::vector<std::uint64_t>& sizes) {
  SpaceForecast forecast;
  const FreeSpace free = FreeSpaceOf(dataFolder);
  if (!free.known) return forecast;
  forecast.known = true;
  forecast.available = free.available;
  for (const std::uint64_t size : sizes) forecast.needed += size + free.block;
  forecast.fits = forecast.needed <= forecast.available;
  forecast.close = forecast.fits && forecast.available - forecast.needed < kCloseMargin;
  return forecast;
}

}  // namespace kestrel::cli
