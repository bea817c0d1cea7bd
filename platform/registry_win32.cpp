// SPDX-License-Identifier: MIT
// The machine registry on Windows: HKEY_LOCAL_MACHINE read through ADVAPI32.
#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/registry.h"

namespace kestrel {
namespace {

// KEY_READ: query values, enumerate subkeys, notify, read control.
constexpr REGSAM kReadAccess = 0x20019;
static_assert(kReadAccess == KEY_READ);

// An open registry key, closed when the object goes.
class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  Status OpenMachineKey(const char* path) {
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, kReadAccess, &key_) == ERROR_SUCCESS
               ? StatusOk
               : StatusFailed;
  }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

Status QueryMachineValue(const char* keyPath, const char* valueName, char* area,
                         std::uint32_t* size) {
  if (keyPath == nullptr || valueName == nullptr || area == nullptr || size == nullptr ||
      *size == 0) {
    return StatusFailed;
  }
  RegistryKey key;
  if (key.OpenMachineKey(keyPath) != StatusOk) return StatusFailed;

  // The data goes to a scratch area of the caller's size first: a value that
  // does not fit may leave part of itself behind, and the caller's area must
  // stay untouched on failure. The value's type is not examined.
  std::vector<char> scratch(*size);
  DWORD stored = *size;
  if (RegQueryValueExA(key.Get(), valueName, nullptr, nullptr,
                       reinterpret_cast<BYTE*>(scratch.data()), &stored) != ERROR_SUCCESS ||
      stored > *size) {
    return StatusFailed;
  }
  // A string stored without its terminating NUL comes back without one. It is
  // terminated inside the area when there is room for the NUL; a value that
  // fills the whole area without one would need a byte more, so it does not
  // fit.
  if (std::memchr(scratch.data(), '\0', stored) == nullptr) {
    if (stored >= *size) return StatusFailed;
    scratch[stored++] = '\0';
  }
  std::memcpy(area, scratch.data(), stored);
  *size = stored;
  return StatusOk;
}

}  // namespace kestrel
