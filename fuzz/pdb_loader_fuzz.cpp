// SPDX-License-Identifier: MIT
// The Palm database loader on any bytes as a file. It refuses with a message
// or loads; it never reads outside the bytes (a sanitizer build sees that).
// Reading only the start of the file as the folder loader does, and loading
// records as views, refuse the same files with the same message and give the
// same database. A database that loads saves, reloads to the same database,
// and saves again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "handheld_folder/pdb_file.h"

namespace host = kestrel::host;
namespace handheld_folder = kestrel::handheld_folder;

using kestrel::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  std::string error;
  auto db = handheld_folder::LoadPdb(bytes, &error);

  std::size_t have = 0;
  for (std::size_t needed = handheld_folder::PdbCheckedExtent({}, size); needed > have;
       needed = handheld_folder::PdbCheckedExtent(bytes.first(have), size)) {
    Check(needed <= size, "the loader never asks for more than the file");
    have = needed;
  }
  std::string headerError;
  const auto header = handheld_folder::LoadPdbHeader(bytes.first(have), size, &headerError);
  std::vector<host::RecordView> views;
  std::string viewsError;
  const auto viewed = handheld_folder::LoadPdbViews(bytes, &views, &viewsError);
  Check(header.has_value() == db.has_value() && headerError == error,
        "the start of a file is refused as the whole file is");
  Check(viewed.has_value() == db.has_value() && viewsError == error,
        "records as views are refused as records are");

  if (!db) {
    Check(!error.empty(), "a refused file gets a message");
    return 0;
  }
  if (!db->IsResourceDb()) {
    Check(views.size() == db->records.size(), "a view for each record");
    for (std::size_t i = 0; i < views.size(); ++i) {
      const auto data = bytes.subspan(views[i].offset, views[i].size);
      const host::Record& r = db->records[i];
      Check(std::vector<std::uint8_t>(data.begin(), data.end()) == r.data &&
                views[i].uniqueId == r.uniqueId && views[i].attributes == r.attributes,
            "a view shows its record");
    }
  }
  host::Database bare = *db;
  bare.records.clear();
  bare.resources.clear();
  Check(*header == bare && *viewed == bare, "the same database but for its entries");

  const auto saved = handheld_folder::SavePdb(*db, &error);
  Check(saved.has_value(), "a database that loaded saves");
  const auto reloaded = handheld_folder::LoadPdb(*saved, &error);
  Check(reloaded.has_value(), "a saved database loads");
  Check(*reloaded == *db, "a saved database reloads to the same database");
  const auto savedAgain = handheld_folder::SavePdb(*reloaded, &error);
  Check(savedAgain.has_value() && *savedAgain == *saved, "saving is stable byte for byte");
  return 0;
}
