// SPDX-License-Identifier: MIT
// Loading a handheld folder: each file is opened without blocking, read only
// as far as its header, entries, appInfo and sortInfo, and checked; its
// records are read when the database is opened.
#include "handheld_folder/handheld_folder.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

#include "handheld_folder/input_file.h"
#include "handheld_folder/pdb_file.h"

namespace kestrel::handheld_folder {
namespace fs = std::filesystem;
namespace {

bool Fail(std::string* error, const fs::path& path, const std::string& what) {
  if (error != nullptr) *error = path.string() + ": " + what;
  return false;
}

bool IsDatabaseFile(const fs::path& name) {
  std::string ext = name.extension().string();
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return ext == ".pdb" || ext == ".prc";
}

// Opens a handheld file and checks its size; false with *error naming it.
bool OpenDatabaseFile(const fs::path& path, InputFile& file, std::string* error) {
  std::string what;
  if (!file.Open(path, &what)) return Fail(error, path, what);
  if (file.Size() > kPdbMaxFileSize) {
    return Fail(error, path,
                "file too large: " + std::to_string(file.Size()) +
                    " bytes, a Palm database holds at most " + std::to_string(kPdbMaxFileSize));
  }
  return true;
}

// The start of each file read, in a buffer kept from one file to the next.
class StartOfFile {
 public:
  std::span<const std::uint8_t> Bytes() const { return {data_.get(), size_}; }

  // Reads the file's first `size` bytes, keeping those already read.
  bool ReadTo(InputFile& file, std::size_t size, std::string* what) {
    if (size > capacity_) {
      const std::size_t capacity = std::max(size, 2 * capacity_);
      auto larger = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
      std::copy(data_.get(), data_.get() + size_, larger.get());
      data_ = std::move(larger);
      capacity_ = capacity;
    }
    if (size > size_ && !file.ReadAt(size_, data_.get() + size_, size - size_, what)) return false;
    size_ = std::max(size_, size);
    return true;
  }
  // Forgets the bytes read; a buffer grown large for one file (an appInfo
  // block of megabytes, copied into its database) is let go rather than kept
  // for the next.
  void Restart() {
    size_ = 0;
    if (capacity_ > kKeptCapacity) {
      data_.reset();
      capacity_ = 0;
    }
  }

 private:
  static constexpr std::size_t kKeptCapacity = std::size_t{1} << 20;
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

// Reads and checks as much of a file as listing its database needs.
std::optional<host::Database> LoadHeader(const fs::path& path, StartOfFile& start,
                                         std::string* error) {
  InputFile file;
  if (!OpenDatabaseFile(path, file, error)) return std::nullopt;
  start.Restart();
  std::string what;
  // At most three rounds: the header, the entries, the appInfo and sortInfo.
  for (std::size_t needed = PdbCheckedExtent({}, file.Size()); needed > start.Bytes().size();
       needed = PdbCheckedExtent(start.Bytes(), file.Size())) {
    if (!start.ReadTo(file, needed, &what)) {
      Fail(error, path, what);
      return std::nullopt;
    }
  }
  auto db = LoadPdbHeader(start.Bytes(), file.Size(), &what);
  if (!db) Fail(error, path, what);
  return db;
}

// The records of a database whose slot keeps only its header: the file read
// whole into one buffer, checked to still hold that database, with a view
// per record.
class RecordsFromFile {
 public:
  RecordsFromFile(fs::path path, std::shared_ptr<std::vector<std::string>> lateErrors)
      : path_(std::move(path)), lateErrors_(std::move(lateErrors)) {}

  Status operator()(const host::Database& header, host::RecordImage& image) const {
    std::string what;
    InputFile file;
    if (!OpenDatabaseFile(path_, file, &what)) return Late(what);
    const auto size = static_cast<std::size_t>(file.Size());
    image.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    image.size = size;
    what.clear();
    if (!file.ReadAt(0, image.bytes.get(), size, &what) || !file.EndsAt(size)) {
      return Late(path_.string() + ": " +
                  (what.empty() ? std::string("file changed while it was read") : what));
    }
    auto reloaded = LoadPdbViews({image.bytes.get(), size}, &image.records, &what);
    if (!reloaded) return Late(path_.string() + ": " + what);
    if (!(*reloaded == header)) return Late(path_.string() + ": changed since the sync began");
    return StatusOk;
  }

 private:
  Status Late(std::string message) const {
    if (lateErrors_) lateErrors_->push_back(std::move(message));
    return host::kStatusUnreadable;
  }

  fs::path path_;
  std::shared_ptr<std::vector<std::string>> lateErrors_;
};

// The database files of the folder, in byte order of their names.
std::optional<std::vector<fs::path>> DatabaseFileNames(const fs::path& folder, std::string* error) {
  std::error_code ec;
  const fs::file_status status = fs::status(folder, ec);
  if (status.type() == fs::file_type::not_found) {
    Fail(error, folder, "no such folder");
    return std::nullopt;
  }
  if (ec) {
    Fail(error, folder, "cannot read the folder: " + ec.message());
    return std::nullopt;
  }
  if (status.type() != fs::file_type::directory) {
    Fail(error, folder, "not a folder");
    return std::nullopt;
  }
  std::vector<fs::path> names;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path name = it->path().filename();
    if (!IsDatabaseFile(name)) continue;
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) {
      Fail(error, it->path(), "not a regular file");
      return std::nullopt;
    }
    names.push_back(name);
  }
  if (ec) {
    Fail(error, folder, "cannot read the folder: " + ec.message());
    return std::nullopt;
  }
  // Byte order of the names as stored: UTF-8 on every system. Each name's
  // UTF-8 form is made once, and positions are sorted rather than paths.
  std::vector<std::string> keys;
  keys.reserve(names.size());
  for (const auto& name : names) {
    const std::u8string utf8 = name.u8string();
    keys.emplace_back(utf8.begin(), utf8.end());
  }
  std::vector<std::size_t> order(names.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
  std::vector<fs::path> sorted;
  sorted.reserve(names.size());
  for (const std::size_t i : order) sorted.push_back(std::move(names[i]));
  return sorted;
}

}  // namespace

bool LoadHandheldFolder(const fs::path& folder, host::Handheld& handheld, std::string* error,
                        std::shared_ptr<std::vector<std::string>> lateErrors) {
  const auto names = DatabaseFileNames(folder, error);
  if (!names) return false;

  // Each database name with the position of its slot, the handheld's first.
  std::unordered_map<std::string, std::size_t> seen;
  seen.reserve(handheld.slots.size() + names->size());
  for (std::size_t i = 0; i < handheld.slots.size(); ++i)
    seen.emplace(handheld.slots[i].db.name, i);

  std::vector<host::Slot> loaded;
  loaded.reserve(names->size());
  StartOfFile start;
  for (const auto& name : *names) {
    const fs::path path = folder / name;
    auto db = LoadHeader(path, start, error);
    if (!db) return false;
    const auto [at, added] = seen.emplace(db->name, handheld.slots.size() + loaded.size());
    if (!added) {
      if (at->second < handheld.slots.size()) {
        return Fail(error, path, "holds the database \"" + db->name + "\" already on the handheld");
      }
      return Fail(error, path,
                  "holds the database \"" + db->name + "\" as " +
                      (folder / loaded[at->second - handheld.slots.size()].fileName).string() +
                      " does");
    }
    loaded.push_back(
        host::Slot{std::move(*db), name.string(), false, RecordsFromFile(path, lateErrors)});
  }
  std::move(loaded.begin(), loaded.end(), std::back_inserter(handheld.slots));
  return true;
}

}  // namespace kestrel::handheld_folder
