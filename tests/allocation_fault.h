// SPDX-License-Identifier: MIT
// The test program's global operator new and delete, replaced so that the
// fault plan (tests/fault_plan.h) counts the conduit's allocations and can
// make chosen ones fail: a failed allocation throws std::bad_alloc, or gives
// a null pointer from the nothrow forms. Otherwise they are plain malloc and
// free.
#pragma once

namespace kestrel::testing {

// Leaves the allocations of a stretch of code alone: for code that stands in
// for the host or records what a test saw, whose memory is not the conduit's.
// They are neither counted nor made to fail. Pauses nest.
void BeginAllocationPause();
void EndAllocationPause();

class AllocationPause {
 public:
  AllocationPause() { BeginAllocationPause(); }
  ~AllocationPause() { EndAllocationPause(); }
  AllocationPause(const AllocationPause&) = delete;
  AllocationPause& operator=(const AllocationPause&) = delete;
};

}  // namespace kestrel::testing
