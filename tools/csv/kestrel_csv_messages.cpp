// SPDX-License-Identifier: MIT
// The shared warnings of kestrel-csv's commands.
#include "tools/csv/kestrel_csv_messages.h"

#include "record/task_record.h"

namespace kestrel::cli {
namespace {

constexpr std::size_t kTextLimit = kTaskTextFieldSize - 1;

constexpr bool IsContinuation(unsigned char byte) { return byte >= 0x80 && byte <= 0xBF; }

// True when the 31-byte cut of `text` splits a UTF-8 sequence that starts
// before it: a continuation byte right after the cut, and a lead byte of a
// multi-byte sequence no more than three bytes before it.
bool CutSplitsUtf8(std::string_view text) {
  if (text.size() <= kTextLimit || !IsContinuation(static_cast<unsigned char>(text[kTextLimit]))) {
    return false;
  }
  for (std::size_t back = 1; back <= 3; ++back) {
    const auto byte = static_cast<unsigned char>(text[kTextLimit - back]);
    if (!IsContinuation(byte)) return byte >= 0xC2 && byte <= 0xF4;
  }
  return false;
}

}  // namespace

std::string CutWarning(std::string_view what, std::string_view text, bool converted) {
  const std::string subject = "the " + std::string(what);
  if (!converted && CutSplitsUtf8(text)) {
    return subject +
           " is cut at 31 bytes, inside a character, and the text looks like UTF-8: give "
           "--charset UTF-8 (to kestrel-sync too) so that it is cut on a whole character";
  }
  return subject + " " + (what == "name" ? "is" : "are") + " cut at 31 characters: shorten " +
         (what == "name" ? "it" : "them") + " to keep " + (what == "name" ? "it" : "them") +
         " whole";
}

}  // namespace kestrel::cli
