#include "sim/handheld_folder.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <system_error>
#include <utility>
#include <vector>

#include "driver/file_names.h"
#include "sim/file_sync.h"
#include "sim/pdb_file.h"

namespace sim {
namespace fs = std::filesystem;
namespace {

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The text of the last C library failure, for messages; "failed" when the
// library left no reason.
std::string LastFailure(int code) {
  return code != 0 ? std::generic_category().message(code) : std::string("failed");
}

bool Fail(std::string* error, const fs::path& path, const std::string& what) {
  if (error != nullptr) *error = path.string() + ": " + what;
  return false;
}

// Writes the bytes to a file of their own and onto the disk; false with
// *error on any fault, after removing what it had written.
bool WriteWholeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes,
                    std::string* error) {
  errno = 0;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return Fail(error, path, "cannot create: " + LastFailure(errno));
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.flush();
  std::string what;
  if (out) {
    out.close();
    if (out && SyncFileToDisk(path, &what)) return true;
  }
  if (what.empty()) what = "cannot write: " + LastFailure(errno);
  out.close();
  std::error_code ignored;
  fs::remove(path, ignored);
  return Fail(error, path, what);
}

// Removes new files written whole; used when a save is abandoned.
void RemoveAll(const std::vector<fs::path>& paths) {
  for (const auto& p : paths) {
    std::error_code ignored;
    fs::remove(p, ignored);
  }
}

// Names in the folder, folded to lower case, so that a new file never takes
// the name of one that a case-insensitive file system would see as the same.
std::optional<std::set<std::string>> FoldedNames(const fs::path& folder, std::string* error) {
  std::set<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    names.insert(Lower(it->path().filename().string()));
  }
  if (ec) {
    Fail(error, folder, "cannot read the folder: " + ec.message());
    return std::nullopt;
  }
  return names;
}

// A created database is named like its backup file, which the driver has
// already made safe for a file name on every system.
std::string SafeStem(std::string_view name) {
  std::string stem = kestrel::BackupStem(name);
  return stem.empty() ? std::string(1, '_') : stem;
}

}  // namespace

std::string FileNameForNewDatabase(std::string_view databaseName) {
  return SafeStem(databaseName) + ".pdb";
}

bool SaveHandheldFolder(const fs::path& folder, Handheld& handheld, std::string* error,
                        const RenameStep& rename) {
  struct Pending {
    Slot* slot;
    std::string fileName;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<Pending> pending;
  std::optional<std::set<std::string>> taken;
  for (auto& slot : handheld.slots) {
    if (!slot.changed) continue;
    std::string what;
    auto bytes = SavePdb(slot.db, &what);
    if (!bytes) {
      const std::string file =
          slot.fileName.empty() ? FileNameForNewDatabase(slot.db.name) : slot.fileName;
      return Fail(error, folder / file, "cannot be saved: " + what);
    }
    std::string fileName = slot.fileName;
    if (fileName.empty()) {
      if (!taken) {
        taken = FoldedNames(folder, error);
        if (!taken) return false;
      }
      const std::string stem = SafeStem(slot.db.name);
      fileName = stem + ".pdb";
      for (int n = 2; taken->count(Lower(fileName)) != 0 ||
                      taken->count(Lower(fileName + std::string(kNewFileSuffix))) != 0;
           ++n) {
        fileName = stem + "-" + std::to_string(n) + ".pdb";
      }
      taken->insert(Lower(fileName));
    }
    pending.push_back(Pending{&slot, std::move(fileName), std::move(*bytes)});
  }

  std::vector<fs::path> written;
  for (const auto& p : pending) {
    fs::path fresh = folder / (p.fileName + std::string(kNewFileSuffix));
    if (!WriteWholeFile(fresh, p.bytes, error)) {
      RemoveAll(written);
      return false;
    }
    written.push_back(std::move(fresh));
  }
  for (std::size_t i = 0; i < pending.size(); ++i) {
    std::error_code ec;
    if (rename) {
      rename(written[i], folder / pending[i].fileName, ec);
    } else {
      fs::rename(written[i], folder / pending[i].fileName, ec);
    }
    if (ec) {
      RemoveAll(
          std::vector<fs::path>(written.begin() + static_cast<std::ptrdiff_t>(i), written.end()));
      return Fail(error, folder / pending[i].fileName, "cannot replace: " + ec.message());
    }
    pending[i].slot->fileName = pending[i].fileName;
    pending[i].slot->changed = false;
  }
  if (!pending.empty()) SyncFolderToDisk(folder);
  return true;
}

}  // namespace sim
