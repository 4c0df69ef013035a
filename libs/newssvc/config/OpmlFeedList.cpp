#include "libs/newssvc/config/OpmlFeedList.h"

#include <cstdint>
#include <cstdio>

#include "libs/newssvc/common/FeedUrl.h"
#include "libs/vxutil/XMLHelper.h"
#include "port/CodePage.h"

namespace newssvc {

namespace {

const char kLooseGroup[] = "Feeds";

std::string Attribute(const CXMLElement& element, const char* name) {
  std::string value;
  element.GetAttribute(name, value);
  return value;
}

std::string OutlineName(const CXMLElement& outline) {
  const std::string text = Attribute(outline, "text");
  return text.empty() ? Attribute(outline, "title") : text;
}

void CollectFeeds(const CXMLElement& outline, std::vector<ProviderConfig>& providers) {
  const std::string url = Attribute(outline, "xmlUrl");
  if (IsWebUrl(url)) {
    ProviderConfig provider;
    const std::string id = Attribute(outline, "providerId");
    provider.id = id.empty() ? ProviderIdForUrl(url) : port::Big5FromUtf8(id);
    provider.name = port::Big5FromUtf8(OutlineName(outline));
    provider.source = port::Big5FromUtf8(url);
    provider.minPollSeconds = ProviderConfig::ReadMinPollSeconds(Attribute(outline, "minPollSeconds"));
    providers.push_back(provider);
  }
  for (const auto& child : outline.children)
    if (child->localName == "outline") CollectFeeds(*child, providers);
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
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
      case '\t':  // as references: a parser reads these as blanks in an attribute value
        out += "&#9;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

CString ProviderIdForUrl(const std::string& url) {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (const unsigned char c : url) hash = (hash ^ c) * 16777619u;
  char id[16];
  std::snprintf(id, sizeof id, "U%08X", static_cast<unsigned>(hash));
  return CString(id);
}

bool ReadOpmlFile(const CString& path, std::vector<CategoryGroup>& groups) {
  CXMLDocument doc;
  if (CXMLHelper::ParseXMLFile(path, doc) == 0 || !doc.root || doc.root->localName != "opml") return false;
  const CXMLElement* body = doc.root->FirstChild("body");
  if (!body) return false;
  CategoryGroup loose;
  loose.name = CString(kLooseGroup);
  for (const auto& outline : body->children) {
    if (outline->localName != "outline") continue;
    if (!Attribute(*outline, "xmlUrl").empty()) {
      CollectFeeds(*outline, loose.providers);
      continue;
    }
    CategoryGroup group;
    group.name = port::Big5FromUtf8(OutlineName(*outline));
    CollectFeeds(*outline, group.providers);
    groups.push_back(std::move(group));
  }
  if (!loose.providers.empty()) groups.push_back(std::move(loose));
  return true;
}

std::string ExportOpml(const std::vector<CategoryGroup>& groups, const std::string& title) {
  std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<opml version=\"2.0\">\n  <head><title>" +
                    Escaped(title) + "</title></head>\n  <body>\n";
  for (const CategoryGroup& group : groups) {
    out += "    <outline text=\"" + Escaped(port::Utf8FromBig5(group.name)) + "\">\n";
    for (const ProviderConfig& provider : group.providers) {
      const std::string name = Escaped(port::Utf8FromBig5(provider.name));
      out += "      <outline type=\"rss\" text=\"" + name + "\" title=\"" + name + "\" xmlUrl=\"" +
             Escaped(port::Utf8FromBig5(provider.source)) + "\" providerId=\"" +
             Escaped(port::Utf8FromBig5(provider.id)) + "\"";
      if (provider.minPollSeconds >= 0) out += " minPollSeconds=\"" + std::to_string(provider.minPollSeconds) + "\"";
      out += "/>\n";
    }
    out += "    </outline>\n";
  }
  return out + "  </body>\n</opml>\n";
}

}  // namespace newssvc
