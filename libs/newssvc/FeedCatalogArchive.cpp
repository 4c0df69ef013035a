// CFeedCatalog's part that works with the archive: taking over feed states from it, writing new items to it
// before they are taken in (the archive numbers them), keeping them in memory while it cannot be written,
// and answering queries from it together with what is not yet written.
#include <algorithm>
#include <limits>
#include <set>
#include <sstream>

#include "libs/newssvc/FeedCatalog.h"
#include "libs/newssvc/HtmlText.h"
#include "libs/newssvc/http/HeaderRules.h"
#include "port/CodePage.h"

namespace newssvc {

namespace {

// New items waiting for the archive, per feed, beyond which the oldest are no longer kept for it.
constexpr std::size_t kMaxUnarchived = 5 * CItemStore::kMaxItems;

bool HasAnySymbol(const StoredItem& item, const std::vector<std::string>& symbols) {
  for (const std::string& symbol : item.symbols)
    if (std::find(symbols.begin(), symbols.end(), symbol) != symbols.end()) return true;
  return false;
}

bool Passes(const StoredItem& item, const HeadlineFilter& filter, const RecordZone& zone) {
  if (filter.date > 0 && DateValue(item.time, zone) != filter.date) return false;
  return filter.symbols.empty() || HasAnySymbol(item, filter.symbols);
}

// The archive holds a title as HTML (text escaped), and earlier versions wrote titles as the feed gave them:
// both read back as their text.
StoredItem FromArchive(const ArchiveItem& archived) {
  StoredItem item;
  item.key = archived.key;
  item.serial = archived.serial;
  item.time = archived.published;
  item.title = port::Big5FromUtf8(HtmlToText(archived.title));
  item.link = port::Big5FromUtf8(archived.link);
  item.description = port::Big5FromUtf8(archived.description);
  item.symbols = archived.symbols;
  return item;
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

void CFeedCatalog::AttachArchive(CNewsArchive* archive) {
  std::map<std::string, FeedState> states;
  if (archive) archive->LoadFeedStates(states);
  port::MutexLock lock(m_mtx);
  m_pArchive = archive;
  m_archivedStates = std::move(states);
}

CString CFeedCatalog::ArchiveFolder() const {
  port::MutexLock lock(m_mtx);
  return m_config.archiveFolder;
}

int CFeedCatalog::ArchiveDays() const {
  port::MutexLock lock(m_mtx);
  return m_config.archiveDays;
}

FeedState CFeedCatalog::GetFeedState(const CString& providerID) const {
  port::MutexLock lock(m_mtx);
  const Feed* feed = FindFeed(providerID);
  return feed ? feed->state : FeedState();
}

void CFeedCatalog::SetFeedState(const CString& providerID, const FeedState& state) {
  port::MutexLock lock(m_mtx);
  const auto feed = m_feeds.find(providerID);
  if (feed == m_feeds.end() || feed->second.state == state) return;
  feed->second.state = state;
  feed->second.stateDirty = true;
}

// Notes the archive's last serial (items numbered after it were archived during this session) and takes
// over the state the feed had in the last session; a fetched feed's state goes back to the fetcher when it
// belongs to the source configured now.
void CFeedCatalog::SyncWithArchive(const CString& providerID, const CString& source) {
  long lastSerial = 0;
  if (!m_pArchive->LastSerial(providerID.str(), lastSerial)) return;  // tried again at the next poll
  FeedState restored;
  {
    port::MutexLock lock(m_mtx);
    const auto feed = m_feeds.find(providerID);
    if (feed == m_feeds.end()) return;
    feed->second.syncedSerial = lastSerial;
    feed->second.lastSerial = std::max(feed->second.lastSerial, lastSerial);
    feed->second.archiveSynced = true;
    const auto state = m_archivedStates.find(providerID.str());
    if (state == m_archivedStates.end() || feed->second.stateDirty) return;
    feed->second.state = state->second;
    restored = state->second;
  }
  if (IsHttpUrl(source.str()) && restored.source == source.str()) RestoreFeedState(providerID, restored);
}

// Items archived up to serial `upTo` (before this session) are not new, nor items past the retention
// period, which retention would delete; items another process archived since are new here too.
void CFeedCatalog::DropArchived(const CString& providerID, long upTo, UtcSeconds now,
                                std::vector<FeedItem>& items) const {
  if (!m_pArchive || items.empty()) return;
  const UtcSeconds oldest = m_pArchive->OldestKept();
  items.erase(std::remove_if(items.begin(), items.end(),
                             [&](const FeedItem& item) { return (item.hasDate ? item.published : now) < oldest; }),
              items.end());
  std::vector<std::string> keys;
  for (const FeedItem& item : items) keys.push_back(item.IdentityKey());
  std::vector<std::string> known;
  if (!m_pArchive->KnownKeys(providerID.str(), keys, known, upTo) || known.empty()) return;
  const std::set<std::string> archived(known.begin(), known.end());
  items.erase(std::remove_if(items.begin(), items.end(),
                             [&](const FeedItem& item) { return archived.count(item.IdentityKey()) != 0; }),
              items.end());
}

void CFeedCatalog::QueueForArchive(Feed& feed, const std::vector<FeedItem>& items, UtcSeconds now) {
  for (const FeedItem& source : items) {
    ArchiveItem item;
    item.key = source.IdentityKey();
    item.published = source.hasDate ? source.published : now;
    item.firstSeen = now;
    item.title = EscapeHtml(source.title);
    item.link = source.link;
    item.description = source.description;
    item.symbols = source.symbols;
    feed.unarchived.push_back(std::move(item));
  }
}

// A file feed's validators are its size and modification time.
void CFeedCatalog::NoteFileState(Feed& feed, const FileStamp& stamp, bool readable) {
  FeedState state = feed.state;
  state.etag = stamp.exists ? std::to_string(stamp.size) : std::string();
  state.lastModified = stamp.exists ? std::to_string(stamp.modified) : std::string();
  state.lastError = readable ? std::string() : stamp.exists ? "cannot read the feed" : "the feed file is missing";
  if (state == feed.state) return;
  feed.state = state;
  feed.stateDirty = true;
}

// Writes the new items and the changed states in one transaction, then takes the new items in under the
// archive's serials and reports them. When the archive cannot be written, they are taken in and reported
// under serials of this process's own, and written (renumbered) with a later poll.
void CFeedCatalog::FlushToArchive(PollResult& result) {
  std::vector<ArchiveBatch> batches;
  std::map<std::string, FeedState> states;
  {
    port::MutexLock lock(m_mtx);
    for (const auto& entry : m_feeds) {
      if (!entry.second.unarchived.empty())
        batches.push_back({entry.first.str(), entry.second.unarchived, entry.second.lastSerial});
      if (entry.second.stateDirty) states[entry.first.str()] = entry.second.state;
    }
  }
  if (batches.empty() && states.empty()) return;
  const bool stored = m_pArchive && m_pArchive->Store(batches, states);
  port::MutexLock lock(m_mtx);
  for (const ArchiveBatch& batch : batches) {
    const auto feed = m_feeds.find(CString(batch.provider));
    if (feed == m_feeds.end()) continue;  // the configuration dropped it meanwhile
    FeedChange change{feed->first, {}};
    TakeIn(feed->second, batch, stored, change);
    if (!change.items.empty()) result.changes.push_back(std::move(change));
  }
  for (const auto& entry : states) {
    const auto feed = m_feeds.find(CString(entry.first));
    if (stored && feed != m_feeds.end() && feed->second.state == entry.second) feed->second.stateDirty = false;
  }
}

// The feed's queued items as `written` (the first of them, in order) left them: the new ones join the store
// and the change; those in the store already take the archive's serials when `stored`.
void CFeedCatalog::TakeIn(Feed& feed, const ArchiveBatch& written, bool stored, FeedChange& change) const {
  const RecordZone zone = ZoneLocked();
  std::vector<StoredItem> added;
  for (std::size_t i = 0; i < written.items.size(); ++i) {
    ArchiveItem& queued = feed.unarchived[i];
    const bool inStore = queued.serial != 0;
    if (stored) {
      feed.lastSerial = std::max(feed.lastSerial, written.items[i].serial);
      if (inStore) feed.store.Renumber(queued.key, written.items[i].serial);
      queued.serial = written.items[i].serial;  // the number the store takes it under below
    } else if (!inStore) {
      queued.serial = (m_pArchive ? kFirstMemorySerial : 0) + ++feed.memorySerials;
    }
    if (inStore) continue;
    added.push_back(FromArchive(queued));
    change.items.push_back({DateValue(queued.published, zone), queued.symbols});
  }
  feed.store.Add(std::move(added));
  auto& waiting = feed.unarchived;
  const std::size_t drop = stored || !m_pArchive             ? written.items.size()
                           : waiting.size() > kMaxUnarchived ? waiting.size() - kMaxUnarchived
                                                             : 0;
  waiting.erase(waiting.begin(), waiting.begin() + static_cast<std::ptrdiff_t>(drop));
}

// The provider's items that pass the filter, newest first, at most kMaxItems: from the archive and the
// items not yet written to it, or from memory alone when the archive cannot be read.
bool CFeedCatalog::CollectHeadlines(const CString& providerID, const HeadlineFilter& filter,
                                    std::vector<StoredItem>& items, RecordZone& zone) const {
  // Only memory items not yet written, unless the archive cannot be read.
  const auto fromMemory = [&](bool all) {
    port::MutexLock lock(m_mtx);
    const Feed* feed = FindFeed(providerID);
    if (!feed) return false;
    zone = ZoneLocked();
    for (const StoredItem& item : feed->store.Items())
      if ((all || item.serial >= kFirstMemorySerial) && Passes(item, filter, zone)) items.push_back(item);
    return true;
  };
  if (!fromMemory(!m_pArchive)) return false;
  if (m_pArchive) {
    std::vector<StoredItem> archived;
    if (QueryArchive(providerID, filter, zone, archived)) {
      std::set<std::string> pending;  // by key: one may have been written (and renumbered) meanwhile
      for (const StoredItem& item : items) pending.insert(item.key);
      for (StoredItem& item : archived)
        if (pending.count(item.key) == 0) items.push_back(std::move(item));
    } else {
      items.clear();
      fromMemory(true);
    }
  }
  NewestFirst(items);
  if (items.size() > CItemStore::kMaxItems) items.resize(CItemStore::kMaxItems);
  return true;
}

bool CFeedCatalog::QueryArchive(const CString& providerID, const HeadlineFilter& filter, const RecordZone& zone,
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

int CFeedCatalog::Search(const HeadlineSearch& search, std::vector<NewsHeadline>& list) const {
  ArchiveSearch query;
  std::set<std::string> listed;
  std::stringstream ids(search.providerIDs.str());
  for (std::string id; std::getline(ids, id, ',');)
    if (!id.empty()) listed.insert(id);
  for (const CString& id : ProviderIDs())
    if (listed.empty() || listed.count(id.str()) > 0) query.providers.push_back(id.str());
  if (query.providers.empty()) return listed.empty() ? kOk : kUnknownProvider;
  const RecordZone zone = Zone();
  UtcSeconds unused = 0;
  DayRange(search.fromDate, zone, query.from, unused);
  DayRange(search.toDate, zone, unused, query.to);
  query.words = search.words;
  query.symbol = search.symbol;
  const int most = static_cast<int>(CItemStore::kMaxItems);
  query.limit = search.limit > 0 && search.limit < most ? search.limit : most;
  std::vector<SearchHit> hits;
  if (!m_pArchive || !m_pArchive->Search(query, hits)) return kNoSuchItem;
  for (const SearchHit& hit : hits)
    list.push_back(MakeHeadline(CString(hit.provider), FromArchive(hit.item), zone, port::Big5FromUtf8(hit.snippet)));
  return kOk;
}

bool CFeedCatalog::FindArchived(const CString& providerID, long serial, StoredItem& item) const {
  ArchiveItem archived;
  bool found = false;
  if (!m_pArchive || !m_pArchive->Find(providerID.str(), serial, archived, found) || !found) return false;
  // Content an earlier version archived uncleaned is cleaned when it is read; clean content comes through.
  archived.description = CleanHtml(archived.description, archived.link);
  item = FromArchive(archived);
  return true;
}

}  // namespace newssvc
