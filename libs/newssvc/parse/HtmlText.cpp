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

// A list of words written as one text, parted by spaces; looked up among them sorted.
class WordList {
 public:
  explicit WordList(std::string_view words) {
    for (std::size_t at = 0; at < words.size();) {
      const std::size_t end = std::min(words.find(' ', at), words.size());
      m_words.push_back(words.substr(at, end - at));
      at = end + 1;
    }
    std::sort(m_words.begin(), m_words.end());
  }
  bool Has(std::string_view word) const { return std::binary_search(m_words.begin(), m_words.end(), word); }

 private:
  std::vector<std::string_view> m_words;
};

// The allow-list: the elements content keeps, and the attributes a kept element keeps; href and src only as
// absolute http(s) URLs, and an image only with its source. An element not listed is unwrapped: it goes, its
// content is cleaned in its place.
const WordList kAllowedElements(
    "a abbr acronym address b bdi bdo big blockquote br caption center cite code col colgroup dd del dfn div dl "
    "dt em figcaption figure h1 h2 h3 h4 h5 h6 hr i img ins kbd li mark ol p pre q s samp small span strike strong "
    "sub sup table tbody td tfoot th thead time tr tt u ul var wbr");
const WordList kAllowedAttributes(
    "href src alt title lang dir width height colspan rowspan scope span start type summary datetime");

// Elements that go with all they hold, in content and in text: scripts, styles, frames, embedded objects,
// and what belongs in a document's head.
const WordList kDropped(
    "applet base embed frame frameset head iframe link math meta noembed noframes object script style svg "
    "template title");
// Elements that end a line: in text they part the words around them.
const WordList kBreaks("blockquote br dd div dt h1 h2 h3 h4 h5 h6 hr li p pre td th tr");
const WordList kVoid("br col hr img wbr");

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

const char* EscapeOf(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    default:
      return nullptr;
  }
}

// Appends `text` escaped for HTML text and attribute values.
void AppendEscaped(std::string_view text, std::string& out) {
  std::size_t done = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char* escape = EscapeOf(text[at]);
    if (!escape) continue;
    out.append(text, done, at - done);
    out += escape;
    done = at + 1;
  }
  out.append(text, done, std::string_view::npos);
}

const char* AsText(const xmlChar* text) { return text ? reinterpret_cast<const char*>(text) : ""; }

// Writes what the parser reports of a fragment: its text (`base` null), or its markup cleaned against the
// allow-list with links resolved against `*base`. The parser reports an end for every start, implied ones
// included.
class FragmentWriter {
 public:
  explicit FragmentWriter(const std::string* base) : m_base(base) {}

  void Start(const char* name, const xmlChar** attributes) {
    if (m_dropping > 0 || kDropped.Has(name)) {
      ++m_dropping;
      m_closers.push_back(nullptr);
    } else if (!m_base) {
      const bool breaks = kBreaks.Has(name);
      if (breaks) AppendFolded(" ", out);
      m_closers.push_back(breaks ? name : nullptr);
    } else {
      const bool allowed = kAllowedElements.Has(name);
      if (allowed) WriteStartTag(name, attributes);
      m_closers.push_back(allowed && !kVoid.Has(name) ? name : nullptr);
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
      if (!kAllowedAttributes.Has(name)) continue;
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

// The writer a parse reports to, which the parser context carries for its handler.
FragmentWriter& WriterOf(void* context) {
  return *static_cast<FragmentWriter*>(static_cast<htmlParserCtxt*>(context)->_private);
}

void OnStart(void* context, const xmlChar* name, const xmlChar** attributes) {
  WriterOf(context).Start(AsText(name), attributes);
}
void OnEnd(void* context, const xmlChar*) { WriterOf(context).End(); }
void OnCharacters(void* context, const xmlChar* text, int length) {
  WriterOf(context).Characters(std::string_view(AsText(text), static_cast<std::size_t>(length)));
}

struct ContextFree {
  void operator()(htmlParserCtxt* context) const { htmlFreeParserCtxt(context); }
};

// A parser context whose handler reports to the writer it carries and builds no tree. Each parse has its own: a context
// kept per thread would be freed by the thread's exit, when libxml2's own per-thread state may already be gone
// (under Windows that crashed the ending thread).
std::unique_ptr<htmlParserCtxt, ContextFree> NewContext() {
  static std::once_flag initialised;
  std::call_once(initialised, xmlInitParser);
  std::unique_ptr<htmlParserCtxt, ContextFree> context(htmlNewParserCtxt());
  if (!context) return context;
  xmlSAXHandler& handler = *context->sax;
  handler.startElement = OnStart;
  handler.endElement = OnEnd;
  handler.characters = handler.cdataBlock = handler.ignorableWhitespace = OnCharacters;
  handler.comment = nullptr;
  handler.processingInstruction = nullptr;
  return context;
}

// Reports the fragment to `writer`. A body start tag in front keeps the parser from wrapping leading text in a
// paragraph of its own; the bytes are read as UTF-8 whatever a <meta> in them says.
void Parse(const std::string& html, FragmentWriter& writer) {
  const std::string text = "<body>" + html;
  const auto context = NewContext();
  if (!context || text.size() > static_cast<std::size_t>(INT_MAX)) return;
  context->_private = &writer;
  xmlFreeDoc(htmlCtxtReadMemory(
      context.get(), text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
      HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NOIMPLIED | HTML_PARSE_IGNORE_ENC));
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
