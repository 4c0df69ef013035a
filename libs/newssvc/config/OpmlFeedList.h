// OPML feed lists, the format feed readers import and export. The service configuration may name one
// (<RSSNewsService opml="feeds.opml">, relative to the configuration's folder); its groups follow the
// configuration's own Category elements:
//
//   <opml version="2.0"><head><title>Taiwan</title></head><body>
//     <outline text="Markets">                                  a group: a category group of this name
//       <outline text="CNA" xmlUrl="https://example.com/cna.xml" providerId="CNA" minPollSeconds="60"/>
//     </outline>
//     <outline text="Loose" xmlUrl="https://example.com/loose.xml"/>   outside any group: group "Feeds"
//   </body></opml>
//
// Each outline whose xmlUrl is an http(s) URL is a provider whose source is that URL, named by its text (or
// title); a list comes from elsewhere, so an xmlUrl that names a file on this machine is left out. Its ID
// is the outline's providerId attribute, or else derived from the URL: "U" and eight hex digits of a
// hash of it, the same on every run and machine. Nested groups are flattened into their outermost group.
#pragma once

#include <string>
#include <vector>

#include "libs/newssvc/config/ProviderConfig.h"
#include "port/CString.h"

namespace newssvc {

// Reads the groups of an OPML file; false when it cannot be read or is not OPML.
bool ReadOpmlFile(const CString& path, std::vector<CategoryGroup>& groups);

// The provider ID derived from a feed URL.
CString ProviderIdForUrl(const std::string& url);

// The groups as an OPML 2.0 document in UTF-8, with providerId attributes so that it reads back to the same
// providers (those with http(s) sources: a feed file's path is written too, but not read back).
std::string ExportOpml(const std::vector<CategoryGroup>& groups, const std::string& title);

}  // namespace newssvc
