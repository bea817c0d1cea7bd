// SPDX-License-Identifier: MIT
// Text made safe for XML 1.0 content and attribute values, for the project
// XML and the SVG alike.
#pragma once

#include <string>
#include <string_view>

namespace kestrel::plan {

// `utf8` with &, <, >, " and ' written as references, and each control
// character that XML cannot hold at all (below U+0020 but for tab, line feed
// and carriage return) written as "?". *lost, when given, gets how many.
std::string EscapeXml(std::string_view utf8, std::size_t* lost = nullptr);

}  // namespace kestrel::plan
