// SPDX-License-Identifier: MIT
// Converting text between two character sets, with the C library's iconv on
// POSIX and the system's code-page calls on Windows (charset_win32.cpp, for
// UTF-8 and WINDOWS-1250 to WINDOWS-1258): the desktop's text files
// (--charset) and the handheld's (--handheld-charset).
// A character that cannot be converted, because the input is not valid in
// its set or the output's set lacks it, becomes "?" and is counted.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::cli {

// The handheld's character set when --handheld-charset is not given.
inline constexpr char kDefaultHandheldCharset[] = "WINDOWS-1252";

// The message for a character set iconv does not know, saying where to
// find the names it does.
std::string UnknownCharset(const std::string& name);

class CharsetConverter {
 public:
  // A converter from `from` to `to`, or nullptr with *error a one-line
  // message when iconv knows either set not.
  static std::unique_ptr<CharsetConverter> Open(const std::string& to, const std::string& from,
                                                std::string* error);
  ~CharsetConverter();
  CharsetConverter(const CharsetConverter&) = delete;
  CharsetConverter& operator=(const CharsetConverter&) = delete;

  // Appends `in`, converted, to `out` and returns how many characters became
  // "?". When `lines` is given, it gets the line of each (1 for the first,
  // counting line feeds in `in`). Each call converts a whole text: a
  // character cut at the end of `in` is one that cannot be converted. With
  // `dropByteOrderMark`, a byte-order mark (U+FEFF) that starts the text is
  // left out: it marks the set, it is no text.
  std::size_t Convert(std::string_view in, std::string& out, std::vector<int>* lines = nullptr,
                      bool dropByteOrderMark = false);

 private:
  struct Handles;
  explicit CharsetConverter(std::unique_ptr<Handles> handles);
  std::unique_ptr<Handles> handles_;
};

// A pair of converters between the desktop's set and the handheld's.
struct CharsetPair {
  std::unique_ptr<CharsetConverter> toHandheld;
  std::unique_ptr<CharsetConverter> toDesktop;
};

// Opens both converters; false with *error when either cannot be had.
bool OpenCharsetPair(const std::string& desktop, const std::string& handheld, CharsetPair* pair,
                     std::string* error);

}  // namespace kestrel::cli
