#include "tools/message_escape.h"

#include <cstdio>

namespace kestrel::cli {

std::string EscapeForMessage(std::string_view text) {
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      shown += "\\\\";
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (c == '\r') {
      shown += "\\r";
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      shown += escaped;
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace kestrel::cli
