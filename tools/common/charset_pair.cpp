// SPDX-License-Identifier: MIT
// The pair of converters between the desktop's set and the handheld's,
// whichever system's converter serves them.
#include "tools/common/charset.h"

namespace kestrel::cli {

bool OpenCharsetPair(const std::string& desktop, const std::string& handheld, CharsetPair* pair,
                     std::string* error) {
  pair->toHandheld = CharsetConverter::Open(handheld, desktop, error);
  if (!pair->toHandheld) return false;
  pair->toDesktop = CharsetConverter::Open(desktop, handheld, error);
  return pair->toDesktop != nullptr;
}

}  // namespace kestrel::cli
