// SPDX-License-Identifier: MIT
#include "driver/sync_report.h"

#include <ctime>
#include <utility>

#include "driver/sync_run.h"

namespace kestrel {
namespace {

std::int64_t SystemClock() { return static_cast<std::int64_t>(std::time(nullptr)); }

SyncClock g_clock = &SystemClock;

NameConversion& Conversion() {
  static NameConversion conversion;
  return conversion;
}

SyncReport& Report() {
  static SyncReport report;
  return report;
}

}  // namespace

void SetSyncClock(SyncClock clock) { g_clock = clock != nullptr ? clock : &SystemClock; }

void SetBackupNameConversion(NameConversion conversion) { Conversion() = std::move(conversion); }

const SyncReport& LastSyncReport() { return Report(); }

std::int64_t SyncClockNow() { return g_clock(); }

const NameConversion& BackupNameConversion() { return Conversion(); }

SyncReport& ReportOfThisSync() { return Report(); }

}  // namespace kestrel
