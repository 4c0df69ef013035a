#include "libs/vxutil/XMLHelper.h"

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

#include "libs/vxutil/XMLBackend.h"
#include "libs/vxutil/XMLRepair.h"
#include "port/CodePage.h"
#include "port/FileRead.h"
#include "port/Text.h"

namespace {
using port::Lower;

bool StartsWith(const std::string& text, std::size_t at, const char* prefix) {
  return text.compare(at, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::size_t SkipSpace(const std::string& text, std::size_t at) {
  while (at < text.size() && IsXmlSpace(text[at])) ++at;
  return at;
}

// Where the value of the XML declaration's encoding pseudo-attribute lies (between its quotes). False
// when the text does not start with a declaration or the declaration names no encoding. The declaration
// is ASCII, so this works on the raw bytes of any ASCII-compatible encoding and on the decoded text alike.
bool FindDeclaredEncoding(const std::string& text, std::size_t& valueStart, std::size_t& valueLength) {
  if (!StartsWith(text, 0, "<?xml") || text.size() < 6 || !IsXmlSpace(text[5])) return false;
  const std::size_t declEnd = text.find("?>");
  if (declEnd == std::string::npos) return false;
  std::size_t at = text.find("encoding", 5);
  if (at == std::string::npos || at > declEnd || !IsXmlSpace(text[at - 1])) return false;
  at = SkipSpace(text, at + 8);
  if (at >= declEnd || text[at] != '=') return false;
  at = SkipSpace(text, at + 1);
  if (at >= declEnd || (text[at] != '"' && text[at] != '\'')) return false;
  const std::size_t close = text.find(text[at], at + 1);
  if (close == std::string::npos || close > declEnd) return false;
  valueStart = at + 1;
  valueLength = close - valueStart;
  return true;
}

// The encoding of `bytes`: a byte-order mark wins over the declaration, and a document with neither is
// UTF-8. `bodyStart` is set past the mark.
std::string DetectEncoding(const std::string& bytes, std::size_t& bodyStart) {
  bodyStart = 0;
  if (StartsWith(bytes, 0, "\xEF\xBB\xBF")) {
    bodyStart = 3;
    return "utf-8";
  }
  if (StartsWith(bytes, 0, "\xFF\xFE")) {
    bodyStart = 2;
    return "utf-16le";
  }
  if (StartsWith(bytes, 0, "\xFE\xFF")) {
    bodyStart = 2;
    return "utf-16be";
  }
  std::size_t start = 0;
  std::size_t length = 0;
  return FindDeclaredEncoding(bytes, start, length) ? bytes.substr(start, length) : "utf-8";
}

// Well-formed UTF-8 as the Unicode standard defines it: no overlong forms, no surrogates, nothing past
// U+10FFFF.
bool IsUtf8(const std::string& text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = byte(i);
    if (c < 0x80) {
      ++i;
      continue;
    }
    const std::size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k)
      if ((byte(i + k) & 0xC0) != 0x80) return false;
    const unsigned char second = byte(i + 1);
    if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90) ||
        (c == 0xF4 && second > 0x8F))
      return false;
    i += length;
  }
  return true;
}

// Decodes `body` from `encoding` into UTF-8. Text already in UTF-8, the most common case, is only checked,
// not converted.
bool Decode(const std::string& body, const std::string& encoding, std::string& utf8) {
  const std::string lower = Lower(encoding);
  if (lower != "utf-8" && lower != "utf8") return port::DecodeToUtf8(body, encoding, utf8);
  if (!IsUtf8(body)) return false;
  utf8 = body;
  return true;
}

// Decodes as the first of `encodings` that the bytes are valid in; when none is (an unknown name, bytes
// invalid in it), as UTF-8, and when the bytes are not UTF-8 either, as windows-1252, the encoding
// undeclared feeds most often turn out to be in (it maps every byte that ISO-8859-1 does, and more).
bool DecodeGuessing(const std::string& body, std::vector<std::string> encodings, std::string& utf8) {
  // ISO-8859-1 last: it takes the five bytes windows-1252 leaves undefined (and iconv refuses).
  encodings.insert(encodings.end(), {"utf-8", "windows-1252", "iso-8859-1"});
  for (const std::string& guess : encodings)
    if (Decode(body, guess, utf8)) return true;
  return false;
}

// After decoding, the declaration must no longer name the original encoding, or a parser that honours it
// would decode the text a second time.
void NeutraliseDeclaredEncoding(std::string& utf8) {
  std::size_t start = 0;
  std::size_t length = 0;
  if (FindDeclaredEncoding(utf8, start, length)) utf8.replace(start, length, "UTF-8");
}

// Skips a quoted literal, comment or processing instruction starting at `at`; returns the position after
// it, `at` itself when none starts there, or npos when it is not closed.
std::size_t SkipOpaque(const std::string& text, std::size_t at) {
  if (text[at] == '"' || text[at] == '\'') {
    const std::size_t close = text.find(text[at], at + 1);
    return close == std::string::npos ? close : close + 1;
  }
  // A comment's "-->" is looked for after its opening "<!--", so "<!-->" and "<!--->" open a comment rather
  // than make one; the shortest comment is "<!---->".
  const bool comment = StartsWith(text, at, "<!--");
  if (!comment && !StartsWith(text, at, "<?")) return at;
  const char* const closer = comment ? "-->" : "?>";
  const std::size_t close = text.find(closer, at + (comment ? 4 : 2));
  return close == std::string::npos ? close : close + std::char_traits<char>::length(closer);
}

