// SPDX-License-Identifier: MIT
// What the fake SYNC20.dll offers the test host besides the sync manager's
// ordinals: a handheld kept as a folder of Palm database files, and the sync
// log, which the fake HSLOG20.dll forwards to it. Plain C with fixed-size
// types, so host and DLL share no C++ runtime state.
#pragma once

#include <cstdint>

#include "handheld/sync_services.h"

extern "C" {

// Loads the handheld in `folder` and attaches it, with `clock` (seconds since
// 1904) as the time of every change. Returns 0, or 1 with a one-line message
// in `message` (always NUL-terminated within `messageSize` bytes).
Status SimLoadHandheld(const char* folder, std::uint32_t clock, char* message,
                       std::uint32_t messageSize);

// Writes back to the folder what the sync changed or created. Returns 0, or 1
// with a one-line message.
Status SimSaveHandheld(char* message, std::uint32_t messageSize);

// Detaches and drops the handheld; the operations then answer that there is
// none.
void SimUnloadHandheld();

// The sync log of the attached handheld, entry by entry, in order.
std::int32_t SimLogCount();
std::int32_t SimLogActivity(std::int32_t index);
// NUL-terminated; valid until the handheld is unloaded. Empty for an index
// out of range.
const char* SimLogText(std::int32_t index);

// Told of every operation the handheld answers, except a read that answered
// 0: the operation (as kestrel::host::Operation counts them), the database's name, the
// status, the open mode, and a read's record attributes and record index.
// SimWatch(nullptr, nullptr) stops it.
typedef void (*SimObserver)(void* context, std::int32_t operation, const char* database,
                            Status status, std::uint8_t mode, std::uint8_t attributes,
                            std::uint16_t record);
void SimWatch(SimObserver observer, void* context);

// The files the last successful SimSaveHandheld wrote, by name.
std::int32_t SimSavedCount();
// NUL-terminated; empty for an index out of range.
const char* SimSavedName(std::int32_t index);

// The sync log operation, answered by the attached handheld; HSLOG20.dll's
// ordinal 52 calls it.
Status SimLogMessage(const char* text, std::int32_t activity, std::int32_t flags);
}
