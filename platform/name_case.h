// SPDX-License-Identifier: MIT
// How the system compares file names when it ignores letter case, where the
// conduit's own rule (Windows-1252 letters, driver/file_names.cpp) would not
// say the same: on Windows with an ANSI code page other than 1252.
#pragma once

#include <optional>
#include <string_view>

namespace kestrel {

// Whether the system takes the names `a` and `b` (in the host's code page)
// for one file name, letter case ignored: on Windows with another ANSI code
// page, CompareStringOrdinal on the wide names. std::nullopt where the
// Windows-1252 rule stands (POSIX, Windows with code page 1252), and for a
// name the code page does not hold.
std::optional<bool> SystemNamesEqualIgnoringCase(std::string_view a, std::string_view b);

}  // namespace kestrel
