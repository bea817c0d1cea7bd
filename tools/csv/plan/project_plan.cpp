// SPDX-License-Identifier: MIT
#include "tools/csv/plan/project_plan.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>
#include <set>

#include "tools/common/message_escape.h"
#include "tools/csv/plan/project_xml.h"

namespace kestrel::plan {
namespace {

struct DateTime {
  CivilDate date;
  int minutes = 0;  // from midnight
  friend bool operator==(const DateTime&, const DateTime&) = default;
};

std::optional<long long> Integer(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\n')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) text.remove_suffix(1);
  long long value = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (status != std::errc() || end != text.data() + text.size() || text.empty()) {
    return std::nullopt;
  }
  return value;
}

// "YYYY-MM-DDTHH:MM[:SS...]".
std::optional<DateTime> ParseDateTime(std::string_view text) {
  if (text.size() < 16 || text[10] != 'T' || text[13] != ':') return std::nullopt;
  const std::optional<CivilDate> date = ParseIsoDate(text.substr(0, 10));
  const std::optional<long long> hours = Integer(text.substr(11, 2));
  const std::optional<long long> minutes = Integer(text.substr(14, 2));
  if (!date || !hours || !minutes || *hours > 24 || *minutes > 59) return std::nullopt;
  return DateTime{*date, static_cast<int>(*hours * 60 + *minutes)};
}

// "PT<h>H<m>M<s>S" in working days of eight hours, to the nearest day.
std::optional<std::int32_t> DurationDays(std::string_view text) {
  if (text.substr(0, 2) != "PT") return std::nullopt;
  text.remove_prefix(2);
  double hours = 0;
  const struct {
    char unit;
    double perHour;
  } parts[] = {{'H', 1}, {'M', 60}, {'S', 3600}};
  for (const auto& part : parts) {
    const std::size_t at = text.find(part.unit);
    if (at == std::string_view::npos) continue;
    double value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + at, value);
    if (status != std::errc() || end != text.data() + at || !std::isfinite(value) || value < 0) {
      return std::nullopt;
    }
    hours += value / part.perHour;
    text.remove_prefix(at + 1);
  }
  if (!text.empty()) return std::nullopt;
  const double days = std::floor(hours / kHoursPerDay + 0.5);
  return days > 65535 ? 65535 : static_cast<std::int32_t>(days);
}

struct SourceTask {
  const XmlElement* element;
  std::string uid;
  std::optional<long long> fileId, keptId;
  std::vector<std::string> predecessors;  // UIDs
};

struct Project {
  std::vector<SourceTask> leaves;
  std::map<std::string, std::vector<std::string>> resourcesOfTask;  // task UID -> names
};

int Level(const XmlElement& task) {
  return static_cast<int>(Integer(task.ChildText("OutlineLevel")).value_or(1));
}

std::string Shown(const XmlElement& task) {
  return "\"" + cli::EscapeForMessage(task.ChildText("Name")) + "\"";
}

std::optional<long long> KeptId(const XmlElement& task) {
  for (const XmlElement& child : task.children) {
    if (child.name == "ExtendedAttribute" && child.ChildText("FieldID") == kKestrelIdFieldId) {
      return Integer(child.ChildText("Value"));
    }
  }
  return std::nullopt;
}

void GatherLeaves(const XmlElement& tasks, Project* project, Plan* plan) {
  std::vector<const XmlElement*> all;
  for (const XmlElement& child : tasks.children) {
    if (child.name == "Task" && child.ChildText("IsNull") != "1") all.push_back(&child);
  }
  for (std::size_t i = 0; i < all.size(); ++i) {
    const XmlElement& task = *all[i];
    const bool parent = i + 1 < all.size() && Level(*all[i + 1]) > Level(task);
    if (task.ChildText("Summary") == "1" || parent) {
      plan->Note(task.line, "the summary task " + Shown(task) + " is left out");
      continue;
    }
    SourceTask source{
        &task, task.ChildText("UID"), Integer(task.ChildText("ID")), KeptId(task), {}};
    for (const XmlElement& child : task.children) {
      if (child.name == "PredecessorLink")
        source.predecessors.push_back(child.ChildText("PredecessorUID"));
    }
    project->leaves.push_back(std::move(source));
  }
}

void GatherResources(const XmlElement& root, Project* project) {
  std::map<std::string, std::string> names;  // resource UID -> name
  if (const XmlElement* resources = root.Child("Resources")) {
    for (const XmlElement& resource : resources->children) {
      if (resource.name != "Resource") continue;
      const std::string& name = resource.ChildText("Name");
      if (!name.empty()) names.emplace(resource.ChildText("UID"), name);
    }
  }
  const XmlElement* assignments = root.Child("Assignments");
  if (assignments == nullptr) return;
  for (const XmlElement& assignment : assignments->children) {
    if (assignment.name != "Assignment") continue;
    const auto found = names.find(assignment.ChildText("ResourceUID"));
    if (found == names.end()) continue;
    project->resourcesOfTask[assignment.ChildText("TaskUID")].push_back(found->second);
  }
}

bool InByte(long long value) { return value >= -128 && value <= 127; }

// The IDs of the leaves, by the first rule that every one of them meets.
std::vector<std::int32_t> ChooseIds(const Project& project, Plan* plan) {
  std::vector<std::int32_t> ids;
  bool kept = true, fileFits = true;
  std::set<long long> seen;
  for (const SourceTask& task : project.leaves) {
    kept = kept && task.keptId && InByte(*task.keptId);
    fileFits = fileFits && task.fileId && InByte(*task.fileId) && seen.insert(*task.fileId).second;
  }
  for (std::size_t i = 0; i < project.leaves.size(); ++i) {
    const SourceTask& task = project.leaves[i];
    if (kept) {
      ids.push_back(static_cast<std::int32_t>(*task.keptId));
    } else if (fileFits) {
      ids.push_back(static_cast<std::int32_t>(*task.fileId));
    } else {
      ids.push_back(static_cast<std::int32_t>(i + 1));
      plan->Note(task.element->line, "the task " + Shown(*task.element) + " (ID " +
                                         cli::EscapeForMessage(task.element->ChildText("ID")) +
                                         ") is given the ID " + std::to_string(i + 1) +
                                         ": the file's IDs do not fit -128..127 or repeat");
    }
  }
  return ids;
}

// Start, finish and days of one task, by the rules in the header.
bool ReadSchedule(const XmlElement& element, PlanTask* task, Plan* plan) {
  const std::optional<DateTime> start = ParseDateTime(element.ChildText("Start"));
  const std::optional<DateTime> finish = ParseDateTime(element.ChildText("Finish"));
  if (!start || !finish) {
    plan->Note(element.line,
               "the task " + Shown(element) + " has no start or finish date and time: left out");
    return false;
  }
  constexpr int kEndOfDay = kDayEndHour * 60;
  task->start = start->minutes >= kEndOfDay ? NextWorkingDay(start->date) : start->date;
  if (*start == *finish) {
    task->finish = task->start;
    task->days = 0;
    return true;
  }
  task->finish = finish->date;
  if (finish->minutes == 0) {
    task->finish = DateOfDayNumber(std::max(DayNumber(finish->date) - 1, DayNumber(task->start)));
  }
  const std::optional<std::int32_t> days = DurationDays(element.ChildText("Duration"));
  task->days = days ? *days : WorkingDaysBetween(task->start, task->finish);
  return true;
}

void LinkPredecessor(const SourceTask& source, const std::map<std::string, std::int32_t>& idOfUid,
                     PlanTask* task, Plan* plan) {
  if (source.predecessors.empty()) return;
  for (std::size_t i = 1; i < source.predecessors.size(); ++i) {
    plan->Note(task->line, "a second predecessor (task UID " +
                               cli::EscapeForMessage(source.predecessors[i]) + ") is left out");
  }
  const auto found = idOfUid.find(source.predecessors[0]);
  if (found == idOfUid.end()) {
    plan->Note(task->line, "the predecessor (task UID " +
                               cli::EscapeForMessage(source.predecessors[0]) +
                               ") is not a task that is written: left out");
  } else if (found->second <= 0) {
    plan->Note(task->line, "the predecessor's ID " + std::to_string(found->second) +
                               " is not above 0, which the handheld keeps as none");
  } else {
    task->predecessor = found->second;
  }
}

}  // namespace

