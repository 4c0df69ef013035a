#include "libs/vxutil/XMLRepair.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "port/Text.h"

namespace vxutil {

namespace {
using port::Lower;

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
// Names are read in ASCII only: a '<' before anything else is far more often text ("a<b", "<中") than a tag.
bool IsNameStart(char c) { return IsAsciiLetter(c) || c == '_' || c == ':'; }
bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c) || c == '-' || c == '.'; }

bool IsXmlChar(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

// The number of bytes at `at` that form a character XML forbids (a control character, or U+FFFE / U+FFFF
// in UTF-8); 0 when the character there is allowed.
std::size_t ForbiddenLength(const std::string& text, std::size_t at) {
  const unsigned char c = static_cast<unsigned char>(text[at]);
  if (c < 0x20) return c == '\t' || c == '\n' || c == '\r' ? 0 : 1;
  if (c == 0xEF && text.compare(at + 1, 2, "\xBF\xBE") == 0) return 3;
  if (c == 0xEF && text.compare(at + 1, 2, "\xBF\xBF") == 0) return 3;
  return 0;
}

std::string PrefixOf(const std::string& name) {
  const std::size_t colon = name.find(':');
  return colon == std::string::npos ? std::string() : name.substr(0, colon);
}

// A name that namespaces allow: at most one colon, and each part starting with a letter or '_'.
bool IsQualifiedName(const std::string& name) {
  const std::size_t colon = name.find(':');
  const auto startsPart = [&](std::size_t at) {
    return at < name.size() && name[at] != ':' && !IsDigit(name[at]) && name[at] != '-' && name[at] != '.';
  };
  if (colon == std::string::npos) return startsPart(0);
  return startsPart(0) && startsPart(colon + 1) && name.find(':', colon + 1) == std::string::npos;
}

bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool HasScheme(const std::string& uri) {
  const std::size_t colon = uri.find(':');
  if (colon == std::string::npos || colon == 0 || !IsAsciiLetter(uri[0])) return false;
  for (std::size_t i = 1; i < colon; ++i)
    if (!IsAsciiLetter(uri[i]) && !IsDigit(uri[i]) && uri[i] != '+' && uri[i] != '-' && uri[i] != '.') return false;
  return true;
}

bool IsUnreserved(char c) { return IsAsciiLetter(c) || IsDigit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }

// A URI of the plain form namespace names take: a scheme, then only characters URIs allow, escapes complete,
// and a plain host and port.
bool IsPlainUri(const std::string& uri) {
  if (!HasScheme(uri)) return false;
  for (std::size_t i = 0; i < uri.size(); ++i) {
    const char c = uri[i];
    if (c == '%' && !(i + 2 < uri.size() && IsHexDigit(uri[i + 1]) && IsHexDigit(uri[i + 2]))) return false;
    if (!IsUnreserved(c) && std::char_traits<char>::find(":/?#@!$()*+,;=%", 15, c) == nullptr) return false;
  }
  const std::size_t slashes = uri.find("://");
  if (slashes == std::string::npos) return true;
  const std::size_t hostStart = slashes + 3;
  const std::size_t hostEnd = std::min(uri.find_first_of("/?#", hostStart), uri.size());
  // The authority: a host of unreserved characters and escapes, and an optional port of digits.
  const std::size_t portColon = std::min(uri.find(':', hostStart), hostEnd);
  for (std::size_t i = hostStart; i < portColon; ++i)
    if (!IsUnreserved(uri[i]) && uri[i] != '%') return false;
  for (std::size_t i = portColon + 1; i < hostEnd; ++i)
    if (!IsDigit(uri[i])) return false;
  return portColon == hostEnd || portColon + 1 < hostEnd;
}

// A namespace name a URI parser takes: kept when it is a plain URI (or empty), else made a URN of its own
// with every byte but the unreserved ones percent-encoded.
std::string NamespaceName(const std::string& text) {
  if (text.empty() || IsPlainUri(text)) return text;
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "urn:x-invalid:";
  for (const char c : text) {
    if (IsUnreserved(c)) {
      out += c;
    } else {
      out += '%';
      out += kHex[static_cast<unsigned char>(c) >> 4];
      out += kHex[static_cast<unsigned char>(c) & 0xF];
    }
  }
  return out;
}

// The namespace a prefix that a document uses without declaring it stands for: feeds leave out the
// declarations of the common modules, whose prefixes everybody writes alike.
std::string NamespaceFor(const std::string& prefix) {
  static const struct {
    const char* prefix;
    const char* uri;
  } kKnown[] = {{"atom", "http://www.w3.org/2005/Atom"},    {"content", "http://purl.org/rss/1.0/modules/content/"},
                {"dc", "http://purl.org/dc/elements/1.1/"}, {"dcterms", "http://purl.org/dc/terms/"},
                {"media", "http://search.yahoo.com/mrss/"}, {"rdf", "http://www.w3.org/1999/02/22-rdf-syntax-ns#"}};
  for (const auto& known : kKnown)
    if (prefix == known.prefix) return known.uri;
  return "urn:x-undeclared:" + prefix;
}

// A namespace declaration XML forbids: of a prefix to no name, of the prefixes XML binds itself (xml and
// xmlns), or of any prefix, or the default namespace, to the names those two stand for.
bool IsForbiddenDeclaration(const std::string& name, const std::string& value) {
  const bool prefixed = name.rfind("xmlns:", 0) == 0;
  if (!prefixed && name != "xmlns") return false;
  return (prefixed && value.empty()) || name == "xmlns:xml" || name == "xmlns:xmlns" ||
         value == "http://www.w3.org/XML/1998/namespace" || value == "http://www.w3.org/2000/xmlns/";
}

// How many of the innermost open elements an end tag cut short by the next tag is matched against.
constexpr std::size_t kCutEndTagReach = 8;

class Repairer {
 public:
  Repairer(const std::string& in, std::size_t limit) : m_in(in), m_limit(limit) {}

  bool Run(std::string& out) {
    m_out.reserve(std::min(m_limit, m_in.size() + m_in.size() / 8));
    while (m_pos < m_in.size() && !m_full) {
      if (m_in[m_pos] == '<') {
        Markup();
      } else if (m_open.empty()) {
        ++m_pos;  // text outside the document element
      } else {
        Character('\0');
      }
    }
    while (!m_open.empty() && !m_full) CloseTop();
    if (!m_rootSeen || m_full) return false;
    out.swap(m_out);
    return true;
  }

 private:
  struct OpenElement {
    std::string name;
    std::string lowerName;
    std::vector<std::string> prefixes;  // namespace prefixes declared on it
  };
  using Depths = std::unordered_map<std::string, std::vector<std::size_t>>;

  // Everything is written through here: what would pass the limit is not written, and the repair fails.
  void Write(const char* data, std::size_t length) {
    if (length > m_limit - m_out.size()) {
      m_full = true;
      return;
    }
    m_out.append(data, length);
  }
  void Write(const std::string& text) { Write(text.data(), text.size()); }
  void Write(const char* text) { Write(text, std::char_traits<char>::length(text)); }
  void Write(char c) {  // the common case, kept inline
    if (m_out.size() < m_limit) {
      m_out.push_back(c);
    } else {
      m_full = true;
    }
  }

  bool At(const char* prefix) const { return m_in.compare(m_pos, std::char_traits<char>::length(prefix), prefix) == 0; }

  // Moves past the next `closer` at or after `from`, or to the end when there is none.
  void SkipPast(const char* closer, std::size_t from) {
    const std::size_t close = m_in.find(closer, from);
    m_pos = close == std::string::npos ? m_in.size() : close + std::char_traits<char>::length(closer);
  }

  void Markup() {
    if (At("<!--")) {
      SkipPast("-->", m_pos + 4);
    } else if (At("<![CDATA[")) {
      Cdata();
    } else if (At("<?")) {
      SkipPast("?>", m_pos + 2);  // the text is UTF-8 now, which a document without a declaration is
    } else if (At("<!")) {
      SkipDeclaration();
    } else if (At("</")) {
      EndTag();
    } else if (m_pos + 1 < m_in.size() && IsNameStart(m_in[m_pos + 1])) {
      StartTag();
    } else {
      if (!m_open.empty()) Write("&lt;");
      ++m_pos;
    }
  }

  // A CDATA section is written as escaped text: dropping a forbidden character from its content could
  // make a "]]>" that ends it early.
  void Cdata() {
    const std::size_t start = m_pos + 9;
    const std::size_t close = m_in.find("]]>", start);
    const std::size_t end = close == std::string::npos ? m_in.size() : close;
    for (std::size_t at = start; at < end && !m_open.empty();) {
      const std::size_t forbidden = ForbiddenLength(m_in, at);
      const char c = m_in[at];
      if (forbidden == 0) {
        if (c == '&') {
          Write("&amp;");
        } else if (c == '<') {
          Write("&lt;");
        } else if (c == '>') {
          Write("&gt;");
        } else {
          Write(c);
        }
      }
      at += std::max<std::size_t>(forbidden, 1);
    }
    m_pos = close == std::string::npos ? m_in.size() : close + 3;
  }

  // A document type (or other) declaration, with its internal subset and quoted literals.
  void SkipDeclaration() {
    int depth = 0;
    for (std::size_t at = m_pos + 2; at < m_in.size(); ++at) {
      const char c = m_in[at];
      if (c == '"' || c == '\'') {
        at = m_in.find(c, at + 1);
        if (at == std::string::npos) break;
      } else if (c == '[') {
        ++depth;
      } else if (c == ']' && depth > 0) {
        --depth;
      } else if (c == '>' && depth == 0) {
        m_pos = at + 1;
        return;
      }
    }
    m_pos = m_in.size();
  }

  std::string ReadName(std::size_t& at) const {
    const std::size_t start = at;
    while (at < m_in.size() && IsNameChar(m_in[at])) ++at;
    return m_in.substr(start, at - start);
  }

  void SkipSpace(std::size_t& at) const {
    while (at < m_in.size() && IsSpace(m_in[at])) ++at;
  }

  // One character of text, or of an attribute value quoted with `quote`.
  void Character(char quote) {
    const char c = m_in[m_pos];
    if (const std::size_t forbidden = ForbiddenLength(m_in, m_pos)) {
      m_pos += forbidden;
    } else if (c == '&') {
      Reference();
    } else {
      if (c == '<') {
        Write("&lt;");
      } else if (c == '>') {
        Write("&gt;");
      } else if (c == '"' && quote == '"') {
        Write("&quot;");
      } else {
        Write(c);
      }
      ++m_pos;
    }
  }

  // A '&': a reference XML knows is kept (a numeric one to a forbidden character dropped, a hexadecimal one
  // written with the lower-case "x" XML requires); any other '&' is text.
  void Reference() {
    std::size_t at = m_pos + 1;
    if (at < m_in.size() && m_in[at] == '#') {
      const bool hex = at + 1 < m_in.size() && (m_in[at + 1] == 'x' || m_in[at + 1] == 'X');
      at += hex ? 2 : 1;
      const std::size_t digitsStart = at;
      std::uint32_t value = 0;
      while (at < m_in.size() && at - digitsStart < 8) {
        const char c = m_in[at];
        const int digit = IsDigit(c)                    ? c - '0'
                          : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                        : -1;
        if (digit < 0) break;
        value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
        ++at;
      }
      if (at > digitsStart && at < m_in.size() && m_in[at] == ';') {
        if (IsXmlChar(value)) {
          Write(hex ? "&#x" : "&#");
          Write(m_in.data() + digitsStart, at + 1 - digitsStart);
        }
        m_pos = at + 1;
        return;
      }
    } else {
      for (const char* name : {"amp;", "lt;", "gt;", "quot;", "apos;"}) {
        if (m_in.compare(at, std::char_traits<char>::length(name), name) == 0) {
          Write('&');
          Write(name);
          m_pos = at + std::char_traits<char>::length(name);
          return;
        }
      }
    }
    Write("&amp;");
    ++m_pos;
  }

  bool Declared(const std::string& prefix) const {
    if (prefix.empty() || prefix == "xml" || prefix == "xmlns") return true;
    const auto found = m_declared.find(prefix);
    return found != m_declared.end() && found->second > 0;
  }

  // Reads the attributes of a start tag from `at`; false when the text ends inside the tag.
  bool ReadAttributes(std::size_t& at, std::vector<std::pair<std::string, std::string>>& attributes, bool& empty) {
    empty = false;
    std::unordered_set<std::string> names;
    while (true) {
      SkipSpace(at);
      if (at >= m_in.size()) return false;
      if (m_in[at] == '>') {
        ++at;
        return true;
      }
      if (m_in.compare(at, 2, "/>") == 0) {
        at += 2;
        empty = true;
        return true;
      }
      if (m_in[at] == '<') return true;  // a tag cut short by the next one
      if (!IsNameStart(m_in[at])) {
        ++at;
        continue;
      }
      std::string name = ReadName(at);
      std::string value = name;  // an HTML-style attribute without a value
      SkipSpace(at);
      if (at < m_in.size() && m_in[at] == '=') {
        SkipSpace(++at);
        if (at >= m_in.size()) return false;
        if (m_in[at] == '"' || m_in[at] == '\'') {
          const std::size_t close = m_in.find(m_in[at], at + 1);
          if (close == std::string::npos) return false;
          value = m_in.substr(at + 1, close - at - 1);
          at = close + 1;
        } else {
          const std::size_t start = at;
          while (at < m_in.size() && !IsSpace(m_in[at]) && m_in[at] != '>') ++at;
          value = m_in.substr(start, at - start);
        }
      }
      if (IsQualifiedName(name) && !IsForbiddenDeclaration(name, value) && names.insert(name).second)
        attributes.emplace_back(std::move(name), std::move(value));
    }
  }

  void StartTag() {
    if (m_rootDone) {  // a second document element and all after it
      m_pos = m_in.size();
      return;
    }
    std::size_t at = m_pos + 1;
    const std::string name = ReadName(at);
    std::vector<std::pair<std::string, std::string>> attributes;
    bool empty = false;
    if (!ReadAttributes(at, attributes, empty)) {  // cut off by the end of the text
      m_pos = m_in.size();
      return;
    }
    m_pos = at;
    if (!IsQualifiedName(name) || PrefixOf(name) == "xmlns") return;
    m_rootSeen = true;

    Open(name);
    Write('<');
    Write(name);
    for (const auto& attribute : attributes)
      if (attribute.first.rfind("xmlns:", 0) == 0) Declare(attribute.first.substr(6));
    DeclareWhereUndeclared(PrefixOf(name));
    for (const auto& attribute : attributes) DeclareWhereUndeclared(PrefixOf(attribute.first));
    for (const auto& attribute : attributes) WriteAttribute(attribute.first, attribute.second);
    if (empty) {
      Write("/>");
      Close();
    } else {
      Write('>');
    }
  }

  void Open(const std::string& name) {
    m_open.push_back({name, Lower(name), {}});
    m_depths[name].push_back(m_open.size() - 1);
    m_lowerDepths[m_open.back().lowerName].push_back(m_open.size() - 1);
  }

  void Declare(const std::string& prefix) {
    m_open.back().prefixes.push_back(prefix);
    ++m_declared[prefix];
  }

  // A prefix the document uses without declaring it is declared where it is used.
  void DeclareWhereUndeclared(const std::string& prefix) {
    if (Declared(prefix)) return;
    Declare(prefix);
    Write(" xmlns:" + prefix + "=\"" + NamespaceFor(prefix) + "\"");
  }

  void WriteAttribute(const std::string& name, const std::string& rawValue) {
    Write(' ' + name + "=\"");
    const bool declaration = name == "xmlns" || name.rfind("xmlns:", 0) == 0;
    const std::string value = declaration ? NamespaceName(rawValue) : rawValue;
    // The value is escaped by the text rules, read from its own copy, within what is left of the limit.
    Repairer inner(value, m_limit - m_out.size());
    while (inner.m_pos < value.size() && !inner.m_full) inner.Character('"');
    m_full = m_full || inner.m_full;
    Write(inner.m_out);
    Write('"');
  }

  // The depth of the innermost open element that `depths` holds under `key`; npos when none.
  static std::size_t Innermost(const Depths& depths, const std::string& key) {
    const auto found = depths.find(key);
    return found == depths.end() || found->second.empty() ? std::string::npos : found->second.back();
  }

  void EndTag() {
    std::size_t at = m_pos + 2;
    const std::string name = ReadName(at);
    SkipSpace(at);
    if (at >= m_in.size()) {  // cut off by the end of the text
      m_pos = at;
      return;
    }
    const bool closed = m_in[at] == '>';
    m_pos = closed ? at + 1 : at;
    std::size_t depth = Innermost(m_depths, name);
    if (depth == std::string::npos) depth = Innermost(m_lowerDepths, Lower(name));
    if (depth == std::string::npos && !closed && !name.empty()) {  // cut short ("</titl <link>"): a name's start
      for (std::size_t i = m_open.size(); i > 0 && m_open.size() - i < kCutEndTagReach; --i) {
        if (m_open[i - 1].name.compare(0, name.size(), name) == 0) {
          depth = i - 1;
          break;
        }
      }
    }
    if (depth == std::string::npos) return;  // closes nothing that is open
    while (m_open.size() > depth && !m_full) CloseTop();
  }

  void CloseTop() {
    Write("</" + m_open.back().name + '>');
    Close();
  }

  // Forgets the innermost open element, its name and its declarations.
  void Close() {
    const OpenElement& element = m_open.back();
    m_depths[element.name].pop_back();
    m_lowerDepths[element.lowerName].pop_back();
    for (const std::string& prefix : element.prefixes) --m_declared[prefix];
    m_open.pop_back();
    m_rootDone = m_open.empty();
  }

  const std::string& m_in;
  const std::size_t m_limit;  // the most m_out may hold
  std::size_t m_pos = 0;
  std::string m_out;
  bool m_full = false;  // something was not written for the limit
  std::vector<OpenElement> m_open;
  Depths m_depths;       // name -> depths in m_open of the open elements of that name, innermost last
  Depths m_lowerDepths;  // the same by the name in lower case
  std::unordered_map<std::string, std::size_t> m_declared;  // prefix -> open elements that declare it
  bool m_rootSeen = false;
  bool m_rootDone = false;
};

}  // namespace

bool RepairXml(const std::string& utf8, std::string& repaired) {
  return Repairer(utf8, MaxRepairedLength(utf8.size())).Run(repaired);
}

}  // namespace vxutil
