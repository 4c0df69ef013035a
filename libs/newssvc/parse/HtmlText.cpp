#include "libs/newssvc/parse/HtmlText.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "libs/newssvc/common/FeedUrl.h"

namespace newssvc {

namespace {

// The allow-list: the elements content keeps, and the attributes a kept element keeps; href and src only as
// absolute http(s) URLs, and an image only with its source. An element not listed is unwrapped: it goes, its
// content is cleaned in its place.
const char kAllowedElements[] =
    "a abbr acronym address b bdi bdo big blockquote br caption center cite code col colgroup dd del dfn div dl "
    "dt em figcaption figure h1 h2 h3 h4 h5 h6 hr i img ins kbd li mark ol p pre q s samp small span strike strong "
    "sub sup table tbody td tfoot th thead time tr tt u ul var wbr";
const char kAllowedAttributes[] =
    "href src alt title lang dir width height colspan rowspan scope span start type summary datetime";

// Elements that go with all they hold, in content and in text: scripts, styles, frames, embedded objects,
// and what belongs in a document's head.
const char kDropped[] =
    "applet base embed frame frameset head iframe link math meta noembed noframes object script style svg "
    "template title";
// Elements that end a line: in text they part the words around them.
const char kBreaks[] = "blockquote br dd div dt h1 h2 h3 h4 h5 h6 hr li p pre td th tr";
const char kVoid[] = "br col hr img wbr";

bool IsWordOf(const char* words, const char* word) {
  const std::size_t length = std::strlen(word);
  for (const char* at = std::strstr(words, word); at; at = std::strstr(at + 1, word)) {
    if ((at == words || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0')) return true;
  }
  return false;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// Appends `text` with each run of white space as one space, and none at the start of `out`.
void AppendFolded(std::string_view text, std::string& out) {
  for (const char c : text) {
    if (!IsSpace(c))
      out += c;
    else if (!out.empty() && out.back() != ' ')
      out += ' ';
  }
}

// Appends `text` escaped for HTML text and attribute values.
void AppendEscaped(std::string_view text, std::string& out) {
  static const char kSpecial[] = "&<>\"";
  static const char* const kEscapes[] = {"&amp;", "&lt;", "&gt;", "&quot;"};
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t special = std::min(text.find_first_of(kSpecial, at), text.size());
    out.append(text, at, special - at);
    if (special < text.size()) out += kEscapes[std::strchr(kSpecial, text[special]) - kSpecial];
    at = special + 1;
  }
}

const char* AsText(const xmlChar* text) { return text ? reinterpret_cast<const char*>(text) : ""; }

// Writes what the parser reports of a fragment: its text (`base` null), or its markup cleaned against the
// allow-list with links resolved against `*base`. The parser reports an end for every start, implied ones
// included.
class FragmentWriter {
 public:
  explicit FragmentWriter(const std::string* base) : m_base(base) {}

  void Start(const char* name, const xmlChar** attributes) {
    if (m_dropping > 0 || IsWordOf(kDropped, name)) {
      ++m_dropping;
      m_closers.push_back(nullptr);
    } else if (!m_base) {
      const bool breaks = IsWordOf(kBreaks, name);
      if (breaks) AppendFolded(" ", out);
      m_closers.push_back(breaks ? name : nullptr);
    } else {
      const bool allowed = IsWordOf(kAllowedElements, name);
      if (allowed) WriteStartTag(name, attributes);
      m_closers.push_back(allowed && !IsWordOf(kVoid, name) ? name : nullptr);
    }
  }

  void End() {
    if (m_closers.empty()) return;
    const char* closer = m_closers.back();
    m_closers.pop_back();
    if (m_dropping > 0) {
      --m_dropping;
    } else if (closer && !m_base) {
      AppendFolded(" ", out);
    } else if (closer) {
      out += "</";
      out += closer;
      out += '>';
    }
  }

  void Characters(std::string_view text) {
    if (m_dropping > 0) return;
    if (m_base)
      AppendEscaped(text, out);
    else
      AppendFolded(text, out);
  }

  std::string out;

 private:
  // Writes the start tag with the attributes the element may keep; nothing for an image without a source it
  // may keep.
  void WriteStartTag(const char* element, const xmlChar** attributes) {
    const std::size_t start = out.size();
    out += '<';
    out += element;
    bool hasSource = false;
    for (; attributes && attributes[0]; attributes += 2) {
      const char* name = AsText(attributes[0]);
      if (!IsWordOf(kAllowedAttributes, name)) continue;
      std::string value = AsText(attributes[1]);
      if (std::strcmp(name, "href") == 0 || std::strcmp(name, "src") == 0) {
        value = ResolveUrl(*m_base, FoldSpace(value));
        if (!IsHttpUrl(value)) continue;
        hasSource = true;
      }
      out += ' ';
      out += name;
      out += "=\"";
      AppendEscaped(value, out);
      out += '"';
    }
    out += '>';
    if (!hasSource && std::strcmp(element, "img") == 0) out.resize(start);
  }

  const std::string* m_base;
  std::vector<const char*> m_closers;  // per open element, the name its end writes (null: nothing); the parser's
                                       // dictionary holds the names for the whole parse
  int m_dropping = 0;                  // open elements whose content goes
};

// The writer the parser's handler reports to, on this thread.
thread_local FragmentWriter* t_writer = nullptr;

void OnStart(void*, const xmlChar* name, const xmlChar** attributes) { t_writer->Start(AsText(name), attributes); }
void OnEnd(void*, const xmlChar*) { t_writer->End(); }
void OnCharacters(void*, const xmlChar* text, int length) {
  t_writer->Characters(std::string_view(AsText(text), static_cast<std::size_t>(length)));
}

struct ContextFree {
  void operator()(htmlParserCtxt* context) const { htmlFreeParserCtxt(context); }
};

// Names the parser's dictionary may hold before its context is made anew: it keeps every element and attribute
// name it meets, and publishers choose those.
constexpr int kMaxNames = 4096;

// A parser context per thread, reused (making one for each title or description costs more than the parse),
// whose handler reports to t_writer and builds no tree.
htmlParserCtxt* Context() {
  static std::once_flag initialised;
  std::call_once(initialised, xmlInitParser);
  thread_local std::unique_ptr<htmlParserCtxt, ContextFree> context;
  if (context && xmlDictSize(context->dict) <= kMaxNames) return context.get();
  context.reset(htmlNewParserCtxt());
  if (!context) return nullptr;
  xmlSAXHandler& handler = *context->sax;
  handler.startElement = OnStart;
  handler.endElement = OnEnd;
  handler.characters = handler.cdataBlock = handler.ignorableWhitespace = OnCharacters;
  handler.comment = nullptr;
  handler.processingInstruction = nullptr;
  return context.get();
}

// Reports the fragment to `writer`. A body start tag in front keeps the parser from wrapping leading text in a
// paragraph of its own; the bytes are read as UTF-8 whatever a <meta> in them says.
void Parse(const std::string& html, FragmentWriter& writer) {
  const std::string text = "<body>" + html;
  htmlParserCtxt* context = Context();
  if (!context || text.size() > static_cast<std::size_t>(INT_MAX)) return;
  t_writer = &writer;
  xmlFreeDoc(htmlCtxtReadMemory(
      context, text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
      HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NOIMPLIED | HTML_PARSE_IGNORE_ENC));
  t_writer = nullptr;
}

// Text without markup or references reads as itself: most titles, which then need no parse.
bool IsPlainText(const std::string& html) { return html.find_first_of("<&") == std::string::npos; }

}  // namespace

std::string HtmlToText(const std::string& html) {
  if (IsPlainText(html)) return FoldSpace(html);
  FragmentWriter writer(nullptr);
  Parse(html, writer);
  if (!writer.out.empty() && writer.out.back() == ' ') writer.out.pop_back();
  return writer.out;
}

std::string FoldSpace(const std::string& text) {
  std::string out;
  AppendFolded(text, out);
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string CleanHtml(const std::string& html, const std::string& base) {
  if (IsPlainText(html)) return EscapeHtml(html);
  FragmentWriter writer(&base);
  Parse(html, writer);
  return writer.out;
}

std::string EscapeHtml(const std::string& text) {
  std::string out;
  AppendEscaped(text, out);
  return out;
}

}  // namespace newssvc
