// SPDX-License-Identifier: MIT
// The fake HSLOG20.dll: its one operation, the sync log entry, handed to the
// simulated handheld in the fake SYNC20.dll, which keeps the log.
#include "win32/fake_host/host_api.h"

extern "C" Status LogMessage(const char* text, std::int32_t activity, std::int32_t flags) {
  return SimLogMessage(text, activity, flags);
}
