#include "libs/newssvc/FeedReader.h"

#include <string>

#include "libs/newssvc/FeedBytes.h"

namespace newssvc {

namespace {

const char kAtomNs[] = "http://www.w3.org/2005/Atom";
const char kDublinCoreNs[] = "http://purl.org/dc/elements/1.1/";
const char kRdfNs[] = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// Text of the first child with this local name (any namespace unless one is given), trimmed.
std::string ChildText(const CXMLElement& parent, const char* localName, const char* nsUri = nullptr) {
  const CXMLElement* child = parent.FirstChild(localName, nsUri);
  return child ? Trim(child->AllText()) : std::string();
}

void ReadDate(const std::string& text, FeedItem& item) {
  if (!item.hasDate && !text.empty()) item.hasDate = ParseFeedDate(text, item.published);
}

void AddSymbol(const std::string& symbol, FeedItem& item) {
  const std::string trimmed = Trim(symbol);
  if (!trimmed.empty()) item.symbols.push_back(trimmed);
}

// RSS 0.9x, 1.0 and 2.0 share their item elements; 1.0 adds rdf:about and Dublin Core dates.
FeedItem ReadRssItem(const CXMLElement& element) {
  FeedItem item;
  item.title = ChildText(element, "title");
  item.link = ChildText(element, "link");
  item.description = ChildText(element, "description");
  if (item.description.empty()) item.description = ChildText(element, "encoded");  // content:encoded
  item.id = ChildText(element, "guid");
  if (item.id.empty()) element.GetAttribute("rdf:about", item.id);
  ReadDate(ChildText(element, "pubDate"), item);
  ReadDate(ChildText(element, "date", kDublinCoreNs), item);
  for (const auto& child : element.children) {
    std::string domain;
    if (child->localName == "category" && child->GetAttribute("domain", domain) && domain == "symbol")
      AddSymbol(child->AllText(), item);
  }
  return item;
}

std::string AtomLink(const CXMLElement& entry) {
  std::string fallback;
  for (const auto& child : entry.children) {
    if (child->localName != "link") continue;
    std::string rel, href;
    child->GetAttribute("href", href);
    if (!child->GetAttribute("rel", rel) || rel == "alternate") return Trim(href);
    if (fallback.empty()) fallback = Trim(href);
  }
  return fallback;
}

// Atom documents without the Atom namespace exist; the entry's own namespace is used for its children.
FeedItem ReadAtomEntry(const CXMLElement& entry) {
  const char* const ns = entry.nsUri.c_str();
  FeedItem item;
  item.title = ChildText(entry, "title", ns);
  item.link = AtomLink(entry);
  item.id = ChildText(entry, "id", ns);
  item.description = ChildText(entry, "summary", ns);
  if (item.description.empty()) item.description = ChildText(entry, "content", ns);
  ReadDate(ChildText(entry, "published", ns), item);
  ReadDate(ChildText(entry, "updated", ns), item);
  for (const auto& child : entry.children) {
    std::string scheme, term;
    if (child->localName == "category" && child->GetAttribute("scheme", scheme) && scheme == "symbol" &&
        child->GetAttribute("term", term))
      AddSymbol(term, item);
  }
  return item;
}

void ReadItemsOf(const CXMLElement& parent, std::vector<FeedItem>& items) {
  for (const auto& child : parent.children)
    if (child->localName == "item") items.push_back(ReadRssItem(*child));
}

}  // namespace

bool CFeedReader::ReadDocument(const CXMLDocument& doc, std::vector<FeedItem>& items) {
  items.clear();
  if (!doc.root) return false;
  const CXMLElement& root = *doc.root;
  if (root.localName == "feed" && (root.nsUri == kAtomNs || root.nsUri.empty())) {
    for (const auto& child : root.children)
      if (child->localName == "entry") items.push_back(ReadAtomEntry(*child));
    return true;
  }
  if (root.localName == "entry" && (root.nsUri == kAtomNs || root.nsUri.empty())) {  // an Atom entry document: one item
    items.push_back(ReadAtomEntry(root));
    return true;
  }
  if (root.localName == "rss") {
    const CXMLElement* channel = root.FirstChild("channel");
    if (!channel) return false;
    ReadItemsOf(*channel, items);
    return true;
  }
  if (root.localName == "RDF" && root.nsUri == kRdfNs) {
    ReadItemsOf(root, items);  // RSS 1.0 items are siblings of the channel
    if (const CXMLElement* channel = root.FirstChild("channel")) ReadItemsOf(*channel, items);
    return true;
  }
  return false;
}

bool CFeedReader::ReadFile(const CString& path, std::vector<FeedItem>& items) {
  items.clear();
  std::string bytes;
  if (!ReadFeedBytes(path, CXMLHelper::kMaxFileSize, bytes)) return false;
  RepairFeedBytes(bytes);
  CXMLDocument doc;
  return CXMLHelper::ParseXMLBuffer(bytes, doc) != 0 && ReadDocument(doc, items);
}

}  // namespace newssvc
