// SPDX-License-Identifier: MIT
#include "tools/csv/plan/import_writer.h"

#include "record/task_record.h"
#include "transfer/passes.h"

namespace kestrel::plan {
namespace {

constexpr std::size_t kTextLimit = kTaskTextFieldSize - 1;

std::size_t Utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  return lead >= 0xC0 ? 2 : 1;
}

// `utf8` in the handheld's set, cut to 31 bytes after a whole character.
// Each character is converted alone, so that a cut never splits one.
std::string HandheldText(std::string_view utf8, cli::CharsetConverter& toHandheld, const char* what,
                         int line, Plan* plan) {
  std::string text, piece;
  std::size_t lost = 0;
  bool cut = false;
  while (!utf8.empty()) {
    const std::size_t length =
        std::min(Utf8Length(static_cast<unsigned char>(utf8[0])), utf8.size());
    piece.clear();
    lost += toHandheld.Convert(utf8.substr(0, length), piece);
    utf8.remove_prefix(length);
    if (text.size() + piece.size() > kTextLimit) {
      cut = true;
      break;
    }
    text += piece;
  }
  if (lost > 0) {
    plan->Note(line, std::string("a character of the ") + what +
                         " that the handheld's character set lacks is written as \"?\"");
  }
  if (cut) plan->Note(line, std::string("the ") + what + " is cut at 31 bytes");
  return text;
}

bool InByte(std::int32_t value) { return value >= -128 && value <= 127; }

void CheckNumbers(const PlanTask& task, Plan* plan) {
  const struct {
    const char* what;
    std::int32_t value;
  } numbers[] = {{"ID", task.id}, {"predecessor", task.predecessor}, {"percent", task.percent}};
  for (const auto& number : numbers) {
    if (!InByte(number.value)) {
      plan->Note(task.line, std::string("the ") + number.what + " " + std::to_string(number.value) +
                                " is outside -128..127, which the handheld cannot hold");
    }
  }
  const struct {
    const char* what;
    const CivilDate& date;
  } dates[] = {{"start", task.start}, {"finish", task.finish}};
  for (const auto& date : dates) {
    if (date.date.year < 1904 || date.date.year > 2031) {
      plan->Note(task.line, std::string("the ") + date.what + " year " +
                                std::to_string(date.date.year) +
                                " is outside 1904-2031, which the handheld cannot hold");
    }
  }
}

std::string Date(const CivilDate& date) {
  return std::string(IsCalendarDate(date) ? WeekdayName(date) : "Day") + " " +
         std::to_string(date.month) + "/" + std::to_string(date.day) + "/" +
         std::to_string(date.year);
}

// `text` with each control character, which would break or shift the line,
// as a space.
std::string OneLine(std::string text, const char* what, int line, Plan* plan) {
  bool replaced = false;
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      c = ' ';
      replaced = true;
    }
  }
  if (replaced) {
    plan->Note(line, std::string("a line break or other control character in the ") + what +
                         " is written as a space");
  }
  return text;
}

std::string ImportLine(const PlanTask& task, cli::CharsetConverter& toHandheld, Plan* plan) {
  CheckNumbers(task, plan);
  std::string name = OneLine(task.name, "name", task.line, plan);
  if (name.find(',') != std::string::npos) {
    for (char& c : name) c = c == ',' ? ';' : c;
    plan->Note(task.line,
               "the name holds a comma, which would end it in the import: written with \";\"");
  }
  name = HandheldText(name, toHandheld, "name", task.line, plan);
  std::string resources =
      HandheldText(OneLine(JoinResources(task.resources), "resource names", task.line, plan),
                   toHandheld, "resource names", task.line, plan);
  while (!resources.empty() && (resources.back() == ' ' || resources.back() == ',')) {
    resources.pop_back();
  }
  std::string line = std::to_string(task.id) + "," + Date(task.start) + "," +
                     std::to_string(task.days) + " days," + Date(task.finish) + ",";
  if (task.predecessor > 0) line += std::to_string(task.predecessor);
  line += "," + std::to_string(task.percent) + "%," + name + "," + resources;
  return line;
}

}  // namespace

std::vector<std::string> WriteImportLines(cli::CharsetConverter& toHandheld, Plan* plan) {
  std::vector<std::string> lines;
  for (const PlanTask& task : plan->tasks) {
    if (lines.size() == static_cast<std::size_t>(kMaxImportLines)) {
      plan->Note(task.line,
                 "the import reads at most 100 lines: this task and those after it are left out");
      break;
    }
    lines.push_back(ImportLine(task, toHandheld, plan));
  }
  return lines;
}

}  // namespace kestrel::plan
