// Fault injection for the text-file layer. Every open, write, line read and
// close of a TextFile first calls FileOperationFails(), which counts the call
// and says whether it is to fail as a full disk or a vanished file would make
// it fail. Nothing fails until a test arms a fault; an unarmed countdown costs
// one increment per call. One thread, like the rest of the conduit.
#pragma once

#include <string_view>

namespace kestrel {

enum class FileOperation { Open, Write, Read, Close };
inline constexpr int kFileOperationCount = 4;

// Makes the nth call (1-based, counted from now) of `op` fail; with
// `persistent` every later call of `op` fails too. One fault at a time: arming
// replaces the fault armed before.
void FailFileOperation(FileOperation op, int nth, bool persistent = false);

// Disarms the fault and forgets whether it fired.
void ClearFileFaults();

// Whether an armed fault has made a call fail since it was armed.
bool FileFaultFired();

// Calls of `op` since the program started.
int FileOperationCount(FileOperation op);

// Told of every call before the fault is consulted: the path for Open, the
// text for Write, nothing for Read and Close. nullptr (the default) for none.
using FileOperationObserver = void (*)(FileOperation op, std::string_view detail);
void ObserveFileOperations(FileOperationObserver observer);

// For the text-file implementations: counts the call, tells the observer and
// returns true when the call is to fail.
bool FileOperationFails(FileOperation op, std::string_view detail = {});

}  // namespace kestrel
