// SPDX-License-Identifier: MIT
// kestrel-sync --list: a line per database, with the backup name the
// conduit's own stem rule gives it.
#include "tools/sync/sync_list.h"

#include <cstdio>

#include "driver/file_names.h"
#include "driver/sync_run.h"
#include "host/handheld.h"
#include "tools/common/message_escape.h"

namespace kestrel::cli {
namespace {

// A four-character code as its characters, escaped where not printable.
std::string FourChars(std::uint32_t code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) text.push_back(static_cast<char>(code >> shift));
  return EscapeForMessage(text);
}

std::string Records(const DatabaseListing& db) {
  if ((db.attributes & host::kDbResource) != 0) return "a resource database";
  if (!db.counted) return "records not readable";
  const std::size_t all = db.live + db.deleted;
  return std::to_string(all) + (all == 1 ? " record, " : " records, ") +
         std::to_string(db.deleted) + " deleted";
}

}  // namespace

std::string ListText(const std::vector<DatabaseListing>& databases) {
  std::string text;
  BackupNames names;
  std::size_t index = 0;
  for (const DatabaseListing& db : databases) {
    ++index;
    char attributes[8];
    std::snprintf(attributes, sizeof attributes, "0x%04X", static_cast<unsigned>(db.attributes));
    std::string backup;
    if (!db.IsTaskDatabase()) {
      backup = "not a task database";
    } else if (index > static_cast<std::size_t>(kMaxListedDatabases)) {
      backup = "not backed up: past the 100th database (the conduit reads the first 100)";
    } else {
      std::string path;  // the stem rule completes a folder: here an empty one
      names.Append(path, db.name);
      backup = "backed up to " + EscapeForMessage(path.substr(1));
    }
    text += EscapeForMessage(db.fileName) + "\t\"" + EscapeForMessage(db.name) + "\"\t" +
            FourChars(db.type) + "\t" + FourChars(db.creator) + "\t" + attributes + "\t" +
            Records(db) + "\t" + backup + "\n";
  }
  return text;
}

}  // namespace kestrel::cli
