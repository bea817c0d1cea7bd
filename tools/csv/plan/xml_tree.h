// SPDX-License-Identifier: MIT
// A whole XML document as a small tree of elements and their text, built
// from an XmlReader: project files are read by looking things up in it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/csv/plan/xml_reader.h"

namespace kestrel::plan {

// Elements nest at most this deep: project files need six levels.
inline constexpr int kMaxXmlDepth = 32;

struct XmlElement {
  std::string name;  // local name
  std::string uri;   // namespace URI
  std::string text;  // the text directly inside it, joined
  int line = 0;
  std::vector<XmlElement> children;

  // The first child of that name, or nullptr.
  const XmlElement* Child(std::string_view childName) const;
  // The text of the first child of that name, or "" when there is none.
  const std::string& ChildText(std::string_view childName) const;
};

// Reads the document of `reader` into *root. False with *error a one-line
// message when the document is not well-formed, nests deeper than
// kMaxXmlDepth or has no root element.
bool ReadXmlTree(XmlReader& reader, XmlElement* root, std::string* error);

}  // namespace kestrel::plan
