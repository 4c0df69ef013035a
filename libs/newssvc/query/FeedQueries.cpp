#include "libs/newssvc/query/FeedQueries.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <set>

#include "libs/newssvc/parse/HtmlText.h"
#include "libs/newssvc/query/HeadlineRecord.h"
#include "port/CodePage.h"
#include "port/Text.h"

namespace newssvc {

namespace {

bool HasAnySymbol(const StoredItem& item, const std::vector<std::string>& symbols) {
  for (const std::string& symbol : item.symbols)
    if (std::find(symbols.begin(), symbols.end(), symbol) != symbols.end()) return true;
  return false;
}

bool Passes(const StoredItem& item, const HeadlineFilter& filter, const RecordZone& zone) {
  if (filter.date > 0 && DateValue(item.time, zone) != filter.date) return false;
  return filter.symbols.empty() || HasAnySymbol(item, filter.symbols);
}

// The UTC instants [from, to) of a date value (YYYYMMDD) in the zone; all time for 0.
void DayRange(long date, const RecordZone& zone, UtcSeconds& from, UtcSeconds& to) {
  if (date <= 0) {
    from = std::numeric_limits<UtcSeconds>::min();
    to = std::numeric_limits<UtcSeconds>::max();
    return;
  }
  const UtcSeconds midnight = FromCivil(static_cast<int>(date / 10000), static_cast<int>(date / 100 % 100),
                                        static_cast<int>(date % 100), 0, 0, 0);
  // The zone's offset near that midnight; a wider window is then cut by the exact date test.
  from = midnight - zone.OffsetAt(midnight) - 3600;
  to = midnight + 86400 - zone.OffsetAt(midnight + 86400) + 3600;
}

void NewestFirst(std::vector<StoredItem>& items) {
  std::sort(items.begin(), items.end(), [](const StoredItem& a, const StoredItem& b) {
    return a.time != b.time ? a.time > b.time : a.serial > b.serial;
  });
}

}  // namespace

int CFeedQueries::GetHeadlines(const CString& providerIDs, const HeadlineFilter& filter,
                               std::vector<NewsHeadline>& list) const {
  const std::shared_ptr<const ServiceSnapshot> snapshot = m_config.Current();
  const RecordZone zone = snapshot->Zone();
  bool anyKnown = false;
  for (const std::string& id : port::SplitList(providerIDs.str())) {
    const CString providerID(id);
    if (!snapshot->HasProvider(providerID)) continue;
    anyKnown = true;
    std::vector<StoredItem> items;
    CollectHeadlines(providerID, filter, zone, items);
    for (const StoredItem& item : items) list.push_back(MakeHeadline(providerID, item, zone));
  }
  return anyKnown ? kOk : kUnknownProvider;
}

// The provider's items that pass the filter, newest first, at most kMaxItems: from the archive and the
// items not yet written to it, or from memory alone when the archive cannot be read.
void CFeedQueries::CollectHeadlines(const CString& providerID, const HeadlineFilter& filter, const RecordZone& zone,
                                    std::vector<StoredItem>& items) const {
  // Only memory items not yet written, unless the archive cannot be read.
  const auto fromMemory = [&](bool all) {
    m_memory.Collect(
        providerID,
        [&](const StoredItem& item) {
          return (all || item.serial >= kFirstMemorySerial) && Passes(item, filter, zone);
        },
        items);
  };
  fromMemory(!m_pArchive);
  if (m_pArchive) {
    std::vector<StoredItem> archived;
    if (QueryArchive(providerID, filter, zone, archived)) {
      // An item written since memory was read comes once, under the archive's serial: the service thread
      // may not have renumbered it in memory yet, and a list read after the write must show the new number.
      std::set<std::string> unwritten;  // by key; memory holds few items back, the archive many
      for (const StoredItem& item : items) unwritten.insert(item.key);
      for (const StoredItem& item : archived) unwritten.erase(item.key);
      items.erase(std::remove_if(items.begin(), items.end(),
                                 [&](const StoredItem& item) { return unwritten.count(item.key) == 0; }),
                  items.end());
      items.insert(items.end(), std::make_move_iterator(archived.begin()), std::make_move_iterator(archived.end()));
    } else {
      items.clear();
      fromMemory(true);
    }
  }
  NewestFirst(items);
  if (items.size() > CItemStore::kMaxItems) items.resize(CItemStore::kMaxItems);
}

int CFeedQueries::Search(const HeadlineSearch& search, std::vector<NewsHeadline>& list) const {
  ArchiveSearch query;
  const std::shared_ptr<const ServiceSnapshot> snapshot = m_config.Current();
  const std::vector<std::string> listed = port::SplitList(search.providerIDs.str());
  for (const ProviderConfig& provider : snapshot->Providers())
    if (listed.empty() || std::find(listed.begin(), listed.end(), provider.id.str()) != listed.end())
      query.providers.push_back(provider.id.str());
  if (query.providers.empty()) return listed.empty() ? kOk : kUnknownProvider;
  const RecordZone zone = snapshot->Zone();
  UtcSeconds unused = 0;
  DayRange(search.fromDate, zone, query.from, unused);
  DayRange(search.toDate, zone, unused, query.to);
  query.words = search.words;
  query.symbol = search.symbol;
  const int most = static_cast<int>(CItemStore::kMaxItems);
  query.limit = search.limit > 0 && search.limit < most ? search.limit : most;
  std::vector<SearchHit> hits;
  if (!m_pArchive || !m_pArchive->Search(query, hits)) return kNoSuchItem;
  for (const SearchHit& hit : hits) {
    const long date = DateValue(hit.item.published, zone);
    if ((search.fromDate > 0 && date < search.fromDate) || (search.toDate > 0 && date > search.toDate)) continue;
    list.push_back(MakeHeadline(CString(hit.provider), FromArchive(hit.item), zone, port::Big5FromUtf8(hit.snippet)));
  }
  return kOk;
}

bool CFeedQueries::QueryArchive(const CString& providerID, const HeadlineFilter& filter, const RecordZone& zone,
                                std::vector<StoredItem>& items) const {
  ArchiveQuery query;
  query.provider = providerID.str();
  query.limit = static_cast<int>(CItemStore::kMaxItems);
  DayRange(filter.date, zone, query.from, query.to);
  std::vector<ArchiveItem> rows;
  if (filter.symbols.empty()) {
    if (!m_pArchive->Query(query, rows)) return false;
  } else {
    for (const std::string& symbol : filter.symbols) {
      query.symbol = symbol;
      if (!m_pArchive->Query(query, rows)) return false;
    }
  }
  std::set<long> seen;  // an item tagged with two of the symbols comes once
  for (const ArchiveItem& row : rows) {
    if (!seen.insert(row.serial).second) continue;
    StoredItem item = FromArchive(row);
    if (filter.date > 0 && DateValue(item.time, zone) != filter.date) continue;
    items.push_back(std::move(item));
  }
  return true;
}

int CFeedQueries::GetContent(const CString& providerID, long key1, CString& content) const {
  if (!m_config.Current()->HasProvider(providerID)) return kUnknownProvider;
  StoredItem item;
  if (!m_memory.Find(providerID, key1, item) && !FindArchived(providerID, key1, item)) return kNoSuchItem;
  content = ItemContent(item);
  return kOk;
}

bool CFeedQueries::FindArchived(const CString& providerID, long serial, StoredItem& item) const {
  ArchiveItem archived;
  bool found = false;
  if (!m_pArchive || !m_pArchive->Find(providerID.str(), serial, archived, found) || !found) return false;
  // Content an earlier version archived uncleaned is cleaned when it is read; clean content comes through.
  archived.description = CleanHtml(archived.description, archived.link);
  item = FromArchive(archived);
  return true;
}

long CFeedQueries::LatestDate(const CString& providerID) const {
  const std::shared_ptr<const ServiceSnapshot> snapshot = m_config.Current();
  if (!snapshot->HasProvider(providerID)) return 0;
  UtcSeconds newest = 0;
  bool any = m_memory.Newest(providerID, newest);
  UtcSeconds archived = 0;
  if (m_pArchive && m_pArchive->Newest(providerID.str(), archived) && archived != 0 && (!any || archived > newest)) {
    newest = archived;
    any = true;
  }
  return any ? DateValue(newest, snapshot->Zone()) : 0;
}

}  // namespace newssvc
