#include "tests/allocation_fault.h"

#include <cstdlib>
#include <new>

namespace kestrel::testing {
namespace {

std::size_t g_faultSize = 0;
int g_remaining = 0;  // allocations of g_faultSize still to pass; 0: no fault
bool g_fired = false;

void* Allocate(std::size_t size) noexcept {
  if (g_remaining > 0 && size == g_faultSize && --g_remaining == 0) {
    g_fired = true;
    return nullptr;
  }
  return std::malloc(size == 0 ? 1 : size);
}

void* AllocateOrThrow(std::size_t size) {
  void* memory = Allocate(size);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

}  // namespace

void FailAllocation(std::size_t size, int nth) {
  g_faultSize = size;
  g_remaining = nth;
  g_fired = false;
}

void ClearAllocationFault() { g_remaining = 0; }

bool AllocationFaultFired() { return g_fired; }

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
