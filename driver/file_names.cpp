// SPDX-License-Identifier: MIT
#include "driver/file_names.h"

#include <array>
#include <optional>
#include <string>
#include <utility>

#include "platform/name_case.h"
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

// The capital of a Windows-1252 letter; any other byte as it is.
constexpr unsigned char Capital1252(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 'a' + 'A');
  // à-þ but ÷ to À-Þ but ×; ß has no capital in the set.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  if (c == 0x9A || c == 0x9C || c == 0x9E) return static_cast<unsigned char>(c - 0x10);  // š œ ž
  if (c == 0xFF) return 0x9F;                                                            // ÿ
  return c;
}

constexpr bool Equals1252IgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Capital1252(static_cast<unsigned char>(a[i])) !=
        Capital1252(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

constexpr bool IsLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

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

bool SameFileName(std::string_view a, std::string_view b) {
  if (const std::optional<bool> system = SystemNamesEqualIgnoringCase(a, b)) return *system;
  return Equals1252IgnoringCase(a, b);
}

StemPair BackupNames::Append(std::string& path, std::string_view databaseName) {
  StemPair pair;
  pair.stem = BackupStem(databaseName);
  pair.written = conversion_ ? conversion_(pair.stem) : pair.stem;
  if (Given(pair.written)) {
    const StemPair plain = pair;
    for (int number = 2;; ++number) {
      const std::string suffix = "-" + std::to_string(number);
      pair.written = plain.written + suffix;
      if (!Given(pair.written)) {
        pair.stem = plain.stem + suffix;
        break;
      }
    }
  }
  path += kPathSeparator;
  path += pair.stem;
  path += kCsvExtension;
  given_.push_back(pair.written);
  return pair;
}

bool BackupNames::Given(std::string_view written) const {
  for (const std::string& given : given_) {
    if (SameFileName(given, written)) return true;
  }
  return false;
}

bool IsBackupLeftover(std::string_view name) {
  const std::string earlier = std::string(kCsvExtension) + kEarlierNewFileSuffix;
  if (name.ends_with(earlier)) return true;
  const std::string_view suffix = kNewFileSuffix;
  const std::size_t tail = 1 + kNewFileDigits + suffix.size();  // ".", the digits, the suffix
  if (name.size() < tail || !name.ends_with(suffix)) return false;
  const std::string_view front = name.substr(0, name.size() - tail);
  const std::string_view digits = name.substr(front.size() + 1, kNewFileDigits);
  if (name[front.size()] != '.' || !front.ends_with(kCsvExtension)) return false;
  for (const char c : digits) {
    if (!IsLowerHex(c)) return false;
  }
  return true;
}

void AppendImportName(std::string& path) {
  path += kPathSeparator;
  path += kImportStem;
  path += kCsvExtension;
}

}  // namespace kestrel
