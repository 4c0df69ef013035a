// The character set of a feed that came over HTTP, where the Content-Type header may name one too. The
// rule, from RFC 7303 (XML media types, section 3): a byte-order mark wins; otherwise the charset
// parameter of Content-Type is authoritative, over the XML declaration's encoding; otherwise the
// declaration (or UTF-8 without one) holds. Servers often name the wrong charset, so when the document
// does not decode or parse under the header's charset, the document's own declaration is tried next.
#pragma once

#include <string>
#include <vector>

#include "libs/newssvc/FeedItem.h"

namespace newssvc {

// The document as it should be read first, then as a fallback, with the XML declaration naming the
// encoding each reading assumes. One entry when there is nothing to choose.
std::vector<std::string> FeedReadings(const std::string& body, const std::string& httpCharset);

// Reads the items of a fetched body; false when no reading of it is a feed.
bool ReadFetchedFeed(const std::string& body, const std::string& httpCharset, std::vector<FeedItem>& items);

}  // namespace newssvc
