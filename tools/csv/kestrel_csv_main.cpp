// SPDX-License-Identifier: MIT
// kestrel-csv: checks an import file before a sync, makes import files from
// backups, planners' project XML and spreadsheets, writes project XML, draws
// a plan and shows a handheld file's tasks.
#include <csignal>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "tools/csv/kestrel_csv.h"

int main(int argc, char** argv) {
  using namespace kestrel::cli;
#ifdef SIGPIPE
  // A closed standard output is a write that fails, reported, not a kill.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  try {
    return RunKestrelCsv(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
  } catch (const std::bad_alloc&) {
    std::cerr << kCsvProgramName << ": out of memory\n";
  } catch (const std::exception& e) {
    std::cerr << kCsvProgramName << ": " << EscapeForMessage(e.what()) << '\n';
  }
  return kCsvExitError;
}
