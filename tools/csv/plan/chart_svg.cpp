// SPDX-License-Identifier: MIT
#include "tools/csv/plan/chart_svg.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "tools/csv/plan/xml_text.h"

// Every coordinate of a bar is a whole pixel and bars are drawn with crisp
// edges, so that a bar's pixels start and end where its dates say.

namespace kestrel::plan {
namespace {

constexpr int kLabelWidth = 280;  // ID and name
constexpr int kAxisHeight = 48;   // month labels and week ticks
constexpr int kRowHeight = 22;
constexpr int kBarHeight = 12;
constexpr int kResourceRoom = 220;  // right of the last bar
constexpr int kMargin = 8;
constexpr double kTargetWidth = 1100;  // of the time axis, in pixels
constexpr std::size_t kNameCharacters = 36;

const char* const kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool HasBar(const PlanTask& task) {
  return IsCalendarDate(task.start) && IsCalendarDate(task.finish);
}

// The time axis: from the Monday on or before the first start to a few days
// past the last finish, with whole pixels per day where there is room.
struct Axis {
  std::int64_t first = 0, last = 0;  // day numbers
  double dayWidth = 1;

  int X(std::int64_t day) const {
    return kLabelWidth + static_cast<int>(std::lround((day - first) * dayWidth));
  }
  int Width() const { return X(last + 1) - kLabelWidth; }
};

Axis MakeAxis(const Plan& plan) {
  Axis axis;
  bool any = false;
  for (const PlanTask& task : plan.tasks) {
    if (!HasBar(task)) continue;
    const std::int64_t start = DayNumber(task.start);
    const std::int64_t finish = std::max(start, DayNumber(task.finish));
    axis.first = any ? std::min(axis.first, start) : start;
    axis.last = any ? std::max(axis.last, finish) : finish;
    any = true;
  }
  if (!any) axis.first = axis.last = DayNumber(CivilDate{2000, 1, 3});
  axis.first -= (Weekday(DateOfDayNumber(axis.first)) + 6) % 7;  // back to Monday
  axis.last += 3;
  const double days = static_cast<double>(axis.last - axis.first + 1);
  const double width = kTargetWidth / days;
  axis.dayWidth = width >= 2 ? std::min(std::floor(width), 24.0) : std::max(width, 0.5);
  return axis;
}

// A name cut for its row, on a whole UTF-8 character.
std::string ShortName(const std::string& name) {
  std::size_t characters = 0, at = 0;
  while (at < name.size() && characters < kNameCharacters) {
    ++at;
    while (at < name.size() && (static_cast<unsigned char>(name[at]) & 0xC0) == 0x80) ++at;
    ++characters;
  }
  return at < name.size() ? name.substr(0, at) + "\xE2\x80\xA6" : name;
}

int RowY(std::size_t row) { return kAxisHeight + static_cast<int>(row) * kRowHeight; }

void DrawAxis(std::string& svg, const Axis& axis, int height) {
  const int bottom = height - kMargin;
  // Month labels: every month where they fit, else every quarter or year.
  const double monthWidth = 30.4 * axis.dayWidth;
  const int every = monthWidth >= 64 ? 1 : monthWidth * 3 >= 64 ? 3 : 12;
  CivilDate month = DateOfDayNumber(axis.first);
  month.day = 1;
  for (; DayNumber(month) <= axis.last;
       month = {month.year + (month.month == 12 ? 1 : 0), month.month % 12 + 1, 1}) {
    const std::int64_t day = std::max(DayNumber(month), axis.first);
    const int x = axis.X(day);
    svg += "<line class=\"month\" x1=\"" + std::to_string(x) + "\" y1=\"16\" x2=\"" +
           std::to_string(x) + "\" y2=\"" + std::to_string(bottom) + "\"/>\n";
    if ((month.month - 1) % every != 0) continue;
    svg += "<text class=\"label\" x=\"" + std::to_string(x + 3) + "\" y=\"14\">" +
           kMonthNames[month.month - 1] + " " + std::to_string(month.year) + "</text>\n";
  }
  // Week ticks on every Monday, with the day of the month where there is room.
  for (std::int64_t day = axis.first; day <= axis.last; day += 7) {
    const int x = axis.X(day);
    svg += "<line class=\"week\" x1=\"" + std::to_string(x) + "\" y1=\"" +
           std::to_string(kAxisHeight - 14) + "\" x2=\"" + std::to_string(x) + "\" y2=\"" +
           std::to_string(kAxisHeight) + "\"/>\n";
    if (axis.dayWidth * 7 >= 22) {
      svg += "<text class=\"tick\" x=\"" + std::to_string(x + 2) + "\" y=\"" +
             std::to_string(kAxisHeight - 4) + "\">" + std::to_string(DateOfDayNumber(day).day) +
             "</text>\n";
    }
  }
}

void DrawRow(std::string& svg, const PlanTask& task, std::size_t row, const Axis& axis) {
  const int top = RowY(row);
  const int textY = top + kRowHeight / 2 + 4;
  svg += "<text class=\"task\" x=\"" + std::to_string(kMargin) + "\" y=\"" + std::to_string(textY) +
         "\">" + std::to_string(task.id) + "  " + EscapeXml(ShortName(task.name)) + "</text>\n";
  if (!HasBar(task)) {
    svg += "<text class=\"tick\" x=\"" + std::to_string(kLabelWidth + 4) + "\" y=\"" +
           std::to_string(textY) + "\">(no calendar dates)</text>\n";
    return;
  }
  const std::int64_t start = DayNumber(task.start);
  const std::int64_t finish = std::max(start, DayNumber(task.finish));
  const int left = axis.X(start);
  const int right = std::max(axis.X(finish + 1), left + 1);
  const int barTop = top + (kRowHeight - kBarHeight) / 2;
  const int percent = std::clamp(task.percent, 0, 100);
  const int done = left + (right - left) * percent / 100;
  const auto rect = [&](int x, int width, const char* colour) {
    svg += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(barTop) + "\" width=\"" +
           std::to_string(width) + "\" height=\"" + std::to_string(kBarHeight) + "\" fill=\"" +
           colour + "\"/>\n";
  };
  if (done > left) rect(left, done - left, kDoneColour);
  if (right > done) rect(done, right - done, kBarColour);
  std::string resources = JoinResources(task.resources);
  if (!resources.empty()) {
    svg += "<text class=\"resource\" x=\"" + std::to_string(right + 6) + "\" y=\"" +
           std::to_string(textY) + "\">" + EscapeXml(resources) + "</text>\n";
  }
}

// An arrow from the end of the first task of the predecessor's ID to the
// start of the task.
void DrawArrows(std::string& svg, const Plan& plan, const Axis& axis) {
  std::map<std::int32_t, std::size_t> firstOfId;
  for (std::size_t i = 0; i < plan.tasks.size(); ++i) firstOfId.emplace(plan.tasks[i].id, i);
  for (std::size_t i = 0; i < plan.tasks.size(); ++i) {
    const PlanTask& task = plan.tasks[i];
    const auto from = firstOfId.find(task.predecessor);
    if (task.predecessor <= 0 || from == firstOfId.end() || from->second == i) continue;
    const PlanTask& before = plan.tasks[from->second];
    if (!HasBar(task) || !HasBar(before)) continue;
    const int x1 = axis.X(std::max(DayNumber(before.start), DayNumber(before.finish)) + 1);
    const int y1 = RowY(from->second) + kRowHeight / 2;
    const int x2 = axis.X(DayNumber(task.start));
    const int y2 = RowY(i) + kRowHeight / 2;
    std::string d = "M" + std::to_string(x1) + " " + std::to_string(y1);
    if (x2 >= x1 + 16) {
      // Straight across to the task's row, then on to its start.
      d += " H" + std::to_string(x1 + 8) + " V" + std::to_string(y2) + " H" + std::to_string(x2);
    } else {
      // Back along the gap above the task's row, where no bar is.
      const int gap = y2 > y1 ? RowY(i) : RowY(i + 1);
      d += " H" + std::to_string(x1 + 6) + " V" + std::to_string(gap) + " H" +
           std::to_string(x2 - 8) + " V" + std::to_string(y2) + " H" + std::to_string(x2);
    }
    svg += "<path class=\"link\" d=\"" + d + "\" marker-end=\"url(#arrow)\"/>\n";
  }
}

const char kStyle[] =
    "<style>\n"
    "text { font-family: sans-serif; font-size: 12px; fill: #222; }\n"
    ".label { font-weight: bold; }\n"
    ".tick { font-size: 10px; fill: #666; }\n"
    ".resource { fill: #444; font-style: italic; }\n"
    ".month { stroke: #d0d0d0; stroke-width: 1; }\n"
    ".week { stroke: #999; stroke-width: 1; }\n"
    ".row { fill: #f4f4f4; }\n"
    ".link { fill: none; stroke: #555; stroke-width: 1; }\n"
    ".today { stroke: #d62728; stroke-width: 2; stroke-dasharray: 4 3; }\n"
    "rect { shape-rendering: crispEdges; }\n"
    "</style>\n";

}  // namespace

std::string ChartSvg(const Plan& plan, const ChartOptions& options) {
  const Axis axis = MakeAxis(plan);
  const int width = kLabelWidth + axis.Width() + kResourceRoom;
  const int height = RowY(std::max<std::size_t>(plan.tasks.size(), 1)) + kMargin;
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
                    "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " +
                    std::to_string(width) + " " + std::to_string(height) + "\">\n";
  svg += "<title>" + EscapeXml(options.title) + "</title>\n" + kStyle;
  svg +=
      "<defs><marker id=\"arrow\" viewBox=\"0 0 8 8\" refX=\"7\" refY=\"4\" markerWidth=\"8\" "
      "markerHeight=\"8\" orient=\"auto\"><path d=\"M0 0 L8 4 L0 8 z\" fill=\"#555\"/>"
      "</marker></defs>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  for (std::size_t row = 1; row < plan.tasks.size(); row += 2) {
    svg += "<rect class=\"row\" x=\"0\" y=\"" + std::to_string(RowY(row)) + "\" width=\"" +
           std::to_string(width) + "\" height=\"" + std::to_string(kRowHeight) + "\"/>\n";
  }
  DrawAxis(svg, axis, height);
  // Today and the arrows first, so that a line that crosses a bar passes
  // under it.
  if (options.today) {
    const std::int64_t today = DayNumber(*options.today);
    if (today >= axis.first && today <= axis.last) {
      const int x = axis.X(today);
      svg += "<line class=\"today\" x1=\"" + std::to_string(x) + "\" y1=\"18\" x2=\"" +
             std::to_string(x) + "\" y2=\"" + std::to_string(height - kMargin) + "\"/>\n";
    }
  }
  DrawArrows(svg, plan, axis);
  for (std::size_t row = 0; row < plan.tasks.size(); ++row) {
    DrawRow(svg, plan.tasks[row], row, axis);
  }
  svg += "</svg>\n";
  return svg;
}

