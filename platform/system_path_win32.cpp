// SPDX-License-Identifier: MIT
// Paths on Windows: the host's code page to wide characters, in the long
// form that the wide calls take past MAX_PATH. With the prefix the system
// takes the path literally, so it is made full and clean here first.
#include <windows.h>

#include <string_view>

#include "platform/system_path.h"

namespace kestrel {
namespace {

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC\\";

std::wstring Widened(const std::string& path) {
  const int size = static_cast<int>(path.size());
  const int length =
      MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.data(), size, wide.data(), length);
  return wide;
}

// "/" as "\", and every run of "\" as one, but the two that open a share.
std::wstring Cleaned(std::wstring_view path) {
  std::wstring clean;
  clean.reserve(path.size());
  for (std::size_t i = 0; i < path.size(); ++i) {
    const wchar_t c = path[i] == L'/' ? L'\\' : path[i];
    const bool shareStart = i == 1 && clean == L"\\";
    if (c == L'\\' && !clean.empty() && clean.back() == L'\\' && !shareStart) continue;
    clean += c;
  }
  return clean;
}

// Whether the system must complete the path: a relative one, or one with a
// "." or ".." part, which the long form would take literally. Other paths
// are left as they are, since completing also drops trailing dots and
// spaces, which a backup's name may end in.
bool NeedsCompleting(const std::wstring& path) {
  const bool drive = path.size() >= 3 && path[1] == L':' && path[2] == L'\\';
  if (!drive && path.compare(0, 2, L"\\\\") != 0) return true;
  for (const std::wstring_view part : {L"\\.\\", L"\\..\\"}) {
    if (path.find(part) != std::wstring::npos) return true;
  }
  const std::wstring_view view = path;
  return view.ends_with(L"\\.") || view.ends_with(L"\\..");
}

// The full path, "." and ".." resolved as the system would.
std::wstring Full(const std::wstring& path) {
  if (!NeedsCompleting(path)) return path;
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return {};
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return {};
  full.resize(length);
  return full;
}

}  // namespace

SystemPath ToSystemPath(const std::string& path) {
  if (path.empty()) return {};
  std::wstring wide = Widened(path);
  if (wide.empty()) return {};
  // A path already in the long form is the caller's own, taken as it is.
  if (wide.compare(0, kLongPrefix.size(), kLongPrefix) == 0) return wide;
  wide = Full(Cleaned(wide));
  if (wide.size() < 3) return {};
  if (wide.compare(0, 2, L"\\\\") == 0) return std::wstring(kLongUncPrefix) + wide.substr(2);
  return std::wstring(kLongPrefix) + wide;
}

std::string SystemPathText(const SystemPath& path) {
  std::wstring_view view = path;
  std::string text;
  if (view.compare(0, kLongUncPrefix.size(), kLongUncPrefix) == 0) {
    view.remove_prefix(kLongUncPrefix.size());
    text = "\\\\";
  } else if (view.compare(0, kLongPrefix.size(), kLongPrefix) == 0) {
    view.remove_prefix(kLongPrefix.size());
  }
  for (const wchar_t c : view) text += c < 0x80 ? static_cast<char>(c) : '?';
  return text;
}

}  // namespace kestrel
