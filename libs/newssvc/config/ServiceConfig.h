// The service's configuration file, "RSSNewsSvc.xml" in the Config folder (another name may be given to
// the factory). XML in any encoding the declaration names:
//
//   <RSSNewsService pollMilliseconds="5000" timeZone="+08:00" archiveFolder="archive" archiveDays="90">
//     <Category name="Taiwan market">
//       <Provider id="TWSTK" name="Stock news" source="feeds/twstock.xml"/>
//       <Provider id="CNA" name="CNA" source="https://example.com/rss/cna.xml" minPollSeconds="60"/>
//     </Category>
//     <Symbol id="2330" words="TSMC,Taiwan Semiconductor"/>
//   </RSSNewsService>
//
// Categories and providers are listed in file order. A relative source is read from the feeds folder (the
// Config folder unless the session names another). timeZone is a numeric offset ("+08:00", "-0500", "UTC+8")
// for the records' dates and times; without it the machine's zone is used. A Symbol element's words tag an
// item with that symbol when its title or description contains one of them.
//
// A source that starts with http:// or https:// is fetched over the network, every pollMilliseconds unless
// the publisher asks for less: its Cache-Control max-age or Expires, when longer than the interval, sets
// the next poll. minPollSeconds lowers that floor for a provider whose publisher allows polling more
// often than its cache headers say: the next poll is then at most minPollSeconds away (never sooner than
// the interval). logFetches="1" on the root writes every exchange to the service's log, not only a
// feed's changes of state. opml="feeds.opml" on the root adds the groups of an OPML feed list (see
// OpmlFeedList.h: http(s) sources only), read whenever the configuration is.
//
// Every item read is kept in the archive RSSNewsArchive.db (SQLite) in archiveFolder, relative to the Config
// folder unless absolute (default: the Config folder itself), for archiveDays days after its publication
// (default 90); the archive also keeps each feed's validators and last error across restarts.
#pragma once

#include <string>
#include <vector>

#include "libs/newssvc/config/ProviderConfig.h"
#include "port/CString.h"

namespace newssvc {

struct SymbolWords {
  std::string symbol;              // UTF-8
  std::vector<std::string> words;  // UTF-8
};

struct ServiceConfig {
  static constexpr int kDefaultPollMilliseconds = 5000;
  static constexpr int kMinPollMilliseconds = 100;
  static constexpr int kMaxPollMilliseconds = 3600000;

  std::vector<CategoryGroup> groups;
  std::vector<SymbolWords> symbolWords;
  int pollMilliseconds = kDefaultPollMilliseconds;
  bool hasZone = false;
  int zoneOffsetSeconds = 0;  // meaningful when hasZone
  CString archiveFolder;      // as written; empty: the Config folder
  int archiveDays = 0;        // 0: the archive's default
  bool logFetches = false;

  // Reads the file; false when it is missing, unreadable or not a service configuration.
  static bool Load(const CString& path, ServiceConfig& config);

  // Every provider of every group, in listing order.
  std::vector<ProviderConfig> AllProviders() const;

  // Whether both list the same category groups and providers in the same order.
  bool SameCategories(const ServiceConfig& other) const;
};

// Reads a numeric zone offset ("+08:00", "-0500", "UTC+8", "Z"); false when the text is none.
bool ParseZoneOffset(const std::string& text, int& offsetSeconds);

}  // namespace newssvc
