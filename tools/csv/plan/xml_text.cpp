// SPDX-License-Identifier: MIT
#include "tools/csv/plan/xml_text.h"

namespace kestrel::plan {

std::string EscapeXml(std::string_view utf8, std::size_t* lost) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t replaced = 0;
  for (const char c : utf8) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '\t':
        out += "&#9;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += '?';
          ++replaced;
        } else {
          out += c;
        }
    }
  }
  if (lost != nullptr) *lost = replaced;
  return out;
}

}  // namespace kestrel::plan
