// SPDX-License-Identifier: MIT
// Registry files in the text form that the registry editor exports and
// imports: a first line "Windows Registry Editor Version 5.00" or "REGEDIT4",
// [key] sections and "name"="string" values with \\ and \" escapes. Key and
// value names match ignoring letter case, as in the registry. The file may be
// UTF-8/ANSI text or UTF-16LE with a byte-order mark.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// Keys and string values as a registry file leaves them. Key paths are full,
// as in the file ("HKEY_LOCAL_MACHINE\\SOFTWARE\\..."); a root may also be
// written abbreviated (HKLM, HKCU, HKCR, HKU, HKCC). Key paths and value names
// are matched ignoring ASCII letter case; the default value's name is "".
// String data is kept as bytes (UTF-16 files are converted to UTF-8).
class RegistryHive {
 public:
  // Adds a key with no values, unless it is there.
  void AddKey(std::string_view keyPath);
  // Whether the key is there (a key named in the file, or holding a value).
  bool HasKey(std::string_view keyPath) const;
  // Sets (or replaces) a string value.
  void Set(std::string_view keyPath, std::string_view valueName, std::string data);
  // Removes one value; nothing happens when it is missing.
  void Remove(std::string_view keyPath, std::string_view valueName);
  // Removes a key with all its values and all its subkeys.
  void RemoveKey(std::string_view keyPath);
  // The data of a string value, or nullptr when the key or value is missing.
  const std::string* Find(std::string_view keyPath, std::string_view valueName) const;

 private:
  // Folded key path -> folded value name -> data.
  std::map<std::string, std::map<std::string, std::string>> keys_;
};

struct RegistryParseError {
  int line = 0;         // 1-based line of the fault, 0 for the file as a whole
  std::string message;  // what is wrong, e.g. "expected \"name\"=\"string\""
};

// Parses the text of a registry file. Returns the hive, or std::nullopt with
// *error (when not null) filled in. Never reads outside `text`.
//
// Accepted besides string values: comment lines (";"), blank lines, [-key]
// (removes the key and its subkeys), "name"=- (removes the value), and values
// of other types (dword:, hex:, hex(N): with "\" line continuation). Those are
// checked for form but not kept: the conduit reads string values only, so a
// value of another type reads as missing, and it replaces a string value of
// the same name set earlier, as in the registry.
std::optional<RegistryHive> ParseRegistryFile(std::string_view text, RegistryParseError* error);

}  // namespace kestrel
