// Makes chosen allocations of the test program fail, to drive the conduit's
// out-of-memory paths, and counts the allocations a run makes. A failed
// allocation throws std::bad_alloc, or gives a null pointer from the nothrow
// forms. The test program's global operator new and delete are replaced for
// this; with no fault armed they are plain malloc and free.
#pragma once

#include <cstddef>

namespace kestrel::testing {

// The nth allocation of exactly `size` bytes from now on fails once.
void FailAllocation(std::size_t size, int nth = 1);
// The nth allocation of any size from now on fails; with `persistent` every
// later one fails too, as when memory stays exhausted.
void FailAnyAllocation(int nth, bool persistent = false);
void ClearAllocationFault();
bool AllocationFaultFired();

// Allocations counted since the program started. Those made while an
// AllocationPause is alive are neither counted nor made to fail.
long AllocationCount();

// Arms a fault for the life of the object and clears it afterwards.
class AllocationFaultScope {
 public:
  AllocationFaultScope(std::size_t size, int nth = 1) { FailAllocation(size, nth); }
  ~AllocationFaultScope() { ClearAllocationFault(); }
  AllocationFaultScope(const AllocationFaultScope&) = delete;
  AllocationFaultScope& operator=(const AllocationFaultScope&) = delete;
};

// Leaves the allocations of a stretch of code alone: for code that stands in
// for the host or records what a test saw, whose memory is not the conduit's.
// Pauses nest.
class AllocationPause {
 public:
  AllocationPause();
  ~AllocationPause();
  AllocationPause(const AllocationPause&) = delete;
  AllocationPause& operator=(const AllocationPause&) = delete;
};

}  // namespace kestrel::testing
