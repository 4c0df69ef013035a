// CXMLHelper: loads an XML file into a small read-only DOM. Parsing is done by the platform's parser
// (libxml2 on POSIX, MSXML on Windows); the bytes are first decoded from the encoding the declaration or
// byte-order mark names (port/CodePage.h), so both platforms read the same bytes to the same text. All text
// in the DOM is UTF-8. External entities and DTDs are never loaded, nothing touches the network, documents
// that declare entities (the vehicle of expansion bombs) and files over kMaxFileSize are refused.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "port/CString.h"

class CXMLElement {
 public:
  std::string name;                                             // qualified name as written, e.g. "dc:date"
  std::string localName;                                        // name without prefix, e.g. "date"
  std::string nsUri;                                            // namespace URI, empty when none
  std::vector<std::pair<std::string, std::string>> attributes;  // qualified name -> value, document order
  std::vector<std::unique_ptr<CXMLElement>> children;           // child elements, document order
  std::string text;  // concatenated character data (and CDATA) directly inside this element

  // Building, in document order: a parser backend appends text and children through these, so that
  // AllText can interleave them as they stood.
  void AppendText(const std::string& data) { text += data; }
  CXMLElement& AppendChild(std::unique_ptr<CXMLElement> child);

  // The attribute's value; false when it is missing.
  bool GetAttribute(const std::string& qualifiedName, std::string& value) const;
  // The first child whose local name (and, when given, namespace URI) matches; null when none.
  const CXMLElement* FirstChild(const std::string& localName, const char* nsUri = nullptr) const;
  // All text below this element, in document order.
  std::string AllText() const;
  // What is below this element as markup, for inline XHTML read as HTML: elements by local name with their
  // attributes, text and attribute values escaped.
  std::string InnerMarkup() const;

 private:
  void AppendAllText(std::string& out) const;
  void AppendInnerMarkup(std::string& out) const;

  std::vector<std::size_t> m_childTextOffsets;  // length of `text` when each child began
};

class CXMLDocument {
 public:
  std::unique_ptr<CXMLElement> root;

  // Minimal XPath: absolute child paths of qualified element names such as "/RSSNews" or "/a/b". Null
  // when nothing matches.
  const CXMLElement* SelectSingleNode(const std::string& path) const;
};

class CXMLHelper {
 public:
  static constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;

  // Loads and parses the file. Non-zero and a document on success; 0 on any failure (missing, too large,
  // unknown encoding, malformed, hostile).
  static int ParseXMLFile(const CString& path, CXMLDocument& doc);
  // The same for bytes already in memory.
  static int ParseXMLBuffer(const std::string& bytes, CXMLDocument& doc);
  // The same, but a document that is not well-formed is repaired and read again, the way feed readers read
  // what publishers write (libs/vxutil/XMLRepair.h): an undeclared or wrong encoding is guessed (UTF-8, then
  // windows-1252, then ISO-8859-1). `repaired` tells whether that happened. Oversized documents and documents that
  // declare entities are refused all the same.
  // `encoding`, when not empty, is the one the bytes came labelled with from outside the document (an HTTP
  // charset): a byte-order mark wins over it and it wins over the declaration; since labels are often wrong,
  // a document that does not read in it is read in its own encoding next.
  static int ParseXMLBufferTolerant(const std::string& bytes, CXMLDocument& doc, bool& repaired,
                                    const std::string& encoding = std::string());

 private:
  // Decodes `body` (the bytes after any byte-order mark) from `encoding` and parses it.
  static int ParseDecoded(const std::string& body, const std::string& encoding, CXMLDocument& doc);
  // Parses decoded, declaration-neutralised text, refusing documents that declare entities.
  static int ParseScreened(const std::string& utf8, CXMLDocument& doc);
};
