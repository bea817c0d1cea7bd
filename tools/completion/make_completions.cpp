// SPDX-License-Identifier: MIT
// Writes the bash completion scripts of kestrel-sync and kestrel-csv, made
// from the commands' own option tables at build time: make_completions DIR
// writes DIR/kestrel-sync and DIR/kestrel-csv.
#include <fstream>
#include <iostream>
#include <string>

#include "tools/common/bash_completion.h"
#include "tools/csv/kestrel_csv.h"
#include "tools/sync/sync_cli.h"

namespace {

bool Write(const std::string& path, const std::string& text) {
  const std::string partial = path + ".kestrel-new";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) return false;
  }
  return std::rename(partial.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrel::cli;
  if (argc != 2) {
    std::cerr << "usage: make_completions DIR\n";
    return 2;
  }
  const std::string dir = argv[1];
  if (!Write(dir + "/kestrel-sync", BashCompletion(kProgramName, SyncOptionDefinitions())) ||
      !Write(dir + "/kestrel-csv",
             BashCompletion(kCsvProgramName, CsvOptionDefinitions(), CsvCommandNames()))) {
    std::cerr << "make_completions: " << dir << ": cannot write a completion script\n";
    return 1;
  }
  return 0;
}
