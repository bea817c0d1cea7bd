#include "driver/file_names.h"

#include <array>
#include <utility>

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
  constexpr std::array<std::string_view, 6> kDevices = {"CON", "PRN",    "AUX",
                                                        "NUL", "CONIN$", "CONOUT$"};
  for (std::string_view device : kDevices) {
    if (EqualsIgnoringCase(base, device)) return true;
  }
  if (base.size() != 4) return false;
  const std::string_view prefix = base.substr(0, 3);
  if (!EqualsIgnoringCase(prefix, "COM") && !EqualsIgnoringCase(prefix, "LPT")) return false;
  // A digit 1-9, or a superscript one, two or three in the ANSI code page.
  const auto port = static_cast<unsigned char>(base[3]);
  return (port >= '1' && port <= '9') || port == 0xB9 || port == 0xB2 || port == 0xB3;
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

void BackupNames::Append(std::string& path, std::string_view databaseName) {
  std::string stem = BackupStem(databaseName);
  if (Given(stem)) {
    const std::size_t plain = stem.size();
    for (int number = 2;; ++number) {
      stem.resize(plain);
      stem += '-';
      stem += std::to_string(number);
      if (!Given(stem)) break;
    }
  }
  path += kPathSeparator;
  path += stem;
  path += kCsvExtension;
  given_.push_back(std::move(stem));
}

bool BackupNames::Given(std::string_view stem) const {
  for (const std::string& given : given_) {
    if (EqualsIgnoringCase(given, stem)) return true;
  }
  return false;
}

void AppendImportName(std::string& path) {
  path += kPathSeparator;
  path += kImportStem;
  path += kCsvExtension;
}

}  // namespace kestrel
