#include "libs/newssvc/ingest/FeedIngest.h"

#include <algorithm>
#include <set>

#include "libs/newssvc/common/FeedUrl.h"
#include "libs/newssvc/parse/HtmlText.h"

namespace newssvc {

namespace {

// New items waiting for the archive, per feed, beyond which the oldest are no longer kept for it.
constexpr std::size_t kMaxUnarchived = 5 * CItemStore::kMaxItems;

void TagSymbols(std::vector<FeedItem>& items, const std::vector<SymbolWords>& symbols) {
  for (FeedItem& item : items) {
    for (const SymbolWords& symbol : symbols) {
      if (std::find(item.symbols.begin(), item.symbols.end(), symbol.symbol) != item.symbols.end()) continue;
      const bool mentioned = std::any_of(symbol.words.begin(), symbol.words.end(), [&](const std::string& word) {
        return item.title.find(word) != std::string::npos || item.description.find(word) != std::string::npos;
      });
      if (mentioned) item.symbols.push_back(symbol.symbol);
    }
  }
}

// The items in the archive's form: the one place where a read item is converted.
void Queue(const std::vector<FeedItem>& items, UtcSeconds now, std::vector<ArchiveItem>& queue) {
  for (const FeedItem& source : items) {
    ArchiveItem item;
    item.key = source.IdentityKey();
    item.published = source.hasDate ? source.published : now;
    item.firstSeen = now;
    item.title = EscapeHtml(source.title);
    item.link = source.link;
    item.description = source.description;
    item.symbols = source.symbols;
    queue.push_back(std::move(item));
  }
}

}  // namespace

void CFeedIngest::AttachArchive(CNewsArchive* archive) {
  m_pArchive = archive;
  m_archivedStates.clear();
  if (archive) archive->LoadFeedStates(m_archivedStates);
}

void CFeedIngest::Follow(const ServiceSnapshot& snapshot) {
  std::map<CString, Feed> feeds;
  m_allSynced = true;
  for (const ProviderConfig& provider : snapshot.Providers()) {
    Feed& feed = feeds[provider.id];
    const auto old = m_feeds.find(provider.id);
    if (old != m_feeds.end()) feed = std::move(old->second);
    m_allSynced = m_allSynced && (feed.synced || !m_pArchive);
  }
  m_feeds = std::move(feeds);
  for (auto state = m_pendingStates.begin(); state != m_pendingStates.end();)
    state = snapshot.HasProvider(CString(state->first)) ? std::next(state) : m_pendingStates.erase(state);
}

void CFeedIngest::SyncWithArchive(const ServiceSnapshot& snapshot, const Restore& restore) {
  if (m_allSynced) return;
  m_allSynced = true;
  for (const ProviderConfig& provider : snapshot.Providers()) {
    Feed& feed = m_feeds[provider.id];
    if (feed.synced) continue;
    long lastSerial = 0;
    if (!m_pArchive->LastSerial(provider.id.str(), lastSerial)) {  // tried again at the next poll
      m_allSynced = false;
      continue;
    }
    feed.syncedSerial = lastSerial;
    feed.lastSerial = std::max(feed.lastSerial, lastSerial);
    feed.synced = true;
    const auto state = m_archivedStates.find(provider.id.str());
    if (state == m_archivedStates.end() || m_pendingStates.count(provider.id.str()) != 0) continue;
    const std::string& source = provider.source.str();
    if (IsHttpUrl(source) && state->second.source == source) restore(provider.id, source, state->second);
  }
}

void CFeedIngest::NoteState(const CString& providerID, const FeedState& state) {
  if (!m_pArchive || m_feeds.count(providerID) == 0) return;
  const std::string& id = providerID.str();
  const auto pending = m_pendingStates.find(id);
  const auto archived = m_archivedStates.find(id);
  const FeedState& known = pending != m_pendingStates.end()     ? pending->second
                           : archived != m_archivedStates.end() ? archived->second
                                                                : FeedState();
  if (!state.SameButSchedule(known)) m_pendingStates[id] = state;
}

void CFeedIngest::Take(const CString& providerID, std::vector<FeedItem> items, const std::vector<SymbolWords>& symbols,
                       UtcSeconds now) {
  const auto feed = m_feeds.find(providerID);
  if (feed == m_feeds.end()) return;
  TagSymbols(items, symbols);
  std::vector<FeedItem> unseen = m_memory.TakeUnseen(providerID, items);
  DropArchived(providerID, feed->second.synced ? feed->second.syncedSerial : kFirstMemorySerial, now, unseen);
  Queue(unseen, now, feed->second.unarchived);
}

// Items archived up to serial `upTo` (before this session) are not new, nor items past the retention
// period, which retention would delete; items another process archived since are new here too.
void CFeedIngest::DropArchived(const CString& providerID, long upTo, UtcSeconds now,
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

// Writes the new items and the changed states in one transaction, then takes the new items in under the
// archive's serials and reports them. When the archive cannot be written, they are taken in and reported
// under serials of this process's own, and written (renumbered) with a later commit.
void CFeedIngest::Commit(const RecordZone& zone, std::vector<FeedChange>& changes) {
  std::vector<ArchiveBatch> batches;
  for (const auto& entry : m_feeds)
    if (!entry.second.unarchived.empty())
      batches.push_back({entry.first.str(), entry.second.unarchived, entry.second.lastSerial});
  if (batches.empty() && m_pendingStates.empty()) return;
  const bool stored = m_pArchive && m_pArchive->Store(batches, m_pendingStates);
  for (const ArchiveBatch& batch : batches) {
    const CString providerID(batch.provider);
    FeedChange change{providerID, {}};
    TakeIn(providerID, m_feeds[providerID], batch, stored, zone, change);
    if (!change.items.empty()) changes.push_back(std::move(change));
  }
  if (!stored) return;
  for (auto& state : m_pendingStates) m_archivedStates[state.first] = std::move(state.second);
  m_pendingStates.clear();
}

// The feed's queued items as `written` (the first of them, in order) left them: the new ones join memory and
// the change; those in memory already take the archive's serials when `stored`.
void CFeedIngest::TakeIn(const CString& providerID, Feed& feed, const ArchiveBatch& written, bool stored,
                         const RecordZone& zone, FeedChange& change) {
  std::vector<StoredItem> added;
  std::vector<std::pair<std::string, long>> renumbered;
  for (std::size_t i = 0; i < written.items.size(); ++i) {
    ArchiveItem& queued = feed.unarchived[i];
    const bool inMemory = queued.serial != 0;
    if (stored) {
      feed.lastSerial = std::max(feed.lastSerial, written.items[i].serial);
      if (inMemory) renumbered.emplace_back(queued.key, written.items[i].serial);
      queued.serial = written.items[i].serial;  // the number memory takes it under below
    } else if (!inMemory) {
      queued.serial = (m_pArchive ? kFirstMemorySerial : 0) + ++feed.memorySerials;
    }
    if (inMemory) continue;
    added.push_back(FromArchive(queued));
    change.items.push_back({DateValue(queued.published, zone), queued.symbols});
  }
  m_memory.Update(providerID, renumbered, std::move(added));
  auto& waiting = feed.unarchived;
  const std::size_t drop = stored || !m_pArchive             ? written.items.size()
                           : waiting.size() > kMaxUnarchived ? waiting.size() - kMaxUnarchived
                                                             : 0;
  waiting.erase(waiting.begin(), waiting.begin() + static_cast<std::ptrdiff_t>(drop));
}

}  // namespace newssvc
