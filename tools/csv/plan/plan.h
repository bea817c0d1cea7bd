// SPDX-License-Identifier: MIT
// A plan as the planner formats and the chart see it: tasks in file order,
// each with the fields of a handheld task, texts in UTF-8, and the notes
// that name, by line, what a reader or writer could not carry over.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/csv/plan/civil_date.h"

namespace kestrel::plan {

struct PlanTask {
  int line = 0;                        // the line of the file it was read from
  std::int32_t id = 0;                 // the Kestrelplan ID; may be 0, negative or repeated
  CivilDate start;                     // need not be a calendar date (a backup keeps any)
  CivilDate finish;                    // the task's last day
  std::int32_t days = 0;               // duration in working days
  std::int32_t predecessor = 0;        // the ID of the task it follows; 0 or less: none
  std::int32_t percent = 0;            // % complete
  std::string name;                    // UTF-8
  std::vector<std::string> resources;  // UTF-8, one name each, in order
};

struct PlanNote {
  int line = 0;  // 0 for the file as a whole
  std::string text;
};

struct Plan {
  std::vector<PlanTask> tasks;
  std::vector<PlanNote> notes;

  void Note(int line, std::string text) { notes.push_back(PlanNote{line, std::move(text)}); }
};

// The resource names as the handheld keeps them in one text: joined with
// ", ", which is how a resource list is written by hand.
std::string JoinResources(const std::vector<std::string>& resources);

// A resource text split at its commas, each name without the spaces around
// it; empty names are dropped.
std::vector<std::string> SplitResources(std::string_view text);

}  // namespace kestrel::plan
