// What one synchronisation did, as the host and the file system saw it: every
// call into the eight host operations and every text-file operation, in the
// order they were made, each with the number of the conduit's allocations
// made before it.
//
// The test program links the conduit with the host operations wrapped
// (ld --wrap): each call reaches the simulated handheld through a wrapper
// here, which records it and keeps the handheld's own allocations out of the
// allocation count, so that a swept allocation fault always lands in the
// conduit and never in the stand-in for the host.
#pragma once

#include <string>
#include <vector>

#include "platform/file_faults.h"
#include "sim/handheld.h"

namespace kestrel::testing {

enum class Source { Host, File };

struct TraceEvent {
  Source source = Source::Host;
  int op = 0;           // a sim::Operation or a kestrel::FileOperation
  std::string subject;  // host: the database's name; file: the path (Open), the text (Write)
  int detail = 0;       // OpenDatabase: the mode; ReadRecordAt: the index; LogMessage: the activity
  long allocationsBefore = 0;

  bool Is(sim::Operation o) const { return source == Source::Host && op == int(o); }
  bool Is(FileOperation o) const { return source == Source::File && op == int(o); }
};

// Records into `trace` for the life of the object; allocations are counted
// from the moment it starts.
class TraceScope {
 public:
  explicit TraceScope(std::vector<TraceEvent>& trace);
  ~TraceScope();
  TraceScope(const TraceScope&) = delete;
  TraceScope& operator=(const TraceScope&) = delete;
};

}  // namespace kestrel::testing
