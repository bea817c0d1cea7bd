// SPDX-License-Identifier: MIT
// Paths as the system's calls take them. The conduit builds its paths as
// text in the host's code page; each system turns them into its own form
// here, once, before any call is made.
#pragma once

#include <string>

namespace kestrel {

#ifdef _WIN32
// The wide-character form, with the "\\?\" prefix ("\\?\UNC\" for a share),
// so that no path is held to MAX_PATH: a data folder of 254 characters and
// a file three folders below it is longer than that.
using SystemPath = std::wstring;
#else
using SystemPath = std::string;
#endif

// The separator between the data folder and a file name on this system.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// `path` as the system's calls take it; empty when it cannot be (a byte the
// code page does not hold). On Windows "/" becomes "\", runs of "\" (the
// doubled one of a folder that ends in one) collapse to one, a relative
// path is made full, and the long-path prefix goes in front. On POSIX the
// path is the system's as it is.
SystemPath ToSystemPath(const std::string& path);

// The path as text, for messages and tests: on Windows without the prefix,
// each character outside ASCII as "?".
std::string SystemPathText(const SystemPath& path);

}  // namespace kestrel
