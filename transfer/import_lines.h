// SPDX-License-Identifier: MIT
// Reading the import file's lines as the import pass takes them: at most
// kMaxImportLines lines, each read by the kImportLineChars rule. The import
// pass reads through it, and so does anything that must see the file exactly
// as the import will.
#pragma once

#include <string>

#include "platform/text_file.h"
#include "transfer/passes.h"

namespace kestrel {

class ImportLineReader {
 public:
  // Reads from `file`, open for reading, which must outlive the reader.
  explicit ImportLineReader(TextFile& file) : file_(file) {}

  // Replaces `line` with the next line the import takes. Line when there is
  // one; End when the file holds no more text or kMaxImportLines lines have
  // been taken (the rest of the file is left unread); Error when reading
  // failed.
  ReadOutcome Next(std::string& line);

  // The lines taken so far.
  int LinesRead() const { return linesRead_; }

 private:
  TextFile& file_;
  int linesRead_ = 0;
};

}  // namespace kestrel
