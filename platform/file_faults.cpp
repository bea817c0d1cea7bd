#include "platform/file_faults.h"

#include <array>

namespace kestrel {
namespace {

// All of the seam's state, in one place.
struct FileFaultState {
  std::array<int, kFileOperationCount> calls{};
  bool armed = false;
  FileOperation op = FileOperation::Open;
  int call = 0;  // the absolute call number of `op` that fails
  bool persistent = false;
  bool fired = false;
  FileOperationObserver observer = nullptr;
};

FileFaultState& State() {
  static FileFaultState state;
  return state;
}

}  // namespace

void FailFileOperation(FileOperation op, int nth, bool persistent) {
  FileFaultState& s = State();
  s.armed = nth > 0;
  s.op = op;
  s.call = s.calls[static_cast<int>(op)] + nth;
  s.persistent = persistent;
  s.fired = false;
}

void ClearFileFaults() {
  FileFaultState& s = State();
  s.armed = false;
  s.fired = false;
}

bool FileFaultFired() { return State().fired; }

int FileOperationCount(FileOperation op) { return State().calls[static_cast<int>(op)]; }

void ObserveFileOperations(FileOperationObserver observer) { State().observer = observer; }

bool FileOperationFails(FileOperation op, std::string_view detail) {
  FileFaultState& s = State();
  const int call = ++s.calls[static_cast<int>(op)];
  if (s.observer != nullptr) s.observer(op, detail);
  if (!s.armed || op != s.op) return false;
  if (call == s.call || (s.persistent && call > s.call)) {
    s.fired = true;
    return true;
  }
  return false;
}

}  // namespace kestrel
