// Reads the items of an RSS 0.9x, RSS 1.0 (RDF), RSS 2.0 or Atom 1.0 document. The file is loaded through
// CXMLHelper, which decodes whatever encoding the declaration names and refuses oversized, malformed and
// hostile documents (external entities, entity expansion bombs).
#pragma once

#include <vector>

#include "libs/newssvc/FeedItem.h"
#include "libs/vxutil/XMLHelper.h"
#include "port/CString.h"

namespace newssvc {

class CFeedReader {
 public:
  // Items in document order. False when the document is not a feed of a known kind.
  static bool ReadDocument(const CXMLDocument& doc, std::vector<FeedItem>& items);
  // Loads and reads a feed file; false when the file cannot be loaded or is not a feed.
  static bool ReadFile(const CString& path, std::vector<FeedItem>& items);
};

}  // namespace newssvc
