// SPDX-License-Identifier: MIT
// A plan written as project XML, the interchange form of the desktop
// planners: one Task per task, in order, UID = ID = its place (1..n), the
// Kestrelplan ID kept in the custom field Text1, a finish-to-start
// PredecessorLink to the first task of the predecessor's ID, one Resource per
// distinct name and one Assignment per name of a task.
#pragma once

#include <string>

#include "tools/csv/plan/plan.h"

namespace kestrel::plan {

// The document, UTF-8, for `plan` (texts in UTF-8) with the title `title`.
// Notes in plan->notes each task written without a part: a start or finish
// that is no calendar date, a predecessor that no task has, a percent
// outside 0-100; and each ID that an earlier task already has.
std::string WriteProjectXml(const std::string& title, Plan* plan);

}  // namespace kestrel::plan
