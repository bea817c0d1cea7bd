// SPDX-License-Identifier: MIT
// One small interface for reading an XML document as a stream of nodes, so
// that the project reader is the same on every system: libxml2's
// xmlTextReader serves it on Linux, the system's XmlLite on Windows.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace kestrel::plan {

class XmlReader {
 public:
  enum class Node { StartElement, EndElement, Text, End };

  virtual ~XmlReader() = default;

  // Moves to the next element start, element end or text (character data
  // and CDATA, in UTF-8; white space between elements is skipped). An empty
  // element gives a start and an end. End at the end of the document. False
  // with *error a one-line message when the document is not well-formed, or
  // holds a document type declaration, which project files never do.
  virtual bool Next(Node* node, std::string* error) = 0;

  // The element's local name (no prefix), at a start or an end.
  virtual const std::string& LocalName() const = 0;
  // Its namespace URI, at a start.
  virtual const std::string& NamespaceUri() const = 0;
  // The text, at a Text node.
  virtual const std::string& Text() const = 0;
  // The line of the node, from 1.
  virtual int Line() const = 0;
};

// A reader over `document`, which must outlive it; nullptr with *error when
// the reader cannot be made.
std::unique_ptr<XmlReader> OpenXmlReader(std::string_view document, std::string* error);

}  // namespace kestrel::plan
