// SPDX-License-Identifier: MIT
#include "handheld_folder/handheld_folder_save.h"

#include <atomic>
#include <cstdint>
#include <new>
#include <optional>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "handheld_folder/file_sync.h"
#include "handheld_folder/pdb_file.h"

namespace kestrel::handheld_folder {
namespace fs = std::filesystem;
namespace {

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool Fail(std::string* error, const fs::path& path, const std::string& what) {
  if (error != nullptr) *error = path.string() + ": " + what;
  return false;
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// A part of a new file's name that no other save, in this process or
// another, picks at the same time: a random number drawn once per process,
// and a count.
std::string UniquePart() {
  static const std::uint64_t process = [] {
    std::random_device device;
    return (std::uint64_t{device()} << 32) ^ device();
  }();
  static std::atomic<std::uint64_t> count{0};
  const std::uint64_t value = process + 0x9E3779B97F4A7C15ull * ++count;
  std::string text(16, '0');
  for (int i = 15, shift = 0; i >= 0; --i, shift += 4) {
    text[static_cast<std::size_t>(i)] = "0123456789abcdef"[(value >> shift) & 15];
  }
  return text;
}

// Removes the new files that an earlier save, stopped before its renames,
// left behind. Only files and links go; a folder of that name is not ours.
bool RemoveLeftovers(const fs::path& folder, std::string* error) {
  std::error_code ec;
  std::vector<fs::path> leftovers;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!EndsWith(it->path().filename().string(), kNewFileSuffix)) continue;
    std::error_code typeError;
    const fs::file_type type = it->symlink_status(typeError).type();
    if (type == fs::file_type::regular || type == fs::file_type::symlink) {
      leftovers.push_back(it->path());
    }
  }
  if (ec) return Fail(error, folder, "cannot read the folder: " + ec.message());
  for (const auto& path : leftovers) {
    std::error_code ignored;
    fs::remove(path, ignored);
  }
  return true;
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

// The new files written so far, removed unless the save hands them over.
class NewFiles {
 public:
  ~NewFiles() {
    for (const auto& path : paths_) {
      std::error_code ignored;
      fs::remove(path, ignored);
    }
  }
  void Add(fs::path path) { paths_.push_back(std::move(path)); }
  const fs::path& operator[](std::size_t i) const { return paths_[i]; }
  // The file at `i` has been renamed into place: nothing left to remove.
  void Placed(std::size_t i) { paths_[i].clear(); }

 private:
  std::vector<fs::path> paths_;
};

// Writes `bytes` to a new file for `fileName` in `folder`.
bool WriteNew(const fs::path& folder, const std::string& fileName,
              const std::vector<std::uint8_t>& bytes, fs::path* written, std::string* error) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    const fs::path path = folder / (fileName + "." + UniquePart() + std::string(kNewFileSuffix));
    std::string what;
    bool exists = false;
    if (WriteNewFile(path, bytes, &what, &exists)) {
      *written = path;
      return true;
    }
    if (!exists) return Fail(error, folder / fileName, what);
  }
  return Fail(error, folder / fileName, "cannot create a new file of a name of its own");
}

struct Pending {
  host::Slot* slot;
  std::string fileName;
  std::vector<std::uint8_t> bytes;
};

// Everything a save needs before it writes anything: each changed slot's
// file name and bytes.
bool Prepare(const fs::path& folder, host::Handheld& handheld, const FileStemRule& stemOf,
             std::vector<Pending>* pending, std::string* error) {
  std::optional<std::set<std::string>> taken;
  for (auto& slot : handheld.slots) {
    if (!slot.changed) continue;
    std::string fileName = slot.fileName;
    if (fileName.empty()) {
      if (!taken) {
        taken = FoldedNames(folder, error);
        if (!taken) return false;
      }
      std::string stem = stemOf(slot.db.name);
      // push_back, not = "_": GCC 12 at -O3 takes the assignment for an
      // overlapping copy (-Wrestrict).
      if (stem.empty()) stem.push_back('_');
      fileName = stem + ".pdb";
      for (int n = 2; taken->count(Lower(fileName)) != 0; ++n) {
        fileName = stem + "-" + std::to_string(n) + ".pdb";
      }
      taken->insert(Lower(fileName));
    }
    std::string what;
    auto bytes = SavePdb(slot.db, &what);
    if (!bytes) return Fail(error, folder / fileName, "cannot be saved: " + what);
    pending->push_back(Pending{&slot, std::move(fileName), std::move(*bytes)});
  }
  return true;
}

}  // namespace

bool SaveHandheldFolder(const fs::path& folder, host::Handheld& handheld,
                        const FileStemRule& stemOf, std::string* error, const RenameStep& rename) {
  if (!RemoveLeftovers(folder, error)) return false;
  std::vector<Pending> pending;
  std::vector<fs::path> targets;
  NewFiles written;
  try {
    if (!Prepare(folder, handheld, stemOf, &pending, error)) return false;
    for (const auto& p : pending) {
      fs::path fresh;
      if (!WriteNew(folder, p.fileName, p.bytes, &fresh, error)) return false;
      written.Add(std::move(fresh));
      targets.push_back(folder / p.fileName);
    }
  } catch (const std::bad_alloc&) {
    return Fail(error, folder, "out of memory while saving the handheld folder");
  }
  for (std::size_t i = 0; i < pending.size(); ++i) {
    std::error_code ec;
    if (rename) {
      rename(written[i], targets[i], ec);
    } else {
      fs::rename(written[i], targets[i], ec);
    }
    if (ec) return Fail(error, targets[i], "cannot replace: " + ec.message());
    written.Placed(i);
    pending[i].slot->fileName = std::move(pending[i].fileName);
    pending[i].slot->changed = false;
  }
  if (!pending.empty()) SyncFolderToDisk(folder);
  return true;
}

}  // namespace kestrel::handheld_folder
