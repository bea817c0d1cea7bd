// SPDX-License-Identifier: MIT
// XmlReader on libxml2's xmlTextReader, reading from memory: no network, no
// external entity or DTD ever loaded, and a document type refused.
#include <libxml/xmlreader.h>

#include <climits>

#include "tools/csv/plan/xml_reader.h"

namespace kestrel::plan {
namespace {

std::string Copy(const xmlChar* text) {
  return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text));
}

class LibxmlReader final : public XmlReader {
 public:
  explicit LibxmlReader(xmlTextReaderPtr reader) : reader_(reader) {
    xmlTextReaderSetErrorHandler(reader_, &LibxmlReader::OnError, this);
  }
  ~LibxmlReader() override { xmlFreeTextReader(reader_); }

  bool Next(Node* node, std::string* error) override {
    if (pendingEnd_) {
      pendingEnd_ = false;
      *node = Node::EndElement;
      return true;
    }
    for (;;) {
      const int status = xmlTextReaderRead(reader_);
      if (status < 0 || !message_.empty()) return Fail(error);
      if (status == 0) {
        *node = Node::End;
        return true;
      }
      if (Take(node, error)) return true;
      if (!error->empty()) return false;
    }
  }

  const std::string& LocalName() const override { return name_; }
  const std::string& NamespaceUri() const override { return uri_; }
  const std::string& Text() const override { return text_; }
  int Line() const override { return line_; }

 private:
  // The current node as one of ours; false for a node we skip.
  bool Take(Node* node, std::string* error) {
    const xmlNodePtr current = xmlTextReaderCurrentNode(reader_);
    line_ = current != nullptr ? static_cast<int>(xmlGetLineNo(current)) : 0;
    if (line_ <= 0) line_ = xmlTextReaderGetParserLineNumber(reader_);
    switch (xmlTextReaderNodeType(reader_)) {
      case XML_READER_TYPE_ELEMENT:
        name_ = Copy(xmlTextReaderConstLocalName(reader_));
        uri_ = Copy(xmlTextReaderConstNamespaceUri(reader_));
        pendingEnd_ = xmlTextReaderIsEmptyElement(reader_) == 1;
        *node = Node::StartElement;
        return true;
      case XML_READER_TYPE_END_ELEMENT:
        name_ = Copy(xmlTextReaderConstLocalName(reader_));
        *node = Node::EndElement;
        return true;
      case XML_READER_TYPE_TEXT:
      case XML_READER_TYPE_CDATA:
        text_ = Copy(xmlTextReaderConstValue(reader_));
        *node = Node::Text;
        return true;
      case XML_READER_TYPE_DOCUMENT_TYPE:
        *error = "line " + std::to_string(line_) + ": a document type declaration";
        return false;
      default:
        return false;
    }
  }

  bool Fail(std::string* error) {
    *error = message_.empty() ? "not well-formed XML" : message_;
    return false;
  }

  static void OnError(void* self, const char* message, xmlParserSeverities severity,
                      xmlTextReaderLocatorPtr locator) {
    auto* reader = static_cast<LibxmlReader*>(self);
    if (severity != XML_PARSER_SEVERITY_ERROR || !reader->message_.empty()) return;
    std::string text = message == nullptr ? "" : message;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    reader->message_ =
        "line " + std::to_string(xmlTextReaderLocatorLineNumber(locator)) + ": " + text;
  }

  xmlTextReaderPtr reader_;
  bool pendingEnd_ = false;
  std::string name_, uri_, text_, message_;
  int line_ = 0;
};

}  // namespace

std::unique_ptr<XmlReader> OpenXmlReader(std::string_view document, std::string* error) {
  if (document.size() > static_cast<std::size_t>(INT_MAX)) {
    *error = "too large for the XML reader";
    return nullptr;
  }
  const xmlTextReaderPtr reader = xmlReaderForMemory(
      document.data(), static_cast<int>(document.size()), nullptr, nullptr, XML_PARSE_NONET);
  if (reader == nullptr) {
    *error = "cannot start the XML reader";
    return nullptr;
  }
  return std::make_unique<LibxmlReader>(reader);
}

}  // namespace kestrel::plan
