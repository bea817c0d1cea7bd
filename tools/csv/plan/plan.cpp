// SPDX-License-Identifier: MIT
#include "tools/csv/plan/plan.h"

#include <string_view>

namespace kestrel::plan {

std::string JoinResources(const std::vector<std::string>& resources) {
  std::string text;
  for (const std::string& name : resources) {
    if (!text.empty()) text += ", ";
    text += name;
  }
  return text;
}

std::vector<std::string> SplitResources(std::string_view text) {
  std::vector<std::string> names;
  for (;;) {
    const std::size_t comma = text.find(',');
    std::string_view name = text.substr(0, comma);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (!name.empty()) names.emplace_back(name);
    if (comma == std::string_view::npos) return names;
    text.remove_prefix(comma + 1);
  }
}

}  // namespace kestrel::plan
