// Builds the NewsHeadline records the service hands out, and the content text of an item.
#pragma once

#include <vector>

#include "libs/newssvc/NewsHeadline.h"
#include "libs/newssvc/common/LocalZone.h"
#include "libs/newssvc/query/ItemStore.h"
#include "port/CString.h"

namespace newssvc {

// A record of `item` for `providerID`, with a search's snippet (Big5) when it comes from one; its pBlock is a
// fresh block that the receiver frees.
NewsHeadline MakeHeadline(const CString& providerID, const StoredItem& item, const RecordZone& zone,
                          const CString& snippet = CString());

// The title stored in a record's block (see NewsHeadline.h for the block's layout).
CString BlockTitle(const NewsHeadline& record);
CString BlockLink(const NewsHeadline& record);
CString BlockSnippet(const NewsHeadline& record);

// Frees the blocks of a list's records and empties it.
void FreeHeadlines(std::vector<NewsHeadline>& list);

// "<a href='URL'>title</a>" followed by the description.
CString ItemContent(const StoredItem& item);

}  // namespace newssvc
