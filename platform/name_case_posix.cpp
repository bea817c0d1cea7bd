// SPDX-License-Identifier: MIT
// File names on POSIX: the conduit's own rule compares them.
#include "platform/name_case.h"

namespace kestrel {

std::optional<bool> SystemNamesEqualIgnoringCase(std::string_view, std::string_view) {
  return std::nullopt;
}

}  // namespace kestrel
