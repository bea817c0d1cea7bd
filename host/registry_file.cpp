// SPDX-License-Identifier: MIT
// Reading registry files. The text is decoded to UTF-8 first (a UTF-16LE file
// is converted whole), then read line by line. Every step works on string
// views of the decoded text and checks its length before looking at a byte.
#include "host/registry_file.h"

#include <climits>
#include <cstdint>
#include <utility>

namespace kestrel {
namespace {

constexpr std::string_view kHeaderVersion5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeaderVersion4 = "REGEDIT4";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";
constexpr const char* kUnknownType =
    "unknown value type: expected a quoted string, -, dword:, hex: or hex(N):";

struct RootKey {
  std::string_view name;  // folded
  std::string_view abbreviation;
};
constexpr RootKey kRootKeys[] = {
    {"hkey_local_machine", "hklm"}, {"hkey_current_user", "hkcu"},   {"hkey_classes_root", "hkcr"},
    {"hkey_users", "hku"},          {"hkey_current_config", "hkcc"},
};

char FoldChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Fold(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = FoldChar(c);
  return folded;
}

// The folded first component of a key path.
std::string_view RootOf(std::string_view foldedPath) {
  return foldedPath.substr(0, foldedPath.find('\\'));
}

// Folds a key path and spells an abbreviated root out, so that
// "HKLM\Software" and "hkey_local_machine\software" are the same key.
std::string FoldKeyPath(std::string_view path) {
  std::string folded = Fold(path);
  const std::size_t rootLength = RootOf(folded).size();
  for (const RootKey& root : kRootKeys) {
    if (RootOf(folded) == root.abbreviation) {
      folded.replace(0, rootLength, root.name);
      break;
    }
  }
  return folded;
}

bool IsRootKey(std::string_view foldedRoot) {
  for (const RootKey& root : kRootKeys) {
    if (foldedRoot == root.name || foldedRoot == root.abbreviation) return true;
  }
  return false;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view Trim(std::string_view text) { return TrimLeft(TrimRight(text)); }

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool AllHexDigits(std::string_view text) {
  for (char c : text) {
    if (!IsHexDigit(c)) return false;
  }
  return true;
}

void AppendUtf8(std::uint32_t codePoint, std::string* out) {
  if (codePoint < 0x80) {
    out->push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
    out->push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

void Fail(RegistryParseError* error, int line, std::string message) {
  if (error != nullptr) {
    error->line = line;
    error->message = std::move(message);
  }
}

// Converts UTF-16LE text (without its byte-order mark) to UTF-8. A lone
// surrogate is refused with the line it stands on.
bool DecodeUtf16Le(std::string_view bytes, std::string* out, RegistryParseError* error) {
  if (bytes.size() % 2 != 0) {
    Fail(error, 0, "UTF-16 text with an odd number of bytes");
    return false;
  }
  out->reserve(bytes.size());
  int line = 1;
  auto unitAt = [&bytes](std::size_t i) -> std::uint32_t {
    return static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
  };
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    std::uint32_t unit = unitAt(i);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 2 >= bytes.size() || unitAt(i + 2) < 0xDC00 || unitAt(i + 2) > 0xDFFF) {
        Fail(error, line, "invalid UTF-16 text: unpaired surrogate");
        return false;
      }
      unit = 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 2) - 0xDC00);
      i += 2;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      Fail(error, line, "invalid UTF-16 text: unpaired surrogate");
      return false;
    }
    if (unit == '\n' && line < INT_MAX) ++line;
    AppendUtf8(unit, out);
  }
  return true;
}

// Hands out the lines of the text one at a time, without their LF or CR LF.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : rest_(text) {}

  bool Next(std::string_view* line) {
    if (rest_.empty()) return false;
    const std::size_t end = rest_.find('\n');
    *line = rest_.substr(0, end);
    rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
    if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
    if (number_ < INT_MAX) ++number_;
    return true;
  }

  // The 1-based number of the line that Next() handed out last.
  int number() const { return number_; }

 private:
  std::string_view rest_;
  int number_ = 0;
};

