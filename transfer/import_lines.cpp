// SPDX-License-Identifier: MIT
#include "transfer/import_lines.h"

namespace kestrel {

ReadOutcome ImportLineReader::Next(std::string& line) {
  if (linesRead_ >= kMaxImportLines) {
    line.clear();
    return ReadOutcome::End;
  }
  if (line.capacity() < kImportLineArea) line.reserve(kImportLineArea);
  const ReadOutcome outcome = file_.ReadLine(line, kImportLineChars);
  if (outcome == ReadOutcome::Line) ++linesRead_;
  return outcome;
}

}  // namespace kestrel
