// SPDX-License-Identifier: MIT
#include "tools/csv/plan/backup_plan.h"

#include "tools/common/message_escape.h"
#include "tools/csv/plan/backup_line.h"
#include "transfer/passes.h"

namespace kestrel::plan {
namespace {

// `text` in UTF-8; notes the line when a character could not be converted.
std::string ToUtf8(std::string_view text, cli::CharsetConverter& toUtf8, int line, Plan& plan,
                   const char* what) {
  std::string converted;
  if (toUtf8.Convert(text, converted) > 0) {
    plan.Note(line, std::string("a character of the ") + what +
                        " is not one of its character set and is written as \"?\"");
  }
  return converted;
}

PlanTask TaskOfLine(int number, const BackupLine& fields, cli::CharsetConverter& toUtf8,
                    Plan& plan) {
  PlanTask task;
  task.line = number;
  task.id = fields.id;
  task.start = fields.start;
  task.finish = fields.finish;
  task.days = fields.days;
  task.predecessor = fields.predecessor;
  task.percent = fields.percent;
  task.name = ToUtf8(fields.name, toUtf8, number, plan, "name");
  const std::string resources = ToUtf8(fields.resources, toUtf8, number, plan, "resource names");
  task.resources = SplitResources(resources);
  const std::string joined = JoinResources(task.resources);
  if (joined != resources) {
    plan.Note(number, "the resource names \"" + cli::EscapeForMessage(resources) +
                          "\" come back as \"" + cli::EscapeForMessage(joined) + "\"");
  }
  return task;
}

}  // namespace

Plan ReadBackupPlan(std::string_view text, cli::CharsetConverter& toUtf8) {
  Plan plan;
  ForEachLine(text, [&](int number, std::string_view line) {
    if (number == 1 && line == kBackupHeader) return;
    if (line.empty()) return;  // where a deleted first record was
    const std::optional<BackupLine> fields = ParseBackupLine(line);
    if (!fields) {
      plan.Note(number, "not a line of a backup file: left out");
      return;
    }
    plan.tasks.push_back(TaskOfLine(number, *fields, toUtf8, plan));
  });
  return plan;
}

}  // namespace kestrel::plan
