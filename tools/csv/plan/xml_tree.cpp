// SPDX-License-Identifier: MIT
#include "tools/csv/plan/xml_tree.h"

#include <algorithm>

namespace kestrel::plan {

const XmlElement* XmlElement::Child(std::string_view childName) const {
  for (const XmlElement& child : children) {
    if (child.name == childName) return &child;
  }
  return nullptr;
}

const std::string& XmlElement::ChildText(std::string_view childName) const {
  static const std::string kNone;
  const XmlElement* child = Child(childName);
  return child == nullptr ? kNone : child->text;
}

bool ReadXmlTree(XmlReader& reader, XmlElement* root, std::string* error) {
  // The open elements, innermost last; the root is filled in place.
  std::vector<XmlElement*> open;
  bool rooted = false;
  for (;;) {
    XmlReader::Node node;
    if (!reader.Next(&node, error)) return false;
    switch (node) {
      case XmlReader::Node::StartElement: {
        if (open.size() >= static_cast<std::size_t>(kMaxXmlDepth)) {
          *error = "line " + std::to_string(reader.Line()) + ": elements nested deeper than " +
                   std::to_string(kMaxXmlDepth);
          return false;
        }
        XmlElement* element = root;
        if (!open.empty()) element = &open.back()->children.emplace_back();
        element->name = reader.LocalName();
        element->uri = reader.NamespaceUri();
        element->line = reader.Line();
        open.push_back(element);
        rooted = true;
        break;
      }
      case XmlReader::Node::EndElement:
        if (!open.empty()) open.pop_back();
        break;
      case XmlReader::Node::Text:
        if (!open.empty()) open.back()->text += reader.Text();
        break;
      case XmlReader::Node::End:
        if (!rooted)
          *error = "line " + std::to_string(std::max(reader.Line(), 1)) + ": no root element";
        return rooted;
    }
  }
}

}  // namespace kestrel::plan
