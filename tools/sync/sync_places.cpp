// SPDX-License-Identifier: MIT
// Where a sync's own files may be: the folder and same-file checks that
// kestrel-sync makes before anything runs.
#include "tools/sync/sync_places.h"

#include <system_error>

namespace kestrel::cli {
namespace fs = std::filesystem;

bool IsSameOrInside(const fs::path& inner, const fs::path& outer) {
  std::error_code ec;
  const fs::path folder = fs::canonical(outer, ec);
  if (ec) return false;
  fs::path at = fs::canonical(inner, ec);
  if (ec) return false;
  // Up from `inner`, each step compared as the same folder, not by name.
  for (;;) {
    if (fs::equivalent(at, folder, ec) && !ec) return true;
    const fs::path parent = at.parent_path();
    if (parent.empty() || parent == at) return false;
    at = parent;
  }
}

std::optional<fs::path> SameFileIn(const fs::path& file, const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return std::nullopt;
  const auto options = fs::directory_options::skip_permission_denied;
  for (fs::recursive_directory_iterator it(folder, options, ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code entryError;
    const fs::file_type type = it->symlink_status(entryError).type();
    if (entryError || (type != fs::file_type::regular && type != fs::file_type::symlink)) continue;
    if (fs::equivalent(file, it->path(), entryError) && !entryError) return it->path();
  }
  return std::nullopt;
}

}  // namespace kestrel::cli
