// Names and texts in the commands' messages, which must stay one line each.
#pragma once

#include <string>
#include <string_view>

namespace kestrel::cli {

// `text` with its control characters and backslashes escaped (\n, \r, \t,
// \x1b, \\), for a message that must stay one line.
std::string EscapeForMessage(std::string_view text);

}  // namespace kestrel::cli