// Parses the body of a registry file, line by line, into a hive.
class Parser {
 public:
  Parser(std::string_view text, RegistryParseError* error) : lines_(text), error_(error) {}

  std::optional<RegistryHive> Run() {
    std::string_view line;
    if (!lines_.Next(&line) ||
        (TrimRight(line) != kHeaderVersion5 && TrimRight(line) != kHeaderVersion4)) {
      Fail(error_, 1,
           "not a registry file: the first line must be \"Windows Registry Editor Version 5.00\" "
           "or \"REGEDIT4\"");
      return std::nullopt;
    }
    while (lines_.Next(&line)) {
      line = Trim(line);
      if (line.empty() || line.front() == ';') continue;
      const bool ok = line.front() == '[' ? KeyLine(line) : ValueLine(line);
      if (!ok) return std::nullopt;
    }
    return std::move(hive_);
  }

 private:
  // Records a fault on the current line; returns false for the caller to pass on.
  bool Error(std::string message) {
    Fail(error_, lines_.number(), std::move(message));
    return false;
  }

  // "[path]" opens a key; "[-path]" removes it with its subkeys.
  bool KeyLine(std::string_view line) {
    if (line.size() < 2 || line.back() != ']') {
      return Error("key line without a closing \"]\"");
    }
    std::string_view path = line.substr(1, line.size() - 2);
    const bool removal = !path.empty() && path.front() == '-';
    if (removal) path.remove_prefix(1);
    if (path.empty()) return Error("empty key path");
    if (!IsRootKey(RootOf(Fold(path)))) {
      return Error("key path does not begin with a root key such as HKEY_LOCAL_MACHINE");
    }
    for (std::size_t start = 0;;) {
      const std::size_t end = path.find('\\', start);
      if (end == start || start == path.size()) {
        return Error("key path with an empty key name");
      }
      if (end == std::string_view::npos) break;
      start = end + 1;
    }
    if (removal) {
      hive_.RemoveKey(path);
      key_.reset();
    } else {
      key_ = std::string(path);
      hive_.AddKey(path);
    }
    return true;
  }

  // A quoted string at the start of *text, with \\ and \" escapes; *text is
  // left after the closing quote.
  bool QuotedString(std::string_view* text, std::string* out) {
    text->remove_prefix(1);  // the opening quote
    while (!text->empty()) {
      const char c = text->front();
      text->remove_prefix(1);
      if (c == '"') return true;
      if (c == '\\') {
        if (text->empty()) break;
        const char escaped = text->front();
        if (escaped != '\\' && escaped != '"') {
          return Error("bad escape in a string: only \\\\ and \\\" are allowed");
        }
        text->remove_prefix(1);
        out->push_back(escaped);
      } else {
        out->push_back(c);
      }
    }
    return Error("unterminated string");
  }

  // "name"=data or @=data.
  bool ValueLine(std::string_view line) {
    if (line.front() != '"' && line.front() != '@') {
      return Error("expected a [key] line or a \"name\"=value line");
    }
    if (!key_) return Error("value line outside a [key] section");
    std::string name;
    if (line.front() == '@') {
      line.remove_prefix(1);
    } else if (!QuotedString(&line, &name)) {
      return false;
    }
    line = TrimLeft(line);
    if (line.empty() || line.front() != '=') {
      return Error("expected \"=\" after the value name");
    }
    line = TrimLeft(line.substr(1));

    if (!line.empty() && line.front() == '"') {
      std::string data;
      if (!QuotedString(&line, &data)) return false;
      if (!Trim(line).empty()) return Error("unexpected text after the value");
      hive_.Set(*key_, name, std::move(data));
      return true;
    }
    if (line == "-") {
      hive_.Remove(*key_, name);
      return true;
    }
    if (!OtherTypeValue(line)) return false;
    // Not a string value: whatever string of that name came before is gone.
    hive_.Remove(*key_, name);
    return true;
  }

