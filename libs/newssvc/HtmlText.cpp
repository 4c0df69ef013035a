#include "libs/newssvc/HtmlText.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "libs/newssvc/FeedUrl.h"

namespace newssvc {

namespace {

// The allow-list: the elements content keeps, each with the attributes it keeps besides title, lang and dir
// (which every element keeps). href and src are kept only as absolute http(s) URLs. An element not listed is
// unwrapped: it goes, its content is cleaned in its place. Sorted by name.
struct AllowedElement {
  const char* name;
  const char* attributes;  // separated by spaces
};
const AllowedElement kAllowed[] = {{"a", "href"},
                                   {"abbr", ""},
                                   {"acronym", ""},
                                   {"address", ""},
                                   {"b", ""},
                                   {"bdi", ""},
                                   {"bdo", ""},
                                   {"big", ""},
                                   {"blockquote", ""},
                                   {"br", ""},
                                   {"caption", ""},
                                   {"center", ""},
                                   {"cite", ""},
                                   {"code", ""},
                                   {"col", "span"},
                                   {"colgroup", "span"},
                                   {"dd", ""},
                                   {"del", "datetime"},
                                   {"dfn", ""},
                                   {"div", ""},
                                   {"dl", ""},
                                   {"dt", ""},
                                   {"em", ""},
                                   {"figcaption", ""},
                                   {"figure", ""},
                                   {"h1", ""},
                                   {"h2", ""},
                                   {"h3", ""},
                                   {"h4", ""},
                                   {"h5", ""},
                                   {"h6", ""},
                                   {"hr", ""},
                                   {"i", ""},
                                   {"img", "src alt width height"},
                                   {"ins", "datetime"},
                                   {"kbd", ""},
                                   {"li", ""},
                                   {"mark", ""},
                                   {"ol", "start type"},
                                   {"p", ""},
                                   {"pre", ""},
                                   {"q", ""},
                                   {"s", ""},
                                   {"samp", ""},
                                   {"small", ""},
                                   {"span", ""},
                                   {"strike", ""},
                                   {"strong", ""},
                                   {"sub", ""},
                                   {"sup", ""},
                                   {"table", "summary"},
                                   {"tbody", ""},
                                   {"td", "colspan rowspan"},
                                   {"tfoot", ""},
                                   {"th", "colspan rowspan scope"},
                                   {"thead", ""},
                                   {"time", "datetime"},
                                   {"tr", ""},
                                   {"tt", ""},
                                   {"u", ""},
                                   {"ul", ""},
                                   {"var", ""},
                                   {"wbr", ""}};
const char kGlobalAttributes[] = "title lang dir";

// Elements that go with all they hold, in content and in text: scripts, styles, frames, embedded objects,
// and what belongs in a document's head.
const char kDropped[] =
    "applet base embed frame frameset head iframe link math meta noembed noframes object script style svg "
    "template title";
// Elements that end a line: in text they part the words around them.
const char kBreaks[] = "blockquote br dd div dt h1 h2 h3 h4 h5 h6 hr li p pre td th tr";
const char kVoid[] = "br col hr img wbr";

// Nesting deeper than this is not read (the walks recurse).
constexpr int kMaxDepth = 256;

bool IsWordOf(const char* words, const char* word) {
  const std::size_t length = std::strlen(word);
  for (const char* at = std::strstr(words, word); at; at = std::strstr(at + 1, word)) {
    if ((at == words || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0')) return true;
  }
  return false;
}

const AllowedElement* FindAllowed(const char* name) {
  const auto end = std::end(kAllowed);
  const auto found = std::lower_bound(std::begin(kAllowed), end, name, [](const AllowedElement& e, const char* n) {
    return std::strcmp(e.name, n) < 0;
  });
  return found != end && std::strcmp(found->name, name) == 0 ? found : nullptr;
}

const char* NameOf(const xmlNode* node) { return reinterpret_cast<const char*>(node->name); }
const char* TextOf(const xmlNode* node) {
  return node && node->content ? reinterpret_cast<const char*>(node->content) : "";
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// Appends `text` with each run of white space as one space, and none at the start of `out`.
void AppendFolded(const char* text, std::string& out) {
  for (; *text; ++text) {
    if (!IsSpace(*text))
      out += *text;
    else if (!out.empty() && out.back() != ' ')
      out += ' ';
  }
}

void AppendEscaped(const char* text, std::string& out) {
  for (; *text; ++text) {
    switch (*text) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += *text;
    }
  }
}

struct DocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using HtmlDoc = std::unique_ptr<xmlDoc, DocFree>;

// The parsed fragment. A body start tag in front keeps the parser from wrapping leading text in a paragraph
// of its own; the bytes are read as UTF-8 whatever a <meta> in them says.
HtmlDoc ParseFragment(const std::string& html) {
  static const bool initialised = (xmlInitParser(), true);
  (void)initialised;
  const std::string text = "<body>" + html;
  if (text.size() > static_cast<std::size_t>(INT_MAX)) return nullptr;
  return HtmlDoc(htmlReadMemory(
      text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
      HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NOIMPLIED | HTML_PARSE_IGNORE_ENC));
}

void AppendText(const xmlNode* node, int depth, std::string& out) {
  for (; node; node = node->next) {
    if (node->type == XML_TEXT_NODE) AppendFolded(TextOf(node), out);
    if (node->type != XML_ELEMENT_NODE || depth >= kMaxDepth || IsWordOf(kDropped, NameOf(node))) continue;
    const bool breaks = IsWordOf(kBreaks, NameOf(node));
    if (breaks) AppendFolded(" ", out);
    AppendText(node->children, depth + 1, out);
    if (breaks) AppendFolded(" ", out);
  }
}

bool IsWebUrl(const std::string& url) {
  std::string scheme = url.substr(0, url.find(':'));
  std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
  return (scheme == "http" || scheme == "https") && url.compare(scheme.size(), 3, "://") == 0;
}

// Writes the start tag with the attributes the element may keep; false (and nothing written) for an image
// without a source it may keep.
bool WriteStartTag(const xmlNode& node, const AllowedElement& allowed, const std::string& base, std::string& out) {
  const std::size_t start = out.size();
  out += '<';
  out += allowed.name;
  bool hasSource = false;
  for (const xmlAttr* attribute = node.properties; attribute; attribute = attribute->next) {
    const char* name = reinterpret_cast<const char*>(attribute->name);
    if (!IsWordOf(allowed.attributes, name) && !IsWordOf(kGlobalAttributes, name)) continue;
    std::string value = TextOf(attribute->children);
    if (std::strcmp(name, "href") == 0 || std::strcmp(name, "src") == 0) {
      value = ResolveUrl(base, FoldSpace(value));
      if (!IsWebUrl(value)) continue;
      hasSource = true;
    }
    out += ' ';
    out += name;
    out += "=\"";
    AppendEscaped(value.c_str(), out);
    out += '"';
  }
  out += '>';
  if (hasSource || std::strcmp(allowed.name, "img") != 0) return true;
  out.resize(start);
  return false;
}

void AppendClean(const xmlNode* node, const std::string& base, int depth, std::string& out) {
  for (; node; node = node->next) {
    if (node->type == XML_TEXT_NODE) AppendEscaped(TextOf(node), out);
    if (node->type != XML_ELEMENT_NODE || depth >= kMaxDepth || IsWordOf(kDropped, NameOf(node))) continue;
    const AllowedElement* allowed = FindAllowed(NameOf(node));
    if (!allowed) {
      AppendClean(node->children, base, depth + 1, out);
    } else if (WriteStartTag(*node, *allowed, base, out) && !IsWordOf(kVoid, allowed->name)) {
      AppendClean(node->children, base, depth + 1, out);
      out += "</";
      out += allowed->name;
      out += '>';
    }
  }
}

}  // namespace

std::string HtmlToText(const std::string& html) {
  std::string out;
  if (const HtmlDoc doc = ParseFragment(html)) AppendText(doc->children, 0, out);
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string FoldSpace(const std::string& text) {
  std::string out;
  AppendFolded(text.c_str(), out);
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string CleanHtml(const std::string& html, const std::string& base) {
  std::string out;
  if (const HtmlDoc doc = ParseFragment(html)) AppendClean(doc->children, base, 0, out);
  return out;
}

std::string EscapeHtml(const std::string& text) {
  std::string out;
  AppendEscaped(text.c_str(), out);
  return out;
}

}  // namespace newssvc
