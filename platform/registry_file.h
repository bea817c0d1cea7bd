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

// Keys and values as a registry file holds them. Key paths are full, as in
// the file ("HKEY_LOCAL_MACHINE\\SOFTWARE\\..."); string data is kept as
// bytes (UTF-16 files are converted to UTF-8).
class RegistryHive {
 public:
  void Set(std::string_view keyPath, std::string_view valueName, std::string data);
  // The data of a string value, or nullptr when the key or value is missing.
  const std::string* Find(std::string_view keyPath, std::string_view valueName) const;

 private:
  // Folded (lower-case ASCII) key path -> folded value name -> data.
  std::map<std::string, std::map<std::string, std::string>> keys_;
};

struct RegistryParseError {
  int line = 0;         // 1-based line of the fault, 0 for the file as a whole
  std::string message;  // what is wrong, e.g. "expected \"name\"=\"string\""
};

// Parses the text of a registry file. Returns the hive, or std::nullopt with
// *error filled in. Never reads outside `text`.
std::optional<RegistryHive> ParseRegistryFile(std::string_view text, RegistryParseError* error);

}  // namespace kestrel
