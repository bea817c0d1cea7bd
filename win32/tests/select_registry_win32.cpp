// SPDX-License-Identifier: MIT
// For tests on Windows: the conduit tests select the registry the conduit is
// to read, as on POSIX. Here the selection goes into the system registry,
// where the conduit looks: the data folder value is set from the hive, or
// removed when the hive holds none. The registry is shared by every process,
// so tests that select one must not run side by side.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/data_folder.h"
#include "host/select_registry.h"

namespace kestrel {
namespace {

[[noreturn]] void Abandon(const char* what, LSTATUS status) {
  std::fprintf(stderr, "SelectRegistry: %s failed (error %ld)\n", what, static_cast<long>(status));
  std::abort();
}

}  // namespace

void SelectRegistry(std::optional<RegistryHive> hive) {
  const std::string keyPath = std::string("HKEY_LOCAL_MACHINE\\") + kDataFolderKey;
  const std::string* folder = hive ? hive->Find(keyPath, kDataFolderValue) : nullptr;

  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDataFolderKey, 0, nullptr, 0, KEY_SET_VALUE,
                                   nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) Abandon("RegCreateKeyExA", status);
  if (folder != nullptr) {
    // The string with its terminating NUL, as the registry keeps text.
    status = RegSetValueExA(key, kDataFolderValue, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(folder->c_str()),
                            static_cast<DWORD>(folder->size() + 1));
    if (status != ERROR_SUCCESS) Abandon("RegSetValueExA", status);
  } else {
    status = RegDeleteValueA(key, kDataFolderValue);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
      Abandon("RegDeleteValueA", status);
    }
  }
  RegCloseKey(key);
}

}  // namespace kestrel
