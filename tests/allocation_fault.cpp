#include "tests/allocation_fault.h"

#include <cstdlib>
#include <new>

namespace kestrel::testing {
namespace {

// All of the hook's state. It must itself never allocate.
struct AllocationFaultState {
  bool armed = false;
  bool anySize = false;
  std::size_t size = 0;
  long remaining = 0;  // matching allocations still to pass before the one that fails
  bool persistent = false;
  bool fired = false;
  long count = 0;
  int paused = 0;
};

AllocationFaultState g_state;

bool FailsNow(std::size_t size) {
  AllocationFaultState& s = g_state;
  if (!s.armed || (!s.anySize && size != s.size)) return false;
  if (s.remaining > 1) {
    --s.remaining;
    return false;
  }
  // This one fails; a fault that is not persistent is spent with it.
  s.armed = s.persistent;
  s.fired = true;
  return true;
}

void* Allocate(std::size_t size) noexcept {
  if (g_state.paused == 0) {
    ++g_state.count;
    if (FailsNow(size)) return nullptr;
  }
  return std::malloc(size == 0 ? 1 : size);
}

void* AllocateOrThrow(std::size_t size) {
  void* memory = Allocate(size);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void Arm(bool anySize, std::size_t size, int nth, bool persistent) {
  g_state.armed = nth > 0;
  g_state.anySize = anySize;
  g_state.size = size;
  g_state.remaining = nth;
  g_state.persistent = persistent;
  g_state.fired = false;
}

}  // namespace

void FailAllocation(std::size_t size, int nth) { Arm(false, size, nth, false); }

void FailAnyAllocation(int nth, bool persistent) { Arm(true, 0, nth, persistent); }

void ClearAllocationFault() { g_state.armed = false; }

bool AllocationFaultFired() { return g_state.fired; }

long AllocationCount() { return g_state.count; }

AllocationPause::AllocationPause() { ++g_state.paused; }
AllocationPause::~AllocationPause() { --g_state.paused; }

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
