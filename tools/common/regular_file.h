// SPDX-License-Identifier: MIT
// Reading a small file the commands are given by name (a registry file, the
// settings file): opened without blocking, used only when it is a regular
// file (a link to one is followed), its size checked before it is read.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::cli {

// Reads the regular file at `path` whole into *text. False with *error (the
// path, a colon and what is wrong, e.g. "r.reg: not a regular file") when it
// cannot be opened or read, is not a regular file, or holds more than
// `limit` bytes; *missing is set when nothing is there.
bool ReadRegularFile(const std::string& path, std::uint64_t limit, std::string* text,
                     std::string* error, bool* missing);

#ifndef _WIN32
// Opens `path` with `flags` (plus close-on-exec and no controlling
// terminal) without blocking, and keeps it only when it is a regular file;
// reads and writes on it then block as usual. -1 with *error ("PATH: not a
// regular file", "PATH: cannot open: REASON") otherwise; *missing, when
// given, is set when nothing is there.
int OpenRegular(const std::string& path, int flags, std::string* error, bool* missing);
#endif

}  // namespace kestrel::cli
