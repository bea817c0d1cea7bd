// SPDX-License-Identifier: MIT
// Runs a program as a user would, in a child process, and collects its exit
// status and output. The child can be given a largest file size (RLIMIT_FSIZE,
// with SIGXFSZ ignored, so a write past it fails like one to a full disk),
// and can be made to respect file permissions even when run as root.
#pragma once

#include <sys/resource.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::testing {

struct CommandLimits {
  std::optional<rlim_t> fileSize;  // bytes
  // Drops the capabilities that let root read and write past permissions,
  // for the child only.
  bool respectPermissions = false;
  // When nonzero, the child is killed with SIGALRM after this many seconds,
  // so that a program that would wait for ever ends the test instead.
  unsigned seconds = 0;
};

struct CommandResult {
  int exitStatus = -1;  // -1 when the child ended by a signal
  int signal = 0;
  std::string out;
  std::string err;
};

// Runs `program` with `args`; standard output and error go through files in
// `scratch`, a folder of the caller's.
CommandResult RunCommand(const std::string& program, const std::vector<std::string>& args,
                         const CommandLimits& limits, const std::filesystem::path& scratch);

// Whether a child that respects permissions is refused a file of mode 000:
// false where the capabilities cannot be dropped.
bool PermissionsCanBeRespected(const std::filesystem::path& scratch);

}  // namespace kestrel::testing
