// SPDX-License-Identifier: MIT
// A project XML document read as a plan: its leaf tasks in document order
// (summary tasks left out and noted), each with a Kestrelplan ID, its days
// as the handheld counts them, its first predecessor and its resources in
// assignment order. Reads what TaskJuggler, Planner, ProjectLibre,
// GanttProject and WriteProjectXml write.
#pragma once

#include <string>
#include <string_view>

#include "tools/csv/plan/plan.h"
#include "tools/csv/plan/xml_tree.h"

namespace kestrel::plan {

// True when `text`, after a byte-order mark and white space, starts like an
// XML document.
bool LooksLikeXml(std::string_view text);

// The plan of the document whose root is `root`, and its title in *title.
// False with *error when the root is not a project.
//
// IDs: the Kestrelplan IDs that WriteProjectXml kept when every task has
// one in -128..127, else the file's IDs when they are distinct and in
// -128..127, else 1..n, each noted. Dates: a start at or after 17:00 is the
// next working day; a finish at 00:00 is the day before, never before the
// start's day; a milestone (start = finish) has 0 days and finishes on its
// start's day. Days: from Duration when present, else Monday to Friday from
// start to finish.
bool ReadProjectPlan(const XmlElement& root, Plan* plan, std::string* title, std::string* error);

}  // namespace kestrel::plan
