#include "libs/newssvc/config/ServiceConfig.h"

#include <algorithm>
#include <cstdlib>

#include "libs/newssvc/common/Dates.h"
#include "libs/newssvc/config/OpmlFeedList.h"
#include "libs/vxutil/XMLHelper.h"
#include "port/CodePage.h"

namespace newssvc {

namespace {

std::string Attribute(const CXMLElement& element, const char* name) {
  std::string value;
  element.GetAttribute(name, value);
  return value;
}

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  std::string current;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == ',') {
      if (!current.empty()) words.push_back(current);
      current.clear();
    } else {
      current += text[i];
    }
  }
  return words;
}

CategoryGroup ReadGroup(const CXMLElement& element) {
  CategoryGroup group;
  group.name = port::Big5FromUtf8(Attribute(element, "name"));
  for (const auto& child : element.children) {
    if (child->localName != "Provider") continue;
    ProviderConfig provider;
    provider.id = port::Big5FromUtf8(Attribute(*child, "id"));
    provider.name = port::Big5FromUtf8(Attribute(*child, "name"));
    provider.source = port::Big5FromUtf8(Attribute(*child, "source"));
    provider.minPollSeconds = ProviderConfig::ReadMinPollSeconds(Attribute(*child, "minPollSeconds"));
    if (!provider.id.IsEmpty()) group.providers.push_back(provider);
  }
  return group;
}

}  // namespace

bool ParseZoneOffset(const std::string& text, int& offsetSeconds) {
  if (text == "Z" || text == "UTC" || text == "GMT") {
    offsetSeconds = 0;
    return true;
  }
  // The date parser's rules for numeric zones, so the configuration and the feeds agree.
  const std::string zone = text.rfind("UTC", 0) == 0 || text.rfind("GMT", 0) == 0 ? text.substr(3) : text;
  return ParseNumericZone(zone, offsetSeconds);
}

bool ServiceConfig::Load(const CString& path, ServiceConfig& config) {
  CXMLDocument doc;
  if (CXMLHelper::ParseXMLFile(path, doc) == 0 || !doc.root || doc.root->localName != "RSSNewsService") return false;
  ServiceConfig loaded;
  const CXMLElement& root = *doc.root;
  const std::string poll = Attribute(root, "pollMilliseconds");
  if (!poll.empty()) {
    loaded.pollMilliseconds = static_cast<int>(
        std::clamp<long>(std::strtol(poll.c_str(), nullptr, 10), kMinPollMilliseconds, kMaxPollMilliseconds));
  }
  loaded.hasZone = ParseZoneOffset(Attribute(root, "timeZone"), loaded.zoneOffsetSeconds);
  loaded.archiveFolder = port::Big5FromUtf8(Attribute(root, "archiveFolder"));
  loaded.archiveDays = static_cast<int>(
      std::clamp<long>(std::strtol(Attribute(root, "archiveDays").c_str(), nullptr, 10), 0, 100 * 365));
  loaded.logFetches = Attribute(root, "logFetches") == "1";
  for (const auto& child : root.children) {
    if (child->localName == "Category") {
      loaded.groups.push_back(ReadGroup(*child));
    } else if (child->localName == "Symbol") {
      SymbolWords symbol{Attribute(*child, "id"), SplitWords(Attribute(*child, "words"))};
      if (!symbol.symbol.empty()) loaded.symbolWords.push_back(symbol);
    }
  }
  const std::string opml = Attribute(root, "opml");
  if (!opml.empty()) {
    // A feed list that cannot be read adds nothing; the configuration's own groups still hold.
    const std::string folder = path.str().substr(0, path.str().find_last_of("/\\") + 1);
    const bool absolute = opml[0] == '/' || opml[0] == '\\' || (opml.size() > 1 && opml[1] == ':');
    ReadOpmlFile(CString(absolute ? opml : folder + opml), loaded.groups);
  }
  config = std::move(loaded);
  return true;
}

std::vector<ProviderConfig> ServiceConfig::AllProviders() const {
  std::vector<ProviderConfig> all;
  for (const CategoryGroup& group : groups) all.insert(all.end(), group.providers.begin(), group.providers.end());
  return all;
}

bool ServiceConfig::SameCategories(const ServiceConfig& other) const {
  auto sameProvider = [](const ProviderConfig& a, const ProviderConfig& b) {
    return a.id == b.id && a.name == b.name && a.source == b.source;
  };
  if (groups.size() != other.groups.size()) return false;
  for (std::size_t i = 0; i < groups.size(); ++i) {
    const auto& a = groups[i].providers;
    const auto& b = other.groups[i].providers;
    if (groups[i].name != other.groups[i].name || a.size() != b.size()) return false;
    for (std::size_t j = 0; j < a.size(); ++j)
      if (!sameProvider(a[j], b[j])) return false;
  }
  return true;
}

}  // namespace newssvc
