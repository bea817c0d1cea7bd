// Makes one chosen allocation of the test program fail, to drive the
// conduit's out-of-memory paths: the nth allocation of exactly `size` bytes
// from now on fails once (std::bad_alloc, or a null pointer from the nothrow
// forms). The test program's global operator new and delete are replaced for
// this; with no fault armed they are plain malloc and free.
#pragma once

#include <cstddef>

namespace kestrel::testing {

void FailAllocation(std::size_t size, int nth = 1);
void ClearAllocationFault();
bool AllocationFaultFired();

// Arms a fault for the life of the object and clears it afterwards.
class AllocationFaultScope {
 public:
  AllocationFaultScope(std::size_t size, int nth = 1) { FailAllocation(size, nth); }
  ~AllocationFaultScope() { ClearAllocationFault(); }
  AllocationFaultScope(const AllocationFaultScope&) = delete;
  AllocationFaultScope& operator=(const AllocationFaultScope&) = delete;
};

}  // namespace kestrel::testing
