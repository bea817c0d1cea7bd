// SPDX-License-Identifier: MIT
// Runs one codec call N times over the benchmark mix, for counting
// instructions under valgrind --tool=callgrind, which gives the same count
// on a busy machine as on an idle one:
//
//   codec_count parse|format|none N
//
// Every mode prepares the same inputs and runs the same loop; "none" calls
// an empty function in place of the codec. The instructions of one call are
// (count of the mode - count of none) / N.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/task_mix.h"
#include "handheld/record_buffer.h"
#include "record/task_record.h"

namespace {

constexpr std::size_t kMixSize = 1024;

// Stands in for the codec in the baseline run; kept out of line so that the
// call itself costs what a call to the codec costs.
[[gnu::noinline]] int Nothing(const void* input, void* output) {
  asm volatile("" : : "r"(input), "r"(output) : "memory");
  return 0;
}

int Usage() {
  std::fprintf(stderr, "usage: codec_count parse|format|none N\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Usage();
  const std::string_view mode = argv[1];
  const long count = std::strtol(argv[2], nullptr, 10);
  if ((mode != "parse" && mode != "format" && mode != "none") || count <= 0) return Usage();

  // The inputs of both codecs, whatever the mode, so every run does the
  // same work before its loop.
  const std::vector<std::string> lines = kestrel::bench::ImportLineMix(kMixSize);
  const std::vector<TaskRecord> records = kestrel::bench::TaskRecordMix(kMixSize);
  std::vector<RecordTransfer> transfers(kMixSize);
  std::vector<std::unique_ptr<kestrel::RecordBuffer>> buffers;
  for (std::size_t i = 0; i < kMixSize; ++i) {
    buffers.push_back(std::make_unique<kestrel::RecordBuffer>(transfers[i], kRecordBufferSize));
    std::memcpy(buffers.back()->Data(), &records[i], sizeof(TaskRecord));
  }
  RecordTransfer parsed{};
  const kestrel::RecordBuffer parsedBuffer(parsed, kRecordBufferSize);
  std::string line;
  line.reserve(256);

  int sum = 0;
  for (long i = 0; i < count; ++i) {
    const std::size_t at = static_cast<std::size_t>(i) & (kMixSize - 1);
    if (mode[0] == 'p') {
      sum += ParseTaskLine(lines[at], parsed);
    } else if (mode[0] == 'f') {
      sum += FormatTaskLine(transfers[at], line);
    } else {
      sum += Nothing(&lines[at], &line);
    }
  }
  std::printf("%d\n", sum);
  return 0;
}
