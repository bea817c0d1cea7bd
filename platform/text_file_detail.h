// SPDX-License-Identifier: MIT
// What text_file_common.cpp and the text-file code of each system share,
// and nothing else uses.
#pragma once

#include <cstdio>
#include <string>

#include "platform/text_file.h"

namespace kestrel::text_file_detail {

// Consumes a UTF-8 byte-order mark at the start of a stream just opened for
// reading, or puts the stream back at its start. False when it cannot.
bool SkipByteOrderMark(std::FILE* stream);

// Gets what was written to the stream onto the disk (one per system).
bool SyncToDisk(std::FILE* stream);

// The system's own read and close, the same everywhere.
int ReadByte(std::FILE* stream);
int CloseStream(std::FILE* stream, bool toDisk);

}  // namespace kestrel::text_file_detail
