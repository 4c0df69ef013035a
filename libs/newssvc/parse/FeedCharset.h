// A feed that came over HTTP, where the Content-Type header may name its character set. The rule, from
// RFC 7303 (XML media types, section 3): a byte-order mark wins; otherwise the charset parameter is
// authoritative, over the XML declaration's encoding; otherwise the declaration (or UTF-8 without one)
// holds. Servers often name the wrong charset, so a document that does not read in the header's charset is
// read in its own encoding next. The charset goes to the parser beside the bytes, never into them.
#pragma once

#include <string>
#include <vector>

#include "libs/newssvc/parse/FeedItem.h"

namespace newssvc {

// Reads the items of a fetched body as a feed file's are read (CFeedReader::ReadBytes), in the encoding
// `httpCharset` names when it is a charset at all; false when the body is no feed.
bool ReadFetchedFeed(const std::string& body, const std::string& httpCharset, std::vector<FeedItem>& items);

}  // namespace newssvc
