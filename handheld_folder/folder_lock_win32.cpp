// SPDX-License-Identifier: MIT
#include <windows.h>

#include <cstdint>
#include <cwctype>
#include <mutex>
#include <set>

#include "handheld_folder/folder_lock.h"

namespace kestrel::handheld_folder {
namespace {

// A mutex name for the folder: its full path, folded to upper case as the
// file system compares names, hashed (FNV-1a), since a name may hold no "\".
std::wstring MutexName(const std::filesystem::path& folder) {
  std::wstring full = std::filesystem::absolute(folder).lexically_normal().wstring();
  while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
  std::uint64_t hash = 14695981039346656037ull;
  for (wchar_t c : full) {
    if (c == L'/') c = L'\\';
    hash = (hash ^ static_cast<std::uint64_t>(std::towupper(c))) * 1099511628211ull;
  }
  wchar_t text[17];
  for (int i = 15; i >= 0; --i, hash >>= 4) text[i] = L"0123456789abcdef"[hash & 15];
  text[16] = L'\0';
  return std::wstring(L"Local\\kestrel-sync-") + text;
}

// The folders this process holds: a mutex is its owner's again for the
// asking, so a second lock from the same process is refused here.
std::mutex g_heldGuard;
std::set<std::wstring> g_held;

}  // namespace

FolderLock::Result FolderLock::Lock(const std::filesystem::path& folder, std::string* error) {
  Release();
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    if (error != nullptr)
      *error = std::filesystem::exists(folder, ec) ? "not a folder" : "no such folder";
    return Result::Failed;
  }
  const std::wstring name = MutexName(folder);
  std::lock_guard<std::mutex> guard(g_heldGuard);
  if (g_held.count(name) != 0) return Result::Busy;
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  if (mutex == nullptr) {
    if (error != nullptr) *error = "cannot lock: system error " + std::to_string(GetLastError());
    return Result::Failed;
  }
  const DWORD wait = WaitForSingleObject(mutex, 0);
  if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
    mutex_ = mutex;
    name_ = name;
    g_held.insert(name);
    return Result::Locked;
  }
  CloseHandle(mutex);
  return Result::Busy;
}

void FolderLock::Release() {
  if (mutex_ != nullptr) {
    ReleaseMutex(static_cast<HANDLE>(mutex_));
    CloseHandle(static_cast<HANDLE>(mutex_));
    std::lock_guard<std::mutex> guard(g_heldGuard);
    g_held.erase(name_);
  }
  mutex_ = nullptr;
}

}  // namespace kestrel::handheld_folder
