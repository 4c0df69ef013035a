// The Windows parser backend: MSXML, the platform's DOM parser, through COM. The text arrives already
// decoded to UTF-8 (MSXML in Wine cannot decode Big5), so it is handed over as a wide string, the form
// MSXML reads without consulting the declaration. DTDs are neither validated nor resolved, and the
// platform-free part has already refused documents that declare entities.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>
// msxml2.h needs the COM declarations above it.
#include <msxml2.h>

#include <memory>
#include <string>
#include <utility>

#include "libs/vxutil/XMLBackend.h"

namespace vxutil {

namespace {

// Owns one reference to a COM object.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { Reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  // For out-parameters: releases what is held and lends the slot.
  T** Out() {
    Reset();
    return &m_p;
  }
  void Reset() {
    if (m_p) m_p->Release();
    m_p = nullptr;
  }
  void Swap(ComRef& other) { std::swap(m_p, other.m_p); }

 private:
  T* m_p = nullptr;
};

// Owns a BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::wstring& text) : m_s(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(m_s); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR Get() const { return m_s; }
  BSTR* Out() {
    SysFreeString(m_s);
    m_s = nullptr;
    return &m_s;
  }

 private:
  BSTR m_s = nullptr;
};

// COM on the calling thread for the length of one parse. A thread that already runs COM keeps its own
// set-up (a thread in the multi-threaded apartment refuses the single-threaded one, and MSXML works in
// both); each successful initialisation here is balanced, so the thread is left as it was found.
class ComScope {
 public:
  ComScope() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(m_hr)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

  bool Usable() const { return SUCCEEDED(m_hr) || m_hr == RPC_E_CHANGED_MODE; }

 private:
  HRESULT m_hr;
};

std::wstring WideFromUtf8(const std::string& utf8) {
  std::wstring wide;
  if (utf8.empty()) return wide;
  const int length = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  if (n <= 0) return wide;
  wide.resize(static_cast<std::size_t>(n));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, &wide[0], n);
  return wide;
}

std::string Utf8FromBstr(BSTR text) {
  std::string utf8;
  const int length = static_cast<int>(SysStringLen(text));
  if (length == 0) return utf8;
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return utf8;
  utf8.resize(static_cast<std::size_t>(n));
  WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], n, nullptr, nullptr);
  return utf8;
}

// Reads one BSTR property of a node through `getter`; empty when the node has none.
template <typename Getter>
std::string ReadText(IXMLDOMNode* node, Getter getter) {
  Bstr text;
  if ((node->*getter)(text.Out()) != S_OK) return std::string();
  return Utf8FromBstr(text.Get());
}

// Namespace declarations are not attributes in the module's DOM (libxml2 keeps them apart as well).
bool IsNamespaceDeclaration(const std::string& name) { return name == "xmlns" || name.rfind("xmlns:", 0) == 0; }

void ReadAttributes(IXMLDOMNode* node, CXMLElement& element) {
  ComRef<IXMLDOMNamedNodeMap> attributes;
  long count = 0;
  if (node->get_attributes(attributes.Out()) != S_OK || !attributes || FAILED(attributes->get_length(&count))) return;
  for (long i = 0; i < count; ++i) {
    ComRef<IXMLDOMNode> attribute;
    if (attributes->get_item(i, attribute.Out()) != S_OK || !attribute) continue;
    const std::string name = ReadText(attribute.Get(), &IXMLDOMNode::get_nodeName);
    if (IsNamespaceDeclaration(name)) continue;
    element.attributes.emplace_back(name, ReadText(attribute.Get(), &IXMLDOMNode::get_text));
  }
}

std::string NodeValue(IXMLDOMNode* node) {
  VARIANT value;
  VariantInit(&value);
  std::string text;
  if (node->get_nodeValue(&value) == S_OK && value.vt == VT_BSTR) text = Utf8FromBstr(value.bstrVal);
  VariantClear(&value);
  return text;
}

// The parser bounds nesting depth itself, so this recursion is bounded too.
std::unique_ptr<CXMLElement> BuildElement(IXMLDOMNode* node) {
  auto element = std::make_unique<CXMLElement>();
  element->name = ReadText(node, &IXMLDOMNode::get_nodeName);
  element->localName = ReadText(node, &IXMLDOMNode::get_baseName);
  element->nsUri = ReadText(node, &IXMLDOMNode::get_namespaceURI);
  ReadAttributes(node, *element);

  ComRef<IXMLDOMNode> child;
  node->get_firstChild(child.Out());
  while (child) {
    DOMNodeType type = NODE_INVALID;
    child->get_nodeType(&type);
    if (type == NODE_ELEMENT) element->AppendChild(BuildElement(child.Get()));
    if (type == NODE_TEXT || type == NODE_CDATA_SECTION) element->AppendText(NodeValue(child.Get()));
    ComRef<IXMLDOMNode> next;
    child->get_nextSibling(next.Out());
    child.Swap(next);
  }
  return element;
}

bool CreateDocument(ComRef<IXMLDOMDocument>& document) {
  // MSXML 6 where present, else the 3.0 parser every Windows (and Wine) carries.
  for (const wchar_t* progId : {L"Msxml2.DOMDocument.6.0", L"Msxml2.DOMDocument.3.0"}) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(progId, &clsid))) continue;
    if (SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                   reinterpret_cast<void**>(document.Out()))))
      return true;
  }
  return false;
}

}  // namespace

bool ParseUtf8Document(const std::string& utf8, CXMLDocument& doc) {
  const std::wstring wide = WideFromUtf8(utf8);
  if (wide.empty()) return false;
  const ComScope com;
  if (!com.Usable()) return false;
  ComRef<IXMLDOMDocument> document;
  if (!CreateDocument(document)) return false;
  // Synchronous, no validation, no external DTD or entity, and whitespace-only text kept as libxml2 keeps it.
  document->put_async(VARIANT_FALSE);
  document->put_validateOnParse(VARIANT_FALSE);
  document->put_resolveExternals(VARIANT_FALSE);
  document->put_preserveWhiteSpace(VARIANT_TRUE);

  const Bstr text(wide);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (document->loadXML(text.Get(), &loaded) != S_OK || loaded != VARIANT_TRUE) return false;
  ComRef<IXMLDOMElement> root;
  if (document->get_documentElement(root.Out()) != S_OK || !root) return false;
  doc.root = BuildElement(root.Get());
  return true;
}

}  // namespace vxutil
