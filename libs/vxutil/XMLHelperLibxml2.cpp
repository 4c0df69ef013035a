// The POSIX parser backend: libxml2, with DTD loading, entity substitution and network access all off.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <memory>
#include <mutex>

#include "libs/vxutil/XMLBackend.h"

namespace vxutil {

namespace {

struct ContextFreer {
  void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};

struct DocFreer {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

std::string Str(const xmlChar* text) { return text ? reinterpret_cast<const char*>(text) : std::string(); }

std::string QualifiedName(const xmlNs* ns, const xmlChar* name) {
  return ns && ns->prefix ? Str(ns->prefix) + ":" + Str(name) : Str(name);
}

std::string AttributeValue(const xmlAttr* attribute) {
  std::string value;
  for (const xmlNode* part = attribute->children; part; part = part->next)
    if (part->type == XML_TEXT_NODE) value += Str(part->content);
  return value;
}

// libxml2 bounds nesting depth itself (256 levels without XML_PARSE_HUGE), so recursion here is bounded.
std::unique_ptr<CXMLElement> BuildElement(const xmlNode* node) {
  auto element = std::make_unique<CXMLElement>();
  element->name = QualifiedName(node->ns, node->name);
  element->localName = Str(node->name);
  if (node->ns) element->nsUri = Str(node->ns->href);
  for (const xmlAttr* attribute = node->properties; attribute; attribute = attribute->next)
    element->attributes.emplace_back(QualifiedName(attribute->ns, attribute->name), AttributeValue(attribute));
  for (const xmlNode* child = node->children; child; child = child->next) {
    if (child->type == XML_ELEMENT_NODE) element->AppendChild(BuildElement(child));
    if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) element->AppendText(Str(child->content));
  }
  return element;
}

}  // namespace

bool ParseUtf8Document(const std::string& utf8, CXMLDocument& doc) {
  static std::once_flag initialised;
  std::call_once(initialised, xmlInitParser);  // libxml2 wants this once before use from several threads
  // The push parser is fed in chunks: reading a whole memory buffer at once trips libxml2's 10 MB look-up
  // limit well below our own size bound, and lifting that limit (XML_PARSE_HUGE) would lift its
  // depth and amplification limits too.
  const std::unique_ptr<xmlParserCtxt, ContextFreer> context(
      xmlCreatePushParserCtxt(nullptr, nullptr, nullptr, 0, nullptr));
  if (!context) return false;
  // No XML_PARSE_NOENT (entities stay unsubstituted), no XML_PARSE_DTDLOAD / DTDATTR / DTDVALID (no DTD is
  // read), no XML_PARSE_HUGE, no XML_PARSE_XINCLUDE.
  xmlCtxtUseOptions(context.get(), XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  constexpr std::size_t kChunk = 64 * 1024;
  for (std::size_t at = 0; at < utf8.size(); at += kChunk) {
    const int length = static_cast<int>(std::min(kChunk, utf8.size() - at));
    if (xmlParseChunk(context.get(), utf8.data() + at, length, 0) != 0) break;
  }
  xmlParseChunk(context.get(), nullptr, 0, 1);
  const std::unique_ptr<xmlDoc, DocFreer> parsed(context->myDoc);
  context->myDoc = nullptr;
  // A document with an undeclared namespace prefix is refused as MSXML refuses it, so that both platforms
  // read it the same way: repaired.
  if (!parsed || !context->wellFormed || !context->nsWellFormed) return false;
  const xmlNode* root = xmlDocGetRootElement(parsed.get());
  if (root == nullptr) return false;
  doc.root = BuildElement(root);
  return true;
}

}  // namespace vxutil