std::string ChartHtml(const Plan& plan, const ChartOptions& options) {
  std::string html = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" +
                     EscapeXml(options.title) +
                     "</title>\n<style>\nbody { font-family: sans-serif; margin: 16px; }\n"
                     "table { border-collapse: collapse; margin-top: 16px; }\n"
                     "th, td { border: 1px solid #ccc; padding: 2px 8px; text-align: left; "
                     "white-space: nowrap; }\n"
                     "td.n { text-align: right; }\n</style>\n</head>\n<body>\n<h1>" +
                     EscapeXml(options.title) + "</h1>\n";
  html += ChartSvg(plan, options);
  html +=
      "<table>\n<tr><th>ID</th><th>Name</th><th>Start</th><th>Duration</th><th>Finish</th>"
      "<th>Predecessor</th><th>% Complete</th><th>Resource Names</th></tr>\n";
  const auto date = [](const CivilDate& d) {
    return IsCalendarDate(d) ? IsoDate(d)
                             : std::to_string(d.month) + "/" + std::to_string(d.day) + "/" +
                                   std::to_string(d.year);
  };
  for (const PlanTask& task : plan.tasks) {
    html += "<tr><td class=\"n\">" + std::to_string(task.id) + "</td><td>" + EscapeXml(task.name) +
            "</td><td>" + date(task.start) + "</td><td class=\"n\">" + std::to_string(task.days) +
            " days</td><td>" + date(task.finish) + "</td><td class=\"n\">" +
            (task.predecessor > 0 ? std::to_string(task.predecessor) : std::string()) +
            "</td><td class=\"n\">" + std::to_string(task.percent) + "%</td><td>" +
            EscapeXml(JoinResources(task.resources)) + "</td></tr>\n";
  }
  html += "</table>\n</body>\n</html>\n";
  return html;
}

}  // namespace kestrel::plan
