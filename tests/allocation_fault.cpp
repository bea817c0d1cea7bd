// SPDX-License-Identifier: MIT
#include "tests/allocation_fault.h"

#include <cstdlib>
#include <new>

#include "tests/fault_plan.h"

namespace kestrel::testing {
namespace {

int g_paused = 0;

void* Allocate(std::size_t size) noexcept {
  if (g_paused == 0 && Faults().Consult({FaultKind::Allocation, {}, 0}, size)) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

void* AllocateOrThrow(std::size_t size) {
  void* memory = Allocate(size);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

}  // namespace

void BeginAllocationPause() { ++g_paused; }
void EndAllocationPause() { --g_paused; }

}  // namespace kestrel::testing

// Every non-aligned form, so that new and delete always pair up, also under
// the sanitizers' own allocators.
void* operator new(std::size_t size) { return kestrel::testing::AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return kestrel::testing::AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return kestrel::testing::Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return kestrel::testing::Allocate(size);
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
