// SPDX-License-Identifier: MIT
// Files of the kestrel-sync cases: where the repository's expected outputs
// are, and whole-file reads and writes for setting up folders and checking
// them afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace kestrel::testing {

inline const std::filesystem::path kRoot = KESTREL_ROOT_DIR;
inline const std::filesystem::path kExpected = kRoot / "tools" / "sync" / "tests" / "expected";

// The bytes of `path`; a file that cannot be read fails the test, so that a
// missing expected file is never taken for an empty one.
inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) ADD_FAILURE() << "cannot read " << path;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Replaces `path` with `bytes`; a write that fails fails the test.
inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

}  // namespace kestrel::testing
