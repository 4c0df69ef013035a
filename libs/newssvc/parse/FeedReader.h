// Reads the items of an RSS 0.9x, RSS 1.0 (RDF), RSS 2.0, Atom 0.3 or Atom 1.0 document. The file is loaded
// through CXMLHelper, which decodes whatever encoding the declaration names and refuses oversized and
// hostile documents (external entities, entity expansion bombs). A document that is not well-formed is
// repaired and read as far as it can be, as feed readers do; the items of a document that needed repair
// are kept only when there are any.
//
// Fields are found by namespace: an item's title, link, description and guid are the children in the item's
// own namespace (a <media:title> is no title). Dates are taken in this order of preference, the first that
// reads: RSS pubDate, dc:date, atom:published, dcterms:issued, atom:updated, dcterms:modified; Atom
// published (0.3: issued, created), then updated (0.3: modified). An RSS item without a link links to its
// guid unless isPermaLink is "false". Links are resolved against xml:base; a link that does not come out as
// an http(s) URL with a host (a script, a file, a relative link with no base) is no link.
#pragma once

#include <string>
#include <vector>

#include "libs/newssvc/parse/FeedItem.h"
#include "libs/vxutil/XMLHelper.h"
#include "port/CString.h"

namespace newssvc {

class CFeedReader {
 public:
  // Items in document order. False when the document is not a feed of a known kind.
  static bool ReadDocument(const CXMLDocument& doc, std::vector<FeedItem>& items);
  // Loads and reads a feed file; false when the file cannot be loaded or is not a feed. `illFormed` (when
  // given) tells whether the document had to be repaired.
  static bool ReadFile(const CString& path, std::vector<FeedItem>& items, bool* illFormed = nullptr);
  // The same for a feed's bytes in memory, from a file or fetched: every source is read this one way.
  // `charset`, when not empty, is the encoding the bytes came labelled with (HTTP's Content-Type), which
  // wins over the document's declaration while the document reads in it.
  static bool ReadBytes(std::string bytes, std::vector<FeedItem>& items, bool* illFormed = nullptr,
                        const std::string& charset = std::string());
};

}  // namespace newssvc
