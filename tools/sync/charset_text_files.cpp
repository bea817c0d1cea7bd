#include "tools/sync/charset_text_files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "platform/text_file_calls.h"

// The table holds plain functions, so what they need lives here, for the one
// scope that is active.

namespace kestrel::cli {
namespace {

struct Active {
  CharsetFiles* files = nullptr;
  TextFileCalls system{};                     // the calls this scope stands in front of
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

std::FILE* Open(const std::string& path, TextFileMode mode) {
  const std::string desktop = active->files->DesktopPath(path);
  std::FILE* const file = active->system.open(desktop, mode);
  if (file == nullptr) return nullptr;
  if (mode == TextFileMode::Read) return ServeConverted(file, desktop);
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

bool Rename(const SystemPath& from, const SystemPath& to) {
  return active->system.rename(active->files->DesktopPath(from), active->files->DesktopPath(to));
}

void Remove(const SystemPath& path) { active->system.remove(active->files->DesktopPath(path)); }

}  // namespace

CharsetTextFileScope::CharsetTextFileScope(CharsetFiles& files) {
  active = std::make_unique<Active>();
  active->files = &files;
  TextFileCalls& calls = TextFileSystem();
  active->system = calls;
  calls.open = &Open;
  calls.write = &Write;
  calls.close = &Close;
  calls.rename = &Rename;
  calls.remove = &Remove;
}

CharsetTextFileScope::~CharsetTextFileScope() {
  TextFileSystem() = active->system;
  for (const auto& [stream, buffer] : active->served) {
    active->system.close(stream, false);
    std::free(buffer);
  }
  active.reset();
}

}  // namespace kestrel::cli
