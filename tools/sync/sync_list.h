// SPDX-License-Identifier: MIT
// kestrel-sync --list: the databases of a handheld folder as the conduit
// sees them, one line each, and whether a sync backs each up.
#pragma once

#include <string>
#include <vector>

#include "tools/sync/sync_command.h"

namespace kestrel::cli {

// One line per database, in list order, each field after a tab: the file,
// the name in quotes, type, creator, the attributes in hexadecimal, the
// records ("3 records, 1 deleted", or "a resource database"), and "backed up to STEM.csv" or why not
// ("not a task database", "past the 100th database: the conduit reads the
// first 100"). Control characters are shown escaped.
std::string ListText(const std::vector<DatabaseListing>& databases);

}  // namespace kestrel::cli
