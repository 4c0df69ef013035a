// FeedItem: one item of a feed as the feed reader hands it over, text still in UTF-8.
#pragma once

#include <string>
#include <vector>

#include "libs/newssvc/common/Dates.h"

namespace newssvc {

struct FeedItem {
  std::string id;  // guid (RSS), id (Atom) or rdf:about (RSS 1.0); empty when the feed gives none
  std::string title;
  std::string link;
  std::string description;
  std::vector<std::string> symbols;  // <category domain="symbol"> (RSS) or <category scheme="symbol"> (Atom)
  bool hasDate = false;
  UtcSeconds published = 0;  // publication time, else the last update time; meaningful when hasDate

  // The identity that survives a re-read of the feed: guid/id, else link, else title.
  const std::string& IdentityKey() const { return !id.empty() ? id : !link.empty() ? link : title; }
};

}  // namespace newssvc
