#include "driver/file_names.h"

#include <array>

#include "platform/text_file.h"

namespace kestrel {
namespace {

constexpr char ToUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ToUpper(a[i]) != ToUpper(b[i])) return false;
  }
  return true;
}

// Characters that cannot stand in a Windows file name, or that would lead
// out of the data folder or into an alternate data stream.
constexpr bool IsUnsafe(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 1 && byte <= 31) return true;
  for (char unsafe : std::string_view("\\/:*?\"<>|")) {
    if (c == unsafe) return true;
  }
  return false;
}

// Whether Windows opens a device instead of a file for this stem.
bool IsDeviceName(std::string_view stem) {
  std::string_view base = stem.substr(0, stem.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  constexpr std::array<std::string_view, 4> kDevices = {"CON", "PRN", "AUX", "NUL"};
  for (std::string_view device : kDevices) {
    if (EqualsIgnoringCase(base, device)) return true;
  }
  if (base.size() == 4 && base[3] >= '1' && base[3] <= '9') {
    const std::string_view prefix = base.substr(0, 3);
    return EqualsIgnoringCase(prefix, "COM") || EqualsIgnoringCase(prefix, "LPT");
  }
  return false;
}

}  // namespace

std::string BackupStem(std::string_view databaseName) {
  if (EqualsIgnoringCase(databaseName, kImportStem)) return kImportBackupStem;
  std::string stem(databaseName);
  for (char& c : stem) {
    if (IsUnsafe(c)) c = '_';
  }
  if (IsDeviceName(stem)) stem.insert(stem.begin(), '_');
  return stem;
}

void AppendBackupName(std::string& path, std::string_view databaseName) {
  path += kPathSeparator;
  path += BackupStem(databaseName);
  path += kCsvExtension;
}

void AppendImportName(std::string& path) {
  path += kPathSeparator;
  path += kImportStem;
  path += kCsvExtension;
}

}  // namespace kestrel