  // dword:XXXXXXXX, hex:.. or hex(N):.., checked for form only.
  bool OtherTypeValue(std::string_view data) {
    const std::size_t colon = data.find(':');
    const std::string type = Fold(data.substr(0, colon));
    if (colon == std::string_view::npos) return Error(kUnknownType);
    data.remove_prefix(colon + 1);
    if (type == "dword") {
      data = Trim(data);
      if (data.empty() || data.size() > 8 || !AllHexDigits(data)) {
        return Error("bad dword value: expected 1 to 8 hex digits");
      }
      return true;
    }
    const bool hexType =
        type == "hex" ||
        (type.size() > 5 && type.size() <= 13 && type.starts_with("hex(") && type.back() == ')' &&
         AllHexDigits(std::string_view(type).substr(4, type.size() - 5)));
    if (!hexType) return Error(kUnknownType);
    return HexBytes(data);
  }

  // Comma-separated two-digit hex bytes; a line ending in "\" continues on
  // the next line.
  bool HexBytes(std::string_view data) {
    enum class Expect { FirstByte, Byte, CommaOrEnd } expect = Expect::FirstByte;
    for (;;) {
      data = TrimRight(data);
      const bool continued = !data.empty() && data.back() == '\\';
      if (continued) data.remove_suffix(1);
      for (std::size_t i = 0; i < data.size();) {
        const char c = data[i];
        if (IsBlank(c)) {
          ++i;
        } else if (c == ',') {
          if (expect != Expect::CommaOrEnd) return Error("bad hex value: misplaced comma");
          expect = Expect::Byte;
          ++i;
        } else if (i + 1 < data.size() && IsHexDigit(c) && IsHexDigit(data[i + 1])) {
          if (expect == Expect::CommaOrEnd) {
            return Error("bad hex value: expected a comma between bytes");
          }
          expect = Expect::CommaOrEnd;
          i += 2;
        } else {
          return Error("bad hex value: expected two-digit hex bytes separated by commas");
        }
      }
      if (!continued) break;
      if (!lines_.Next(&data)) return Error("file ends inside a continued hex value");
    }
    if (expect == Expect::Byte) return Error("bad hex value: ends with a comma");
    return true;
  }

  LineReader lines_;
  RegistryParseError* error_;
  RegistryHive hive_;
  std::optional<std::string> key_;  // the key that value lines go to, as written
};

}  // namespace

void RegistryHive::Set(std::string_view keyPath, std::string_view valueName, std::string data) {
  keys_[FoldKeyPath(keyPath)][Fold(valueName)] = std::move(data);
}

void RegistryHive::AddKey(std::string_view keyPath) { keys_[FoldKeyPath(keyPath)]; }

bool RegistryHive::HasKey(std::string_view keyPath) const {
  return keys_.count(FoldKeyPath(keyPath)) != 0;
}

void RegistryHive::Remove(std::string_view keyPath, std::string_view valueName) {
  const auto key = keys_.find(FoldKeyPath(keyPath));
  if (key != keys_.end()) key->second.erase(Fold(valueName));
}

void RegistryHive::RemoveKey(std::string_view keyPath) {
  const std::string folded = FoldKeyPath(keyPath);
  keys_.erase(folded);
  // Subkeys sort together, right after the key's path and a backslash.
  const std::string prefix = folded + '\\';
  auto sub = keys_.lower_bound(prefix);
  while (sub != keys_.end() && sub->first.starts_with(prefix)) sub = keys_.erase(sub);
}

const std::string* RegistryHive::Find(std::string_view keyPath, std::string_view valueName) const {
  const auto key = keys_.find(FoldKeyPath(keyPath));
  if (key == keys_.end()) return nullptr;
  const auto value = key->second.find(Fold(valueName));
  return value == key->second.end() ? nullptr : &value->second;
}

std::optional<RegistryHive> ParseRegistryFile(std::string_view text, RegistryParseError* error) {
  if (text.starts_with(kUtf16LeBom)) {
    std::string decoded;
    if (!DecodeUtf16Le(text.substr(kUtf16LeBom.size()), &decoded, error)) return std::nullopt;
    return Parser(decoded, error).Run();
  }
  if (text.starts_with(kUtf16BeBom)) {
    Fail(error, 0, "UTF-16 big-endian text is not supported; save the file as UTF-16LE or UTF-8");
    return std::nullopt;
  }
  if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  return Parser(text, error).Run();
}

}  // namespace kestrel
