// SPDX-License-Identifier: MIT
// The registry file reader on any bytes as a file's text. It refuses with a
// message or gives a hive; it never reads outside the text. Over what it
// gives, the conduit's data-folder lookup answers exactly as the value says:
// missing, empty up to its first NUL, or 255 bytes and more, no folder;
// otherwise the text up to its first NUL, never more than 254 characters.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "driver/data_folder.h"
#include "fuzz/fuzz_check.h"
#include "host/registry_file.h"
#include "host/select_registry.h"

using kestrel::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  kestrel::RegistryParseError error;
  std::optional<kestrel::RegistryHive> hive = kestrel::ParseRegistryFile(text, &error);
  if (!hive) {
    Check(!error.message.empty(), "a refused file gets a message");
    Check(error.line >= 0, "a refused file names a line, or 0 for the whole file");
    return 0;
  }

  const std::string key = std::string("HKEY_LOCAL_MACHINE\\") + kestrel::kDataFolderKey;
  const std::string* value = hive->Find(key, kestrel::kDataFolderValue);
  std::optional<std::string> expected;
  if (value != nullptr && value->size() < kestrel::kDataFolderArea) {
    const std::string text = value->substr(0, value->find('\0'));
    if (!text.empty()) expected = text;  // an empty value is no folder
  }

  kestrel::SelectRegistry(std::move(hive));
  const std::string untouched = "untouched";
  std::string folder = untouched;
  const Status status = kestrel::ReadDataFolder(folder);
  kestrel::SelectRegistry(std::nullopt);

  if (expected) {
    Check(status == StatusOk, "a value of up to 254 bytes is read");
    Check(folder == *expected, "the folder is the value up to its first NUL");
  } else {
    Check(status == StatusFailed, "a missing, empty or over-long value is not read");
    Check(folder == untouched, "a folder that was not read is left as it was");
  }
  return 0;
}
