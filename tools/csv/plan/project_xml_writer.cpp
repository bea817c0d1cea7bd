// SPDX-License-Identifier: MIT
#include "tools/csv/plan/project_xml_writer.h"

#include <cstdio>
#include <map>

#include "tools/csv/plan/project_xml.h"
#include "tools/csv/plan/xml_text.h"

// Each planner reads a slightly different subset of the format. Planner's
// stylesheet takes only tasks at OutlineLevel 1 with an OutlineNumber,
// resources with an ID above 0 and assignments whose ResourceUID is above
// 0, reads a link without a Type as start-to-start and a task's length
// from Duration and Work; so every one of these is written.

namespace kestrel::plan {
namespace {

std::string DateTime(const CivilDate& date, int hour) {
  char time[16];
  std::snprintf(time, sizeof time, "T%02d:00:00", hour);
  return IsoDate(date) + time;
}

std::string Hours(std::int32_t days) {
  return "PT" + std::to_string(static_cast<std::int64_t>(days) * kHoursPerDay) + "H0M0S";
}

class XmlOut {
 public:
  explicit XmlOut(std::string& text) : text_(text) {}
  void Open(int depth, const char* name) { Indent(depth) += "<" + std::string(name) + ">\n"; }
  void Close(int depth, const char* name) { Indent(depth) += "</" + std::string(name) + ">\n"; }
  // An element holding text already escaped.
  void Element(int depth, const char* name, const std::string& escaped) {
    Indent(depth) += "<" + std::string(name) + ">" + escaped + "</" + name + ">\n";
  }
  void Number(int depth, const char* name, std::int64_t value) {
    Element(depth, name, std::to_string(value));
  }

