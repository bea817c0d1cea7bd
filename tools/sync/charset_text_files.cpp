// SPDX-License-Identifier: MIT
#include "tools/sync/charset_text_files.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "platform/file_store.h"
#include "platform/text_file_calls.h"

// The table holds plain functions, so what they need lives here, for the one
// scope that is active.

namespace kestrel::cli {
namespace {

// The calls this scope stands in front of, each put back when it goes.
struct NextCalls {
  decltype(TextFileCalls::open)::Function open;
  decltype(TextFileCalls::write)::Function write;
  decltype(TextFileCalls::read)::Function read;
  decltype(TextFileCalls::close)::Function close;
  decltype(TextFileCalls::rename)::Function rename;
  decltype(TextFileCalls::remove)::Function remove;
};

// The file store's calls that are handed a backup file's path: the history
// opens and links the old backup, and opens the new one, under the names
// this scope gave them.
struct NextStoreCalls {
  decltype(FileStoreCalls::openRegular)::Function openRegular;
  decltype(FileStoreCalls::link)::Function link;
};

struct Active {
  CharsetFiles* files = nullptr;
  NextCalls system{};
  NextStoreCalls store{};
  std::map<std::FILE*, std::string> written;  // backup streams, by their desktop path
  std::map<std::FILE*, char*> served;         // converted import texts, freed on close
};
std::unique_ptr<Active> active;

// The import file's text, converted, as a stream of its own; nullptr when
// the file cannot be read.
std::FILE* ServeConverted(std::FILE* file, const std::string& path) {
  std::string bytes;
  int c = 0;
  while (bytes.size() < kMaxConvertedImport && (c = active->system.read(file)) >= 0) {
    bytes.push_back(static_cast<char>(c));
  }
  const bool readable = c != kReadFailed;
  active->system.close(file, false);
  if (!readable) return nullptr;
  const std::string text = active->files->ImportText(bytes, path);
  char* const buffer = static_cast<char*>(std::malloc(text.size() + 1));
  if (buffer == nullptr) return nullptr;
  std::memcpy(buffer, text.data(), text.size());
  std::FILE* const stream = ::fmemopen(buffer, text.size(), "r");
  if (stream == nullptr) {
    std::free(buffer);
    return nullptr;
  }
  active->served[stream] = buffer;
  return stream;
}

std::FILE* Open(const std::string& path, const std::string& newPath, TextFileMode mode) {
  const std::string desktop = active->files->DesktopPath(path);
  const std::string newDesktop = newPath.empty() ? newPath : active->files->DesktopPath(newPath);
  std::FILE* const file = active->system.open(desktop, newDesktop, mode);
  if (file == nullptr) return nullptr;
  if (mode == TextFileMode::Read) return ServeConverted(file, desktop);
  active->files->CountName(path);
  active->written[file] = desktop;
  return file;
}

std::size_t Write(const char* data, std::size_t size, std::FILE* stream) {
  const auto found = active->written.find(stream);
  if (found == active->written.end()) return active->system.write(data, size, stream);
  const std::string text = active->files->BackupText({data, size}, found->second);
  return active->system.write(text.data(), text.size(), stream) == text.size() ? size : 0;
}

int Close(std::FILE* stream, bool toDisk) {
  active->written.erase(stream);
  const int result = active->system.close(stream, toDisk);
  if (const auto found = active->served.find(stream); found != active->served.end()) {
    std::free(found->second);
    active->served.erase(found);
  }
  return result;
}

// A file is renamed into place as a backup: one of the same database in the
// handheld's bytes, from a sync without --charset, is noted for the summary.
bool Rename(const SystemPath& from, const SystemPath& to) {
  const std::string desktop = active->files->DesktopPath(to);
  struct stat raw {};
  if (desktop != to && ::lstat(to.c_str(), &raw) == 0 && S_ISREG(raw.st_mode)) {
    active->files->NoteOtherSetFile(to, desktop);
  }
  return active->system.rename(active->files->DesktopPath(from), desktop);
}

void Remove(const SystemPath& path) { active->system.remove(active->files->DesktopPath(path)); }

OpenResult OpenRegular(const SystemPath& path, bool followLink, FileHandle* file) {
  return active->store.openRegular(active->files->DesktopPath(path), followLink, file);
}

PlaceResult Link(FileHandle file, const SystemPath& source, const SystemPath& target) {
  return active->store.link(file, active->files->DesktopPath(source), target);
}

}  // namespace

CharsetTextFileScope::CharsetTextFileScope(CharsetFiles& files) {
  active = std::make_unique<Active>();
  active->files = &files;
  TextFileCalls& calls = TextFileSystem();
  active->system = {calls.open.Set(&Open),   calls.write.Set(&Write),   calls.read.Current(),
                    calls.close.Set(&Close), calls.rename.Set(&Rename), calls.remove.Set(&Remove)};
  FileStoreCalls& store = FileStore();
  active->store = {store.openRegular.Set(&OpenRegular), store.link.Set(&Link)};
}

CharsetTextFileScope::~CharsetTextFileScope() {
  TextFileCalls& calls = TextFileSystem();
  calls.open.Set(active->system.open);
  calls.write.Set(active->system.write);
  calls.close.Set(active->system.close);
  calls.rename.Set(active->system.rename);
  calls.remove.Set(active->system.remove);
  FileStore().openRegular.Set(active->store.openRegular);
  FileStore().link.Set(active->store.link);
  for (const auto& [stream, buffer] : active->served) {
    active->system.close(stream, false);
    std::free(buffer);
  }
  active.reset();
}

}  // namespace kestrel::cli
