// SPDX-License-Identifier: MIT
#include "tools/common/charset.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

// Conversion runs in two steps through UCS-4: the first finds the input's
// characters (a byte that starts none becomes a code point no set holds),
// the second writes them in the output's set. So each failure in the second
// step is exactly one character, whatever the two sets are.

namespace kestrel::cli {
namespace {

constexpr char kUnits[] = "UCS-4LE";
constexpr std::uint32_t kNoCharacter = 0xFFFFFFFF;  // stands for an invalid input byte
constexpr std::uint32_t kQuestionMark = '?';
constexpr std::uint32_t kLineFeed = '\n';
constexpr std::uint32_t kByteOrderMark = 0xFEFF;

const iconv_t kNoHandle = reinterpret_cast<iconv_t>(-1);

void PutUnit(std::string& units, std::uint32_t unit) {
  for (int i = 0; i < 4; ++i) units.push_back(static_cast<char>((unit >> (8 * i)) & 0xFF));
}

std::uint32_t UnitAt(const char* p) {
  std::uint32_t unit = 0;
  for (int i = 3; i >= 0; --i) unit = unit << 8 | static_cast<unsigned char>(p[i]);
  return unit;
}

// Runs `handle` over [*in, *in + *left), appending to `out`; returns when all
// input is used or iconv stops at input it cannot take (errno then EILSEQ or
// EINVAL). False on that stop.
bool Run(iconv_t handle, const char** in, std::size_t* left, std::string& out) {
  char buffer[4096];
  for (;;) {
    char* next = buffer;
    std::size_t room = sizeof buffer;
    char* input = const_cast<char*>(*in);
    const std::size_t result = ::iconv(handle, &input, left, &next, &room);
    const int error = errno;
    *in = input;
    out.append(buffer, static_cast<std::size_t>(next - buffer));
    if (result != static_cast<std::size_t>(-1)) return true;
    if (error != E2BIG) {
      errno = error;
      return false;
    }
  }
}

}  // namespace

struct CharsetConverter::Handles {
  iconv_t decode = kNoHandle;  // input set to UCS-4
  iconv_t encode = kNoHandle;  // UCS-4 to output set
  ~Handles() {
    if (decode != kNoHandle) ::iconv_close(decode);
    if (encode != kNoHandle) ::iconv_close(encode);
  }
};

CharsetConverter::CharsetConverter(std::unique_ptr<Handles> handles)
    : handles_(std::move(handles)) {}

CharsetConverter::~CharsetConverter() = default;

std::string UnknownCharset(const std::string& name) {
  return "unknown character set " + name + "; `iconv -l` lists the names this system knows";
}

std::unique_ptr<CharsetConverter> CharsetConverter::Open(const std::string& to,
                                                         const std::string& from,
                                                         std::string* error) {
  auto handles = std::make_unique<Handles>();
  handles->decode = ::iconv_open(kUnits, from.c_str());
  if (handles->decode == kNoHandle) {
    *error = UnknownCharset(from);
    return nullptr;
  }
  handles->encode = ::iconv_open(to.c_str(), kUnits);
  if (handles->encode == kNoHandle) {
    *error = UnknownCharset(to);
    return nullptr;
  }
  return std::unique_ptr<CharsetConverter>(new CharsetConverter(std::move(handles)));
}

std::size_t CharsetConverter::Convert(std::string_view in, std::string& out,
                                      std::vector<int>* lines, bool dropByteOrderMark) {
  // Step one: the input's characters, an unreadable byte as kNoCharacter.
  std::string units;
  units.reserve(in.size() * 4);
  const char* at = in.data();
  std::size_t left = in.size();
  while (left > 0 && !Run(handles_->decode, &at, &left, units)) {
    PutUnit(units, kNoCharacter);
    ++at;
    --left;
  }
  ::iconv(handles_->decode, nullptr, nullptr, nullptr, nullptr);

  // Step two: each character in the output's set, or "?".
  std::size_t replaced = 0;
  int line = 1;
  const char* counted = units.data();  // line feeds before this are counted
  at = units.data();
  left = units.size();
  if (dropByteOrderMark && left >= 4 && UnitAt(at) == kByteOrderMark) {
    at += 4;
    left -= 4;
    counted = at;
  }
  while (left > 0 && !Run(handles_->encode, &at, &left, out)) {
    for (; counted < at; counted += 4) {
      if (UnitAt(counted) == kLineFeed) ++line;
    }
    ++replaced;
    if (lines != nullptr) lines->push_back(line);
    std::string mark;
    PutUnit(mark, kQuestionMark);
    const char* markAt = mark.data();
    std::size_t markLeft = mark.size();
    if (!Run(handles_->encode, &markAt, &markLeft, out)) out.push_back('?');
    at += 4;
    left -= left < 4 ? left : 4;
    counted = at;
  }
  return replaced;
}

}  // namespace kestrel::cli
