// SPDX-License-Identifier: MIT
// The names that the project XML of the desktop planners uses and that both
// our writer and our reader depend on.
#pragma once

namespace kestrel::plan {

inline constexpr char kProjectNamespace[] = "http://schemas.microsoft.com/project";
// The custom field Text1, where a task's Kestrelplan ID is kept.
inline constexpr char kKestrelIdFieldId[] = "188743731";
inline constexpr char kKestrelIdAlias[] = "Kestrelplan ID";
// A working day is eight hours, from 08:00 to 17:00.
inline constexpr int kHoursPerDay = 8;
inline constexpr int kDayStartHour = 8;
inline constexpr int kDayEndHour = 17;

}  // namespace kestrel::plan
