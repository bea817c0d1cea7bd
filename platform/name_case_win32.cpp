// SPDX-License-Identifier: MIT
// File names on Windows: with an ANSI code page other than 1252, the
// system's own ordinal comparison of the wide names, letter case ignored.
#include <windows.h>

#include <string>

#include "platform/name_case.h"

namespace kestrel {
namespace {

constexpr UINT kWestern = 1252;

bool Widen(std::string_view name, std::wstring* wide) {
  if (name.empty()) return true;
  const int size = static_cast<int>(name.size());
  const int length =
      MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name.data(), size, nullptr, 0);
  if (length <= 0) return false;
  wide->assign(static_cast<std::size_t>(length), L'\0');
  return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name.data(), size, wide->data(),
                             length) == length;
}

}  // namespace

std::optional<bool> SystemNamesEqualIgnoringCase(std::string_view a, std::string_view b) {
  if (GetACP() == kWestern) return std::nullopt;
  std::wstring wideA;
  std::wstring wideB;
  if (!Widen(a, &wideA) || !Widen(b, &wideB)) return std::nullopt;
  const int order = CompareStringOrdinal(wideA.c_str(), static_cast<int>(wideA.size()),
                                         wideB.c_str(), static_cast<int>(wideB.size()), TRUE);
  return order == CSTR_EQUAL;
}

}  // namespace kestrel
