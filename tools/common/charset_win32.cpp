// SPDX-License-Identifier: MIT
// CharsetConverter on Windows, where there is no iconv: the system's
// MultiByteToWideChar and WideCharToMultiByte, for the sets it maps by name
// (UTF-8 and WINDOWS-1250 to WINDOWS-1258). As with iconv, the text is
// first read into characters, a byte that starts none becoming one that no
// set holds, and then each character is written on its own, with
// WC_NO_BEST_FIT_CHARS: so a character the output's set lacks becomes
// exactly one "?", never a look-alike.
#include <windows.h>

#include <cstdint>
#include <unordered_map>

#include "tools/common/charset.h"

namespace kestrel::cli {
namespace {

constexpr char32_t kNoCharacter = 0xFFFFFFFF;
constexpr char32_t kByteOrderMark = 0xFEFF;

// The code page of a set name, or 0.
UINT CodePageOfName(const std::string& name) {
  std::string upper;
  for (const char c : name) upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  if (upper == "UTF-8" || upper == "UTF8") return CP_UTF8;
  for (UINT page = 1250; page <= 1258; ++page) {
    if (upper == "WINDOWS-" + std::to_string(page) || upper == "CP" + std::to_string(page)) {
      return page;
    }
  }
  return 0;
}

std::size_t Utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  return lead >= 0xC0 ? 2 : 1;
}

// The characters of `in`, which is in code page `page`.
std::u32string Decode(UINT page, std::string_view in) {
  std::u32string characters;
  characters.reserve(in.size());
  std::size_t at = 0;
  while (at < in.size()) {
    const std::size_t length =
        page == CP_UTF8 ? std::min(Utf8Length(static_cast<unsigned char>(in[at])), in.size() - at)
                        : 1;
    wchar_t units[2] = {};
    const int count = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, in.data() + at,
                                          static_cast<int>(length), units, 2);
    if (count == 1 && !(units[0] >= 0xD800 && units[0] <= 0xDFFF)) {
      characters.push_back(units[0]);
    } else if (count == 2 && units[0] >= 0xD800 && units[0] <= 0xDBFF) {
      characters.push_back(0x10000 + ((units[0] - 0xD800) << 10) + (units[1] - 0xDC00));
    } else {
      characters.push_back(kNoCharacter);
      at += 1;  // the next byte may start a character
      continue;
    }
    at += length;
  }
  return characters;
}

}  // namespace

struct CharsetConverter::Handles {
  UINT from = 0;
  UINT to = 0;
  std::unordered_map<char32_t, std::string> written;  // a character in `to`; "" when lacking
};

CharsetConverter::CharsetConverter(std::unique_ptr<Handles> handles)
    : handles_(std::move(handles)) {}

CharsetConverter::~CharsetConverter() = default;

std::unique_ptr<CharsetConverter> CharsetConverter::Open(const std::string& to,
                                                         const std::string& from,
                                                         std::string* error) {
  auto handles = std::make_unique<Handles>();
  handles->from = CodePageOfName(from);
  if (handles->from == 0) {
    *error = "unknown character set " + from;
    return nullptr;
  }
  handles->to = CodePageOfName(to);
  if (handles->to == 0) {
    *error = "unknown character set " + to;
    return nullptr;
  }
  return std::unique_ptr<CharsetConverter>(new CharsetConverter(std::move(handles)));
}

std::size_t CharsetConverter::Convert(std::string_view in, std::string& out,
                                      std::vector<int>* lines, bool dropByteOrderMark) {
  const std::u32string characters = Decode(handles_->from, in);
  std::size_t replaced = 0;
  int line = 1;
  for (std::size_t i = 0; i < characters.size(); ++i) {
    const char32_t c = characters[i];
    if (i == 0 && dropByteOrderMark && c == kByteOrderMark) continue;
    if (c == '\n') ++line;
    auto [known, added] = handles_->written.try_emplace(c);
    if (added && c != kNoCharacter) {
      wchar_t units[2];
      int count = 1;
      if (c >= 0x10000) {
        units[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        units[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        count = 2;
      } else {
        units[0] = static_cast<wchar_t>(c);
      }
      char bytes[8];
      BOOL lacking = FALSE;
      const bool utf8 = handles_->to == CP_UTF8;
      const int length =
          WideCharToMultiByte(handles_->to, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, units, count, bytes,
                              sizeof bytes, nullptr, utf8 ? nullptr : &lacking);
      if (length > 0 && !lacking) known->second.assign(bytes, static_cast<std::size_t>(length));
    }
    if (known->second.empty()) {
      out.push_back('?');
      ++replaced;
      if (lines != nullptr) lines->push_back(line);
    } else {
      out += known->second;
    }
  }
  return replaced;
}

}  // namespace kestrel::cli
