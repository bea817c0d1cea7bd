// SPDX-License-Identifier: MIT
// A picture of a plan as a planner draws one: a row per task in order with
// its ID and name, a bar from start to finish on a date axis with week
// ticks and month labels, the completed share of each bar filled, an arrow
// from each predecessor's end to its task, the resource names beside the
// bar and a line for today. SVG, self-contained: no script, no external
// font, image or link.
#pragma once

#include <optional>
#include <string>

#include "tools/csv/plan/civil_date.h"
#include "tools/csv/plan/plan.h"

namespace kestrel::plan {

// The colours of a bar: the part still to do and the completed share. No
// other element of the picture uses either, so that a bar can be found by
// its pixels.
inline constexpr char kBarColour[] = "#9ecae1";
inline constexpr char kDoneColour[] = "#08519c";

struct ChartOptions {
  std::string title;
  std::optional<CivilDate> today;  // a line is drawn when it falls in range
};

// The SVG document, UTF-8. A task whose start or finish is not a calendar
// date gets its row without a bar.
std::string ChartSvg(const Plan& plan, const ChartOptions& options);

// An HTML page holding the same picture and, below it, a table of the
// tasks.
std::string ChartHtml(const Plan& plan, const ChartOptions& options);

}  // namespace kestrel::plan