// True when the document type declaration's internal subset declares an entity, or when the prolog holds
// something this scan cannot account for. Refusing such documents shuts out expansion bombs and external
// entities on every backend alike; feeds and settings files never need them. Only the prolog is scanned,
// since a DOCTYPE can stand nowhere else.
bool DeclaresEntities(const std::string& text) {
  std::size_t at = 0;
  while (true) {
    at = SkipSpace(text, at);
    if (at >= text.size() || StartsWith(text, at, "<!DOCTYPE")) break;
    const std::size_t next = SkipOpaque(text, at);
    if (next == std::string::npos) return true;
    if (next == at) return text[at] != '<';  // the document element, or stray bytes before it
    at = next;
  }
  // Brackets are counted rather than toggled, so a section inside the subset ("<![IGNORE[ ]]>") cannot end
  // the scan early.
  int bracketDepth = 0;
  for (at += 9; at < text.size();) {
    if (bracketDepth > 0 && StartsWith(text, at, "<!ENTITY")) return true;
    const std::size_t next = SkipOpaque(text, at);
    if (next == std::string::npos) return true;  // unterminated: no parser would take it either
    if (next != at) {
      at = next;
      continue;
    }
    if (text[at] == '[') ++bracketDepth;
    if (text[at] == ']' && bracketDepth > 0) --bracketDepth;
    if (text[at] == '>' && bracketDepth == 0) return false;
    ++at;
  }
  return false;
}

bool IsNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
         c == '.' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
}

// The end of the name that starts at `at`.
std::size_t NameEnd(const std::string& text, std::size_t at) {
  while (at < text.size() && IsNameByte(text[at])) ++at;
  return at;
}

// True when an element's name has a prefix that no "xmlns:" in the document declares. Parsers differ here
// (MSXML refuses such a document, Wine's MSXML reads it with the prefix dropped, libxml2 without a
// namespace), so it is judged here, the same on every backend, and such a document is read repaired.
// Declarations count wherever they stand: a prefix used outside its declaration's scope is rare enough.
bool UsesUndeclaredPrefix(const std::string& text) {
  std::set<std::string> declared{"xml"};
  for (std::size_t at = text.find("xmlns:"); at != std::string::npos; at = text.find("xmlns:", at + 6))
    declared.insert(text.substr(at + 6, NameEnd(text, at + 6) - at - 6));
  for (std::size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
    if (at + 1 < text.size() && text[at + 1] == '!') {  // a comment or CDATA section is skipped whole
      const char* const closer = StartsWith(text, at, "<![CDATA[") ? "]]>"
                                 : StartsWith(text, at, "<!--")    ? "-->"
                                                                   : nullptr;
      if (closer && (at = text.find(closer, at + 4)) == std::string::npos) break;
      continue;
    }
    const std::size_t end = NameEnd(text, at + 1);
    const std::size_t colon = static_cast<std::size_t>(std::find(&text[at + 1], text.data() + end, ':') - text.data());
    if (colon < end && declared.count(text.substr(at + 1, colon - at - 1)) == 0) return true;
  }
  return false;
}

}  // namespace

int CXMLHelper::ParseXMLFile(const CString& path, CXMLDocument& doc) {
  std::string bytes;
  if (!port::ReadFileBounded(path, kMaxFileSize, bytes)) return 0;
  return ParseXMLBuffer(bytes, doc);
}

int CXMLHelper::ParseXMLBuffer(const std::string& bytes, CXMLDocument& doc) {
  doc.root.reset();
  if (bytes.size() > kMaxFileSize) return 0;
  std::size_t bodyStart = 0;
  const std::string encoding = DetectEncoding(bytes, bodyStart);
  return ParseDecoded(bytes.substr(bodyStart), encoding, doc);
}

int CXMLHelper::ParseXMLBufferTolerant(const std::string& bytes, CXMLDocument& doc, bool& repaired,
                                       const std::string& encoding) {
  repaired = false;
  doc.root.reset();
  if (bytes.size() > kMaxFileSize) return 0;
  std::size_t bodyStart = 0;
  std::vector<std::string> encodings{DetectEncoding(bytes, bodyStart)};
  // The label first, unless a byte-order mark settles the encoding; then the document's own.
  if (!encoding.empty() && bodyStart == 0 && Lower(encoding) != Lower(encodings[0]))
    encodings.insert(encodings.begin(), encoding);
  const std::string body = bytes.substr(bodyStart);
  for (const std::string& reading : encodings)
    if (ParseDecoded(body, reading, doc) != 0) return 1;
  std::string utf8;
  if (!DecodeGuessing(body, encodings, utf8)) return 0;
  NeutraliseDeclaredEncoding(utf8);
  // The repair drops the document type declaration, so the screen runs on the text as it came: a document
  // refused as hostile is refused here too. The repair bounds its own growth; the bound on what is parsed
  // holds for repaired text too.
  std::string fixed;
  if (DeclaresEntities(utf8) || !vxutil::RepairXml(utf8, fixed) || fixed.size() > 2 * kMaxFileSize) return 0;
  repaired = true;
  return ParseScreened(fixed, doc);
}

int CXMLHelper::ParseDecoded(const std::string& body, const std::string& encoding, CXMLDocument& doc) {
  std::string utf8;
  if (!Decode(body, encoding, utf8)) return 0;
  NeutraliseDeclaredEncoding(utf8);
  return ParseScreened(utf8, doc);
}

int CXMLHelper::ParseScreened(const std::string& utf8, CXMLDocument& doc) {
  doc.root.reset();
  if (DeclaresEntities(utf8) || UsesUndeclaredPrefix(utf8)) return 0;
  if (!vxutil::ParseUtf8Document(utf8, doc) || !doc.root) {
    doc.root.reset();
    return 0;
  }
  return 1;
}
