// SPDX-License-Identifier: MIT
// Warnings that `check` and `to-import` share, so that both say a thing in
// the same words. Internal to tools/csv/.
#pragma once

#include <string>
#include <string_view>

namespace kestrel::cli {

// The warning for a text (`what`: "name" or "resource names") longer than the
// handheld's 31 bytes. Without --charset (`converted` false), a cut that falls
// inside a character of what looks like UTF-8 suggests --charset UTF-8.
std::string CutWarning(std::string_view what, std::string_view text, bool converted);

}  // namespace kestrel::cli