bool LooksLikeXml(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && text[first] == '<';
}

bool ReadProjectPlan(const XmlElement& root, Plan* plan, std::string* title, std::string* error) {
  if (root.name != "Project") {
    *error = "line " + std::to_string(root.line) + ": the root element is " +
             cli::EscapeForMessage(root.name) + ", not Project";
    return false;
  }
  *title = root.ChildText("Title").empty() ? root.ChildText("Name") : root.ChildText("Title");
  Project project;
  if (const XmlElement* tasks = root.Child("Tasks")) GatherLeaves(*tasks, &project, plan);
  GatherResources(root, &project);
  const std::vector<std::int32_t> ids = ChooseIds(project, plan);
  std::map<std::string, std::int32_t> idOfUid;
  for (std::size_t i = 0; i < project.leaves.size(); ++i) {
    idOfUid.emplace(project.leaves[i].uid, ids[i]);
  }
  for (std::size_t i = 0; i < project.leaves.size(); ++i) {
    const SourceTask& source = project.leaves[i];
    PlanTask task;
    task.line = source.element->line;
    task.id = ids[i];
    task.name = source.element->ChildText("Name");
    if (!ReadSchedule(*source.element, &task, plan)) continue;
    task.percent = static_cast<std::int32_t>(
        Integer(source.element->ChildText("PercentComplete")).value_or(0));
    LinkPredecessor(source, idOfUid, &task, plan);
    const auto resources = project.resourcesOfTask.find(source.uid);
    if (resources != project.resourcesOfTask.end()) task.resources = resources->second;
    plan->tasks.push_back(std::move(task));
  }
  return true;
}

}  // namespace kestrel::plan
