// SPDX-License-Identifier: MIT
// Paths on POSIX: the text is the system's path as it is.
#include "platform/system_path.h"

namespace kestrel {

SystemPath ToSystemPath(const std::string& path) { return path; }

std::string SystemPathText(const SystemPath& path) { return path; }

}  // namespace kestrel
