#include "sim/handheld_folder.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <system_error>
#include <utility>
#include <vector>

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

bool IsDatabaseFile(const fs::path& name) {
  const std::string ext = Lower(name.extension().string());
  return ext == ".pdb" || ext == ".prc";
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

// The bytes of a file just read, in a buffer kept from one file to the next
// and never zero-filled: a file is read straight into it.
class FileBytes {
 public:
  std::span<const std::uint8_t> Bytes() const { return {data_.get(), size_}; }

 private:
  friend bool ReadWholeFile(const fs::path& path, FileBytes& bytes, std::string* error);

  // Room for at least `capacity` bytes, keeping those read so far.
  void Grow(std::size_t capacity) {
    if (capacity <= capacity_) return;
    auto larger = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    std::copy(data_.get(), data_.get() + size_, larger.get());
    data_ = std::move(larger);
    capacity_ = capacity;
  }

  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

// Reads the whole file into `bytes`, a few large reads rather than a byte at
// a time. Its size is only a first guess: a file that changes meanwhile is
// read to its end all the same.
bool ReadWholeFile(const fs::path& path, FileBytes& bytes, std::string* error) {
  bytes.size_ = 0;
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(error, path, "cannot read: " + LastFailure(errno));
  std::error_code sizeError;
  const std::uintmax_t size = fs::file_size(path, sizeError);
  // One byte more than the file holds, so the first read already meets its end.
  bytes.Grow(sizeError ? std::size_t{1} << 16 : static_cast<std::size_t>(size) + 1);
  while (in) {
    if (bytes.size_ == bytes.capacity_) bytes.Grow(2 * bytes.capacity_);
    in.read(reinterpret_cast<char*>(bytes.data_.get() + bytes.size_),
            static_cast<std::streamsize>(bytes.capacity_ - bytes.size_));
    bytes.size_ += static_cast<std::size_t>(in.gcount());
  }
  if (in.bad()) return Fail(error, path, "cannot read: " + LastFailure(errno));
  return true;
}

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
    if (!fs::is_regular_file(it->path(), typeError)) {
      Fail(error, it->path(), "not a regular file");
      return std::nullopt;
    }
    names.push_back(name);
  }
  if (ec) {
    Fail(error, folder, "cannot read the folder: " + ec.message());
    return std::nullopt;
  }
  // Byte order of the names as stored: UTF-8 on every system.
  std::sort(names.begin(), names.end(),
            [](const fs::path& a, const fs::path& b) { return a.u8string() < b.u8string(); });
  return names;
}

// Reads the records or resources of a database whose slot keeps only its
// header, checking that the file still holds that database. The databases of
// a folder share one buffer for their files.
class EntriesFromFile {
 public:
  EntriesFromFile(fs::path path, std::shared_ptr<FileBytes> buffer,
                  std::shared_ptr<std::vector<std::string>> lateErrors)
      : path_(std::move(path)), buffer_(std::move(buffer)), lateErrors_(std::move(lateErrors)) {}

  Status operator()(Database& db) const {
    std::string what;
    if (!ReadWholeFile(path_, *buffer_, &what)) return Late(what);
    auto reloaded = LoadPdb(buffer_->Bytes(), &what);
    if (!reloaded) return Late(path_.string() + ": " + what);
    std::vector<Record> records = std::move(reloaded->records);
    std::vector<Resource> resources = std::move(reloaded->resources);
    reloaded->records.clear();
    reloaded->resources.clear();
    if (!(*reloaded == db)) return Late(path_.string() + ": changed since the sync began");
    db.records = std::move(records);
    db.resources = std::move(resources);
    return StatusOk;
  }

 private:
  Status Late(std::string message) const {
    if (lateErrors_) lateErrors_->push_back(std::move(message));
    return kStatusUnreadable;
  }

  fs::path path_;
  std::shared_ptr<FileBytes> buffer_;
  std::shared_ptr<std::vector<std::string>> lateErrors_;
};

// Loads the folder's databases into `handheld`, whole or (with
// `lateErrors`) keeping only what the slot needs until it is opened.
bool LoadFolder(const fs::path& folder, Handheld& handheld, std::string* error, bool onDemand,
                const std::shared_ptr<std::vector<std::string>>& lateErrors) {
  const auto names = DatabaseFileNames(folder, error);
  if (!names) return false;

  std::vector<Slot> loaded;
  const auto bytes = std::make_shared<FileBytes>();
  for (const auto& name : *names) {
    const fs::path path = folder / name;
    if (!ReadWholeFile(path, *bytes, error)) return false;
    std::string what;
    auto db = LoadPdb(bytes->Bytes(), &what,
                      onDemand ? PdbContents::HeaderOnly : PdbContents::Everything);
    if (!db) return Fail(error, path, what);
    for (const auto& other : loaded) {
      if (other.db.name == db->name) {
        return Fail(error, path,
                    "holds the database \"" + db->name + "\" as " +
                        (folder / other.fileName).string() + " does");
      }
    }
    loaded.push_back(Slot{std::move(*db), name.string(), false});
    if (onDemand) loaded.back().loadEntries = EntriesFromFile(path, bytes, lateErrors);
  }
  for (auto& slot : loaded) {
    for (const auto& existing : handheld.slots) {
      if (existing.db.name == slot.db.name) {
        return Fail(error, folder / slot.fileName,
                    "holds the database \"" + slot.db.name + "\" already on the handheld");
      }
    }
  }
  std::move(loaded.begin(), loaded.end(), std::back_inserter(handheld.slots));
  return true;
}

}  // namespace

bool LoadHandheldFolder(const fs::path& folder, Handheld& handheld, std::string* error) {
  return LoadFolder(folder, handheld, error, false, nullptr);
}

bool LoadHandheldFolderOnDemand(const fs::path& folder, Handheld& handheld, std::string* error,
                                std::shared_ptr<std::vector<std::string>> lateErrors) {
  return LoadFolder(folder, handheld, error, true, lateErrors);
}

}  // namespace sim
