// SPDX-License-Identifier: MIT
// Lines per second of the import line parser and the backup line formatter
// on a realistic mix (bench/task_mix.h). Each benchmark walks the same 1024
// inputs over and over, so the inputs stay in the cache as a sync's would.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/task_mix.h"
#include "handheld/record_buffer.h"
#include "record/task_record.h"

namespace {

using kestrel::bench::ImportLineMix;
using kestrel::bench::TaskRecordMix;

constexpr std::size_t kMixSize = 1024;  // a power of two: the index wraps by a mask

void BM_ParseTaskLine(benchmark::State& state) {
  const std::vector<std::string> lines = ImportLineMix(kMixSize);
  std::size_t bytes = 0;
  for (const auto& line : lines) bytes += line.size();

  RecordTransfer transfer{};
  const kestrel::RecordBuffer buffer(transfer, kRecordBufferSize);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ParseTaskLine(lines[i++ & (kMixSize - 1)], transfer));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes / kMixSize));
}
BENCHMARK(BM_ParseTaskLine);

// One transfer per record, each with its record in its buffer, as
// ReadRecordAt leaves it.
struct FilledTransfers {
  explicit FilledTransfers(const std::vector<TaskRecord>& records) : transfers(records.size()) {
    for (std::size_t i = 0; i < records.size(); ++i) {
      buffers.push_back(std::make_unique<kestrel::RecordBuffer>(transfers[i], kRecordBufferSize));
      std::memcpy(buffers.back()->Data(), &records[i], sizeof(TaskRecord));
      transfers[i].recordSize = kTaskRecordSize;
    }
  }
  std::vector<RecordTransfer> transfers;
  std::vector<std::unique_ptr<kestrel::RecordBuffer>> buffers;
};

void BM_FormatTaskLine(benchmark::State& state) {
  const FilledTransfers filled(TaskRecordMix(kMixSize));
  std::string line;
  std::size_t bytes = 0;
  for (const auto& transfer : filled.transfers) {
    FormatTaskLine(transfer, line);
    bytes += line.size();
  }
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FormatTaskLine(filled.transfers[i++ & (kMixSize - 1)], line));
    benchmark::DoNotOptimize(line.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes / kMixSize));
}
BENCHMARK(BM_FormatTaskLine);

}  // namespace

BENCHMARK_MAIN();
