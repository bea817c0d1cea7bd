// SPDX-License-Identifier: MIT
// Runs a fuzz target over saved inputs, without libFuzzer: every file named
// on the command line, and every file in each folder named there, in byte
// order of their names. A property that fails aborts, naming the input that
// was running. Fails when it found no input at all, so that a corpus that
// went missing is noticed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Inputs(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const fs::path named(argv[i]);
    if (!fs::is_directory(named)) {
      inputs.push_back(named);
      continue;
    }
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(named)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    inputs.insert(inputs.end(), files.begin(), files.end());
  }
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<fs::path> inputs = Inputs(argc, argv);
  if (inputs.empty()) {
    std::fprintf(stderr, "no inputs to replay\n");
    return 1;
  }
  for (const auto& path : inputs) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "%s: cannot read\n", path.string().c_str());
      return 1;
    }
    // The input gets a heap block of exactly its size, as under libFuzzer,
    // so that a sanitizer build sees any read past its end.
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    std::fprintf(stderr, "replaying %s (%zu bytes)\n", path.string().c_str(), data.size());
    LLVMFuzzerTestOneInput(data.data(), data.size());
  }
  std::printf("replayed %zu inputs\n", inputs.size());
  return 0;
}
