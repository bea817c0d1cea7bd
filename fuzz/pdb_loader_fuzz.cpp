// The Palm database loader on any bytes as a file. It refuses with a message
// or loads; it never reads outside the bytes (a sanitizer build sees that).
// A database that loads saves, reloads to the same database, and saves again
// to the same bytes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "fuzz/fuzz_check.h"
#include "sim/pdb_file.h"

using kestrel::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string error;
  const auto db = sim::LoadPdb(std::span<const std::uint8_t>(data, size), &error);
  if (!db) {
    Check(!error.empty(), "a refused file gets a message");
    return 0;
  }

  const auto saved = sim::SavePdb(*db, &error);
  Check(saved.has_value(), "a database that loaded saves");
  const auto reloaded = sim::LoadPdb(*saved, &error);
  Check(reloaded.has_value(), "a saved database loads");
  Check(*reloaded == *db, "a saved database reloads to the same database");
  const auto savedAgain = sim::SavePdb(*reloaded, &error);
  Check(savedAgain.has_value() && *savedAgain == *saved, "saving is stable byte for byte");
  return 0;
}
