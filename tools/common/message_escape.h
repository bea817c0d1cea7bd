// SPDX-License-Identifier: MIT
// Names and texts in the commands' messages, which must stay one line each.
#pragma once

#include <string>
#include <string_view>

namespace kestrel::cli {

// Text made safe for a one-line message: every control character (and DEL)
// shown escaped, as \t, \n, \r or \xHH; nothing else changed, so a
// Windows path reads as it is.
std::string EscapeForMessage(std::string_view text);

}  // namespace kestrel::cli
