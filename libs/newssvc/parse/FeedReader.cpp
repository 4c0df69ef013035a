#include "libs/newssvc/parse/FeedReader.h"

#include <string>

#include "libs/newssvc/common/FeedUrl.h"
#include "libs/newssvc/parse/FeedBytes.h"
#include "libs/newssvc/parse/HtmlText.h"
#include "port/Text.h"

namespace newssvc {

namespace {
using port::Trim;

const char kAtomNs[] = "http://www.w3.org/2005/Atom";
const char kAtom03Ns[] = "http://purl.org/atom/ns#";
const char kDublinCoreNs[] = "http://purl.org/dc/elements/1.1/";
const char kDcTermsNs[] = "http://purl.org/dc/terms/";
const char kContentNs[] = "http://purl.org/rss/1.0/modules/content/";
const char kRdfNs[] = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
const char kMediaNs[] = "http://search.yahoo.com/mrss/";

std::string Attribute(const CXMLElement& element, const char* name) {
  std::string value;
  element.GetAttribute(name, value);
  return value;
}

// Text of the first child with this local name in this namespace (empty: none), trimmed.
std::string ChildText(const CXMLElement& parent, const char* localName, const std::string& nsUri) {
  const CXMLElement* child = parent.FirstChild(localName, nsUri.c_str());
  return child ? Trim(child->AllText()) : std::string();
}

// The base URL inside `element`: its xml:base resolved against the one around it.
std::string BaseOf(const CXMLElement& element, const std::string& outerBase) {
  std::string base;
  return element.GetAttribute("xml:base", base) ? ResolveUrl(outerBase, Trim(base)) : outerBase;
}

std::string DecodeBase64(const std::string& text) {
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (const char c : text) {
    int value = -1;
    if (c >= 'A' && c <= 'Z') value = c - 'A';
    if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
    if (c >= '0' && c <= '9') value = c - '0' + 52;
    if (c == '+') value = 62;
    if (c == '/') value = 63;
    if (value < 0) continue;  // padding and line breaks
    bits = (bits << 6) | static_cast<unsigned>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

// The dates a feed may give, in order of preference; the first that reads is taken.
void ReadDates(const CXMLElement& element, const std::initializer_list<std::pair<const char*, std::string>>& fields,
               FeedItem& item) {
  for (const auto& field : fields) {
    const std::string text = ChildText(element, field.first, field.second);
    if (!text.empty() && ParseFeedDate(text, item.published)) {
      item.hasDate = true;
      return;
    }
  }
}

void AddSymbol(const std::string& symbol, FeedItem& item) {
  const std::string trimmed = Trim(symbol);
  if (!trimmed.empty()) item.symbols.push_back(trimmed);
}

// The href of an entry's alternate link (a link without rel is one), else of its first link; resolved.
// Links without an href are skipped.
std::string AtomLink(const CXMLElement& entry, const std::string& nsUri, const std::string& base) {
  std::string fallback;
  for (const auto& child : entry.children) {
    if (child->localName != "link" || child->nsUri != nsUri || Trim(Attribute(*child, "href")).empty()) continue;
    std::string rel;
    const std::string href = ResolveWebUrl(BaseOf(*child, base), Trim(Attribute(*child, "href")));
    if (!child->GetAttribute("rel", rel) || rel == "alternate") return href;
    if (fallback.empty()) fallback = href;
  }
  return fallback;
}

// A Media RSS title, of the item or of its media group or content: the title of an item that has none.
std::string MediaTitle(const CXMLElement& item) {
  for (const auto& child : item.children) {
    if (child->nsUri != kMediaNs) continue;
    const CXMLElement* title = child->localName == "title" ? child.get() : child->FirstChild("title", kMediaNs);
    if (title) return HtmlToText(title->AllText());
  }
  return std::string();
}

// RSS 0.9x, 1.0 and 2.0 share their item elements, in the item's own namespace (none, or RSS 1.0's);
// 1.0 adds rdf:about, and modules add Dublin Core, content and Atom elements.
FeedItem ReadRssItem(const CXMLElement& element, const std::string& outerBase) {
  const std::string& ns = element.nsUri;
  const std::string base = BaseOf(element, outerBase);
  FeedItem item;
  // RSS says nothing of a title's markup, and publishers write HTML in them: titles are read as HTML.
  item.title = HtmlToText(ChildText(element, "title", ns));
  if (item.title.empty()) item.title = HtmlToText(ChildText(element, "title", kDublinCoreNs));
  if (item.title.empty()) item.title = MediaTitle(element);
  item.description = ChildText(element, "description", ns);
  if (item.description.empty()) item.description = ChildText(element, "encoded", kContentNs);
  item.description = CleanHtml(item.description, base);
  const CXMLElement* guid = element.FirstChild("guid", ns.c_str());
  if (guid) item.id = Trim(guid->AllText());
  if (item.id.empty()) element.GetAttribute("rdf:about", item.id);
  if (const CXMLElement* link = element.FirstChild("link", ns.c_str()))
    item.link = ResolveWebUrl(BaseOf(*link, base), Trim(link->AllText()));
  if (item.link.empty()) item.link = AtomLink(element, kAtomNs, base);
  if (item.link.empty() && guid && Attribute(*guid, "isPermaLink") != "false") item.link = ResolveWebUrl(base, item.id);
  ReadDates(element,
            {{"pubDate", ns},
             {"date", kDublinCoreNs},
             {"published", kAtomNs},
             {"issued", kDcTermsNs},
             {"updated", kAtomNs},
             {"modified", kDcTermsNs}},
            item);
  for (const auto& child : element.children) {
    if (child->localName == "category" && child->nsUri == ns && Attribute(*child, "domain") == "symbol")
      AddSymbol(child->AllText(), item);
  }
  return item;
}

// An Atom text construct holds text, escaped HTML or inline XHTML (Atom 1.0: type text, html, xhtml; Atom 0.3:
// a MIME type, and a mode of xml, escaped or base64).
enum class TextType { kText, kHtml, kXhtml };

TextType TypeOf(const CXMLElement& element) {
  const std::string type = Attribute(element, "type");
  const std::string mode = Attribute(element, "mode");
  if (type == "xhtml" || type == "application/xhtml+xml")
    return mode == "escaped" || mode == "base64" ? TextType::kHtml : TextType::kXhtml;
  return type == "html" || type == "text/html" ? TextType::kHtml : TextType::kText;
}

// The construct's text or markup, as its type says.
std::string AtomContent(const CXMLElement& element, TextType type) {
  if (Attribute(element, "mode") == "base64") return DecodeBase64(element.AllText());
  return type == TextType::kXhtml ? element.InnerMarkup() : element.AllText();
}

std::string AtomTitle(const CXMLElement* element) {
  if (!element) return std::string();
  const TextType type = TypeOf(*element);
  const std::string content = AtomContent(*element, type);
  return type == TextType::kText ? FoldSpace(content) : HtmlToText(content);
}

// Summary or content as HTML: text escaped, markup cleaned.
std::string AtomHtml(const CXMLElement* element, const std::string& base) {
  if (!element) return std::string();
  const TextType type = TypeOf(*element);
  const std::string content = Trim(AtomContent(*element, type));
  return type == TextType::kText ? EscapeHtml(content) : CleanHtml(content, BaseOf(*element, base));
}

// Atom 1.0, Atom 0.3 and Atom without a namespace: the entry's children are read in the entry's namespace.
FeedItem ReadAtomEntry(const CXMLElement& entry, const std::string& outerBase) {
  const std::string& ns = entry.nsUri;
  const std::string base = BaseOf(entry, outerBase);
  FeedItem item;
  item.title = AtomTitle(entry.FirstChild("title", ns.c_str()));
  if (item.title.empty()) item.title = MediaTitle(entry);
  item.link = AtomLink(entry, ns, base);
  item.id = ChildText(entry, "id", ns);
  item.description = AtomHtml(entry.FirstChild("summary", ns.c_str()), base);
  if (item.description.empty()) item.description = AtomHtml(entry.FirstChild("content", ns.c_str()), base);
  ReadDates(entry, {{"published", ns}, {"issued", ns}, {"created", ns}, {"updated", ns}, {"modified", ns}}, item);
  for (const auto& child : entry.children) {
    std::string term;
    if (child->localName == "category" && child->nsUri == ns && Attribute(*child, "scheme") == "symbol" &&
        child->GetAttribute("term", term))
      AddSymbol(term, item);
  }
  return item;
}

void ReadItemsOf(const CXMLElement& parent, const std::string& base, std::vector<FeedItem>& items) {
  for (const auto& child : parent.children)
    if (child->localName == "item") items.push_back(ReadRssItem(*child, base));
}

bool IsAtom(const CXMLElement& element) {
  return element.nsUri == kAtomNs || element.nsUri == kAtom03Ns || element.nsUri.empty();
}

}  // namespace

bool CFeedReader::ReadDocument(const CXMLDocument& doc, std::vector<FeedItem>& items) {
  items.clear();
  if (!doc.root) return false;
  const CXMLElement& root = *doc.root;
  const std::string base = BaseOf(root, std::string());
  if (root.localName == "feed" && IsAtom(root)) {
    for (const auto& child : root.children)
      if (child->localName == "entry" && child->nsUri == root.nsUri) items.push_back(ReadAtomEntry(*child, base));
    return true;
  }
  if (root.localName == "entry" && IsAtom(root)) {  // an Atom entry document: one item
    items.push_back(ReadAtomEntry(root, std::string()));
    return true;
  }
  if (root.localName == "rss") {
    const CXMLElement* channel = root.FirstChild("channel");
    if (!channel) return false;
    ReadItemsOf(*channel, BaseOf(*channel, base), items);
    return true;
  }
  if (root.localName == "RDF" && root.nsUri == kRdfNs) {
    ReadItemsOf(root, base, items);  // RSS 1.0 items are siblings of the channel
    if (const CXMLElement* channel = root.FirstChild("channel")) ReadItemsOf(*channel, BaseOf(*channel, base), items);
    return true;
  }
  return false;
}

bool CFeedReader::ReadFile(const CString& path, std::vector<FeedItem>& items, bool* illFormed) {
  items.clear();
  if (illFormed) *illFormed = false;
  std::string bytes;
  return ReadFeedBytes(path, CXMLHelper::kMaxFileSize, bytes) && ReadBytes(std::move(bytes), items, illFormed);
}

bool CFeedReader::ReadBytes(std::string bytes, std::vector<FeedItem>& items, bool* illFormed,
                            const std::string& charset) {
  items.clear();
  RepairFeedBytes(bytes);
  CXMLDocument doc;
  bool repaired = false;
  if (CXMLHelper::ParseXMLBufferTolerant(bytes, doc, repaired, charset) == 0 || !ReadDocument(doc, items)) return false;
  if (illFormed) *illFormed = repaired;
  // A broken document that yields nothing is no newer version of the feed: the items read before stay.
  return !repaired || !items.empty();
}

}  // namespace newssvc
