// SPDX-License-Identifier: MIT
// One entry of a table of operating-system calls: the system's own function,
// and the one that stands in front of it for now. A test program (to make a
// call fail as a full disk would) or a host (to convert file names) sets an
// entry by name and keeps what it replaced, to call through and to put back;
// the system's function stays known to the entry, so Reset() restores it.
#pragma once

#include <utility>

namespace kestrel {

template <typename Signature>
class SystemCall;

template <typename Result, typename... Args>
class SystemCall<Result(Args...)> {
 public:
  using Function = Result (*)(Args...);

  // Not explicit, so that a table of entries is written as a list of functions.
  constexpr SystemCall(Function system) : system_(system), current_(system) {}

  // Calls the function that is in front now.
  Result operator()(Args... args) const { return current_(std::forward<Args>(args)...); }

  // Puts `function` in front and returns the one it replaced.
  Function Set(Function function) { return std::exchange(current_, function); }
  // Puts the system's own function back.
  void Reset() { current_ = system_; }
  Function Current() const { return current_; }
  Function System() const { return system_; }

 private:
  Function system_;
  Function current_;
};

}  // namespace kestrel
