// SPDX-License-Identifier: MIT
// XmlReader on the system's XmlLite (xmllite.dll), reading from memory with
// document type declarations prohibited, so no entity is ever expanded and
// nothing outside the document is loaded. XmlLite speaks UTF-16; names and
// text are handed on in UTF-8.
#include <shlwapi.h>
#include <windows.h>
#include <xmllite.h>

#include <climits>
#include <cstdio>

#include "tools/csv/plan/xml_reader.h"

namespace kestrel::plan {
namespace {

std::string Utf8(const wchar_t* text, UINT length) {
  if (length == 0) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), size, nullptr,
                        nullptr);
  }
  return out;
}

// Releases a COM interface on every path.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_ != nullptr) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  Interface** Out() { return &p_; }
  Interface* operator->() const { return p_; }
  Interface* Get() const { return p_; }

 private:
  Interface* p_ = nullptr;
};

class XmlLiteReader final : public XmlReader {
 public:
  bool Init(std::string_view document, std::string* error) {
    stream_ = SHCreateMemStream(reinterpret_cast<const BYTE*>(document.data()),
                                static_cast<UINT>(document.size()));
    if (stream_ == nullptr ||
        FAILED(CreateXmlReader(__uuidof(IXmlReader), reinterpret_cast<void**>(reader_.Out()),
                               nullptr)) ||
        FAILED(reader_->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit)) ||
        FAILED(reader_->SetInput(stream_))) {
      *error = "cannot start the XML reader (xmllite.dll)";
      return false;
    }
    return true;
  }
  ~XmlLiteReader() override {
    if (stream_ != nullptr) stream_->Release();
  }

  bool Next(Node* node, std::string* error) override {
    if (pendingEnd_) {
      pendingEnd_ = false;
      *node = Node::EndElement;
      return true;
    }
    for (;;) {
      XmlNodeType type = XmlNodeType_None;
      const HRESULT result = reader_->Read(&type);
      UINT line = 0;
      reader_->GetLineNumber(&line);
      line_ = static_cast<int>(line);
      if (result == S_FALSE) {
        *node = Node::End;
        return true;
      }
      if (FAILED(result)) return Fail(result, error);
      if (Take(type, node)) return true;
    }
  }

  const std::string& LocalName() const override { return name_; }
  const std::string& NamespaceUri() const override { return uri_; }
  const std::string& Text() const override { return text_; }
  int Line() const override { return line_; }

 private:
  bool Take(XmlNodeType type, Node* node) {
    const wchar_t* text = nullptr;
    UINT length = 0;
    switch (type) {
      case XmlNodeType_Element:
        reader_->GetLocalName(&text, &length);
        name_ = Utf8(text, length);
        reader_->GetNamespaceUri(&text, &length);
        uri_ = Utf8(text, length);
        pendingEnd_ = reader_->IsEmptyElement() != FALSE;
        *node = Node::StartElement;
        return true;
      case XmlNodeType_EndElement:
        reader_->GetLocalName(&text, &length);
        name_ = Utf8(text, length);
        *node = Node::EndElement;
        return true;
      case XmlNodeType_Text:
      case XmlNodeType_CDATA:
        reader_->GetValue(&text, &length);
        text_ = Utf8(text, length);
        *node = Node::Text;
        return true;
      default:
        return false;
    }
  }

  bool Fail(HRESULT result, std::string* error) const {
    if (static_cast<unsigned long>(result) == static_cast<unsigned long>(WC_E_DTDPROHIBITED)) {
      *error = "line " + std::to_string(line_) + ": a document type declaration";
      return false;
    }
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    *error = "line " + std::to_string(line_) + ": not well-formed XML (XmlLite error " + code + ")";
    return false;
  }

  IStream* stream_ = nullptr;
  ComPtr<IXmlReader> reader_;
  bool pendingEnd_ = false;
  std::string name_, uri_, text_;
  int line_ = 0;
};

}  // namespace

std::unique_ptr<XmlReader> OpenXmlReader(std::string_view document, std::string* error) {
  if (document.size() > static_cast<std::size_t>(UINT_MAX / 2)) {
    *error = "too large for the XML reader";
    return nullptr;
  }
  auto reader = std::make_unique<XmlLiteReader>();
  if (!reader->Init(document, error)) return nullptr;
  return reader;
}

}  // namespace kestrel::plan
