// SPDX-License-Identifier: MIT
#include "tools/sync/charset_files.h"

#include <utility>

namespace kestrel::cli {

CharsetFiles::CharsetFiles(CharsetPair pair, std::string desktopName, std::string handheldName)
    : pair_(std::move(pair)),
      desktopName_(std::move(desktopName)),
      handheldName_(std::move(handheldName)) {}

std::string CharsetFiles::DesktopPath(std::string_view path) const {
  const std::size_t slash = path.rfind('/');
  const std::size_t nameAt = slash == std::string_view::npos ? 0 : slash + 1;
  std::string converted(path.substr(0, nameAt));
  pair_.toDesktop->Convert(path.substr(nameAt), converted);
  return converted;
}

std::string CharsetFiles::DesktopName(std::string_view name) const {
  std::string converted;
  pair_.toDesktop->Convert(name, converted);
  return converted;
}

void CharsetFiles::CountName(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t nameAt = slash == std::string_view::npos ? 0 : slash + 1;
  std::string desktop(path.substr(0, nameAt));
  const std::size_t replaced = pair_.toDesktop->Convert(path.substr(nameAt), desktop);
  if (replaced == 0) return;
  for (const Count& name : names_) {
    if (name.path == desktop) return;
  }
  names_.push_back({std::move(desktop), false, replaced});
}

std::string CharsetFiles::ImportText(std::string_view bytes, std::string_view path) {
  std::string text;
  Add(path, true, pair_.toHandheld->Convert(bytes, text, nullptr, true));
  return text;
}

std::string CharsetFiles::BackupText(std::string_view text, std::string_view path) {
  std::string converted;
  Add(path, false, pair_.toDesktop->Convert(text, converted));
  return converted;
}

void CharsetFiles::Add(std::string_view path, bool import, std::size_t replaced) {
  if (replaced == 0) return;
  for (Count& count : counts_) {
    if (count.path == path && count.import == import) {
      count.replaced += replaced;
      return;
    }
  }
  counts_.push_back({std::string(path), import, replaced});
}

void CharsetFiles::NoteOtherSetFile(std::string_view handheldPath, std::string_view desktopPath) {
  const std::pair<std::string, std::string> twin{handheldPath, desktopPath};
  for (const auto& known : twins_) {
    if (known == twin) return;
  }
  twins_.push_back(twin);
}

std::vector<std::string> CharsetFiles::SummaryLines() const {
  std::vector<std::string> lines;
  for (const Count& count : counts_) {
    const std::string number = std::to_string(count.replaced);
    const char* const characters = count.replaced == 1 ? " character of " : " characters of ";
    const char* const were = count.replaced == 1 ? " was " : " were ";
    const std::string& set = count.import ? handheldName_ : desktopName_;
    lines.push_back(number + characters + count.path + " that " + set + " cannot hold" + were +
                    (count.import ? "read as \"?\"" : "written as \"?\""));
  }
  for (const Count& name : names_) {
    const std::string number = std::to_string(name.replaced);
    lines.push_back(number + (name.replaced == 1 ? " character" : " characters") +
                    " of the name of " + name.path + " that " + desktopName_ + " cannot hold" +
                    (name.replaced == 1 ? " was" : " were") + " written as \"?\"");
  }
  for (const auto& [handheld, desktop] : twins_) {
    lines.push_back(handheld + ": the same database's backup in " + handheldName_ +
                    ", from a sync without --charset, beside " + desktop +
                    "; remove it once it is no longer needed");
  }
  return lines;
}

}  // namespace kestrel::cli
