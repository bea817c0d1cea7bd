// SPDX-License-Identifier: MIT
// A plan written in the import form that the conduit reads: no header,
// each date after its weekday, durations as "N days", four-digit years,
// texts in the handheld's set cut to 31 bytes on a whole character and the
// resource names joined with ", ". A line that the import would not read
// back as written is noted.
#pragma once

#include <string>
#include <vector>

#include "tools/common/charset.h"
#include "tools/csv/plan/plan.h"

namespace kestrel::plan {

// One line per task of `plan`, at most the 100 the import reads, texts
// converted from UTF-8 by `toHandheld`. Notes in plan->notes a task past the
// 100th, a text cut or holding a character the handheld's set lacks, a
// comma in a name, an ID, predecessor or percent that a byte cannot hold
// and a year outside 1904-2031.
std::vector<std::string> WriteImportLines(cli::CharsetConverter& toHandheld, Plan* plan);

}  // namespace kestrel::plan