 private:
  std::string& Indent(int depth) { return text_.append(static_cast<std::size_t>(depth), ' '); }
  std::string& text_;
};

// The escaped text; notes the task when a character had to be replaced.
std::string Escaped(const std::string& text, const PlanTask& task, Plan* plan) {
  std::size_t lost = 0;
  std::string escaped = EscapeXml(text, &lost);
  if (lost > 0) {
    plan->Note(task.line, "a control character, which XML cannot hold, is written as \"?\"");
  }
  return escaped;
}

struct Links {
  std::map<std::int32_t, std::size_t> firstOfId;   // ID -> index of its first task
  std::map<std::string, std::size_t> resourceUid;  // name -> UID
  std::vector<const std::string*> resourceNames;   // by UID - 1
};

Links GatherLinks(Plan* plan) {
  Links links;
  for (std::size_t i = 0; i < plan->tasks.size(); ++i) {
    const PlanTask& task = plan->tasks[i];
    const auto [first, added] = links.firstOfId.emplace(task.id, i);
    if (!added) {
      plan->Note(task.line, "the ID " + std::to_string(task.id) + " is also on line " +
                                std::to_string(plan->tasks[first->second].line) +
                                ": a predecessor " + std::to_string(task.id) +
                                " is linked to that line");
    }
    for (const std::string& name : task.resources) {
      if (links.resourceUid.emplace(name, links.resourceNames.size() + 1).second) {
        links.resourceNames.push_back(&name);
      }
    }
  }
  return links;
}

void WriteDates(XmlOut& xml, const PlanTask& task, Plan* plan) {
  const struct {
    const char* element;
    const char* what;
    const CivilDate& date;
    int hour;
  } dates[] = {{"Start", "start", task.start, kDayStartHour},
               {"Finish", "finish", task.finish, kDayEndHour}};
  for (const auto& date : dates) {
    if (IsCalendarDate(date.date)) {
      xml.Element(3, date.element, DateTime(date.date, date.hour));
    } else {
      plan->Note(task.line,
                 std::string("the ") + date.what + " " + std::to_string(date.date.month) + "/" +
                     std::to_string(date.date.day) + "/" + std::to_string(date.date.year) +
                     " is not a calendar date: the task is written without it");
    }
  }
}

void WritePredecessor(XmlOut& xml, const PlanTask& task, const Links& links, Plan* plan) {
  if (task.predecessor <= 0) return;
  const auto found = links.firstOfId.find(task.predecessor);
  if (found == links.firstOfId.end()) {
    plan->Note(task.line, "the predecessor " + std::to_string(task.predecessor) +
                              " is the ID of no line: the task is written without it");
    return;
  }
  xml.Open(3, "PredecessorLink");
  xml.Number(4, "PredecessorUID", static_cast<std::int64_t>(found->second) + 1);
  xml.Number(4, "Type", 1);  // finish-to-start
  xml.Number(4, "CrossProject", 0);
  xml.Number(4, "LinkLag", 0);
  xml.Number(4, "LagFormat", 7);  // days
  xml.Close(3, "PredecessorLink");
}

void WriteTask(XmlOut& xml, std::size_t index, const Links& links, Plan* plan) {
  const PlanTask& task = plan->tasks[index];
  const auto uid = static_cast<std::int64_t>(index) + 1;
  xml.Open(2, "Task");
  xml.Number(3, "UID", uid);
  xml.Number(3, "ID", uid);
  xml.Element(3, "Name", Escaped(task.name, task, plan));
  xml.Number(3, "Type", 1);  // fixed duration
  xml.Number(3, "IsNull", 0);
  xml.Number(3, "OutlineNumber", uid);
  xml.Number(3, "OutlineLevel", 1);
  WriteDates(xml, task, plan);
  xml.Element(3, "Duration", Hours(task.days));
  xml.Number(3, "DurationFormat", 7);  // days
  xml.Element(3, "Work", Hours(task.days));
  xml.Number(3, "Milestone", task.days == 0 ? 1 : 0);
  xml.Number(3, "Summary", 0);
  if (task.percent >= 0 && task.percent <= 100) {
    xml.Number(3, "PercentComplete", task.percent);
  } else {
    plan->Note(task.line, "the percent complete " + std::to_string(task.percent) +
                              " is outside 0-100: the task is written without it");
  }
  WritePredecessor(xml, task, links, plan);
  xml.Open(3, "ExtendedAttribute");
  xml.Element(4, "FieldID", kKestrelIdFieldId);
  xml.Number(4, "Value", task.id);
  xml.Close(3, "ExtendedAttribute");
  xml.Close(2, "Task");
}

void WriteHeader(XmlOut& xml, std::string& text, const std::string& title, const Plan& plan) {
  text += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  text += "<Project xmlns=\"" + std::string(kProjectNamespace) + "\">\n";
  xml.Element(1, "Name", EscapeXml(title));
  xml.Element(1, "Title", EscapeXml(title));
  xml.Number(1, "ScheduleFromStart", 1);
  for (const PlanTask& task : plan.tasks) {
    if (!IsCalendarDate(task.start)) continue;
    xml.Element(1, "StartDate", DateTime(task.start, kDayStartHour));
    break;
  }
  xml.Element(1, "DefaultStartTime", "08:00:00");
  xml.Element(1, "DefaultFinishTime", "17:00:00");
  xml.Number(1, "MinutesPerDay", kHoursPerDay * 60);
  xml.Number(1, "MinutesPerWeek", kHoursPerDay * 60 * 5);
  xml.Open(1, "ExtendedAttributes");
  xml.Open(2, "ExtendedAttribute");
  xml.Element(3, "FieldID", kKestrelIdFieldId);
  xml.Element(3, "FieldName", "Text1");
  xml.Element(3, "Alias", kKestrelIdAlias);
  xml.Close(2, "ExtendedAttribute");
  xml.Close(1, "ExtendedAttributes");
}

void WriteResources(XmlOut& xml, const Links& links, const Plan& plan) {
  xml.Open(1, "Resources");
  for (std::size_t i = 0; i < links.resourceNames.size(); ++i) {
    xml.Open(2, "Resource");
    xml.Number(3, "UID", static_cast<std::int64_t>(i) + 1);
    xml.Number(3, "ID", static_cast<std::int64_t>(i) + 1);
    xml.Element(3, "Name", EscapeXml(*links.resourceNames[i]));
    xml.Number(3, "Type", 1);  // work
    xml.Close(2, "Resource");
  }
  xml.Close(1, "Resources");
  xml.Open(1, "Assignments");
  std::int64_t uid = 0;
  for (std::size_t i = 0; i < plan.tasks.size(); ++i) {
    for (const std::string& name : plan.tasks[i].resources) {
      xml.Open(2, "Assignment");
      xml.Number(3, "UID", ++uid);
      xml.Number(3, "TaskUID", static_cast<std::int64_t>(i) + 1);
      xml.Number(3, "ResourceUID", static_cast<std::int64_t>(links.resourceUid.at(name)));
      xml.Element(3, "Units", "1");
      xml.Close(2, "Assignment");
    }
  }
  xml.Close(1, "Assignments");
}

}  // namespace

std::string WriteProjectXml(const std::string& title, Plan* plan) {
  std::string text;
  XmlOut xml(text);
  const Links links = GatherLinks(plan);
  WriteHeader(xml, text, title, *plan);
  xml.Open(1, "Tasks");
  for (std::size_t i = 0; i < plan->tasks.size(); ++i) WriteTask(xml, i, links, plan);
  xml.Close(1, "Tasks");
  WriteResources(xml, links, *plan);
  text += "</Project>\n";
  return text;
}

}  // namespace kestrel::plan
