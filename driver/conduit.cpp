// SPDX-License-Identifier: MIT
#include "driver/conduit.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "driver/sync_run.h"

extern "C" {

Status OpenConduit(void*, void*) {
  try {
    kestrel::SyncRun run;
    return run.Execute();
  } catch (const std::bad_alloc&) {
    // Memory that runs out anywhere ends the run here, out of band, so that
    // no status of the host is ever taken for it. The run has released
    // everything on its way out.
    return kestrel::ReportOutOfMemory();
  } catch (...) {
    // Nothing else is thrown by the conduit's own code; whatever it was, it
    // must not reach the host.
    return StatusFailed;
  }
}

Status GetConduitName(char* buffer, std::uint16_t length) {
  if (buffer == nullptr || length == 0) return StatusOk;
  std::memset(buffer, 0, length);
  const std::size_t copied = std::min<std::size_t>(length - 1u, sizeof kConduitName - 1);
  std::memcpy(buffer, kConduitName, copied);
  return StatusOk;
}

std::uint32_t GetConduitVersion() { return kConduitVersion; }

}  // extern "C"
