#include "libs/newssvc/ingest/FeedCatalog.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "libs/newssvc/parse/FeedCharset.h"
#include "libs/newssvc/parse/FeedReader.h"
#include "libs/newssvc/source/http/HeaderRules.h"
#include "libs/vxutil/XMLHelper.h"
#include "port/CodePage.h"
#include "port/FileRead.h"
#include "port/Path.h"

namespace newssvc {

namespace {

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = text.find(',', start);
    const std::size_t end = comma == std::string::npos ? text.size() : comma;
    if (end > start) parts.push_back(text.substr(start, end - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return parts;
}

bool IsAbsolute(const std::string& path) {
  return (!path.empty() && (path[0] == '/' || path[0] == '\\')) || (path.size() > 1 && path[1] == ':');
}

}  // namespace

CFeedCatalog::CFeedCatalog(CString configPath, CString feedsFolder)
    : m_strConfigPath(std::move(configPath)), m_strFeedsFolder(std::move(feedsFolder)) {}

void CFeedCatalog::SetFeedsFolder(const CString& folder) {
  port::MutexLock lock(m_mtx);
  m_strFeedsFolder = folder;
}

void CFeedCatalog::SetZoneOverride(int offsetSeconds) {
  port::MutexLock lock(m_mtx);
  m_bZoneOverride = true;
  m_nZoneOverride = offsetSeconds;
}

void CFeedCatalog::SetHttpLimits(const HttpLimits& limits) {
  port::MutexLock lock(m_mtx);
  m_httpLimits = limits;
}

void CFeedCatalog::SetOnFetched(std::function<void()> onFetched) {
  port::MutexLock lock(m_mtx);
  m_onFetched = std::move(onFetched);
}

void CFeedCatalog::SetIntervalOverride(int milliseconds) {
  port::MutexLock lock(m_mtx);
  m_nIntervalOverride = milliseconds;
}

bool CFeedCatalog::LoadConfig() {
  const FileStamp stamp = Stamp(m_strConfigPath);
  ServiceConfig config;
  if (!ServiceConfig::Load(m_strConfigPath, config)) return false;
  port::MutexLock lock(m_mtx);
  m_configStamp = stamp;
  AdoptConfig(std::move(config));
  return true;
}

PollResult CFeedCatalog::Poll(bool force, UtcSeconds now) {
  PollResult result;
  result.categoriesChanged = ReloadConfigIfChanged(force);
  std::vector<CString> fetchedIDs;
  for (const Source& source : Sources()) {
    if (!source.archiveSynced) SyncWithArchive(source.providerID, source.path);
    if (IsHttpUrl(source.path.str())) {
      FetchSchedule schedule;
      {
        port::MutexLock lock(m_mtx);
        schedule.intervalMs = m_nIntervalOverride > 0 ? m_nIntervalOverride : m_config.pollMilliseconds;
      }
      schedule.minPollSeconds = source.minPollSeconds;
      NoteFetchState(source.providerID);  // failures since the last poll, which delivered no body
      Fetcher().PollFeed(source.providerID, source.path.str(), schedule);
      fetchedIDs.push_back(source.providerID);
      continue;
    }
    const FileStamp stamp = Stamp(source.path);
    if (!force && source.everRead && stamp == source.stamp) continue;
    // Nothing a feed holds may end the polling thread: a feed that fails in any way is skipped like an
    // unreadable one.
    try {
      std::vector<FeedItem> items;
      bool illFormed = false;
      // A missing, oversized or unreadable feed keeps the items read from it before.
      const bool readable = stamp.exists && stamp.size <= CXMLHelper::kMaxFileSize &&
                            CFeedReader::ReadFile(source.path, items, &illFormed);
      if (readable) TagSymbols(items);
      if (!readable && stamp.exists) Log("feed " + source.path.str() + " cannot be read; its last items are kept");
      if (readable && illFormed) Log("feed " + source.path.str() + " is ill-formed; its readable items are read");
      Merge(source.providerID, &stamp, readable ? &items : nullptr, now);
    } catch (const std::exception& error) {
      Log("feed " + source.path.str() + " skipped: " + error.what());
      Merge(source.providerID, &stamp, nullptr, now);
    }
  }
  if (CFeedFetcher* fetcher = ExistingFetcher()) {
    fetcher->Retain(fetchedIDs);
    ReadFetched(*fetcher, fetcher->TakeFetched(), now);
  }
  FlushToArchive(result);  // the new items, committed, become the changes the caller reports
  return result;
}

void CFeedCatalog::SetLog(std::function<void(const std::string&)> log) {
  port::MutexLock lock(m_mtx);
  m_log = std::move(log);
}

void CFeedCatalog::Log(const std::string& line) const {
  std::function<void(const std::string&)> log;
  {
    port::MutexLock lock(m_mtx);
    log = m_log;
  }
  if (log) {
    log(line);
  } else {
    std::fprintf(stderr, "newssvc: %s\n", line.c_str());
  }
}

PollResult CFeedCatalog::TakeFetched(UtcSeconds now) {
  PollResult result;
  if (CFeedFetcher* fetcher = ExistingFetcher()) ReadFetched(*fetcher, fetcher->TakeFetched(), now);
  FlushToArchive(result);
  return result;
}

void CFeedCatalog::ReadFetched(CFeedFetcher& fetcher, std::vector<FetchedFeed> fetched, UtcSeconds now) {
  for (FetchedFeed& feed : fetched) {
    std::vector<FeedItem> items;
    const bool readable = ReadFetchedFeed(feed.body, feed.charset, items);
    fetcher.ReportRead(feed.providerID, readable);
    if (readable) TagSymbols(items);
    Merge(feed.providerID, nullptr, readable ? &items : nullptr, now);
    NoteFetchState(feed.providerID);
  }
}

// The fetcher's state of a feed, kept for the archive: written when more than its schedule changed.
void CFeedCatalog::NoteFetchState(const CString& providerID) {
  FeedState state;
  if (!GetFetchState(providerID, state)) return;
  port::MutexLock lock(m_mtx);
  const auto feed = m_feeds.find(providerID);
  if (feed == m_feeds.end()) return;
  state.source = feed->second.config.source.str();
  if (state.SameButSchedule(feed->second.state)) return;
  feed->second.state = state;
  feed->second.stateDirty = true;
}

// Made outside the lock, since the fetcher starts its client's thread, and published under it.
CFeedFetcher& CFeedCatalog::Fetcher() {
  HttpLimits limits;
  std::function<void()> onFetched;
  bool logEveryFetch = false;
  CFeedFetcher* fetcher = nullptr;
  {
    port::MutexLock lock(m_mtx);
    limits = m_httpLimits;
    onFetched = m_onFetched;
    logEveryFetch = m_config.logFetches;
    fetcher = m_fetcher.get();
  }
  if (!fetcher) {
    auto made = std::make_unique<CFeedFetcher>(
        MakeHttpClient(limits), [this](const std::string& line) { Log(line); }, std::move(onFetched));
    port::MutexLock lock(m_mtx);
    if (!m_fetcher) m_fetcher = std::move(made);  // one made meanwhile on another thread is kept
    fetcher = m_fetcher.get();
  }
  fetcher->SetLogEveryFetch(logEveryFetch);
  return *fetcher;
}

CFeedFetcher* CFeedCatalog::ExistingFetcher() const {
  port::MutexLock lock(m_mtx);
  return m_fetcher.get();
}

bool CFeedCatalog::GetFetchState(const CString& providerID, FeedState& state) const {
  CFeedFetcher* fetcher = ExistingFetcher();
  return fetcher && fetcher->GetState(providerID, state);
}

bool CFeedCatalog::RestoreFeedState(const CString& providerID, const FeedState& state) {
  std::string url;
  {
    port::MutexLock lock(m_mtx);
    const Feed* feed = FindFeed(providerID);
    if (!feed || !IsHttpUrl(feed->config.source.str())) return false;
    url = feed->config.source.str();
  }
  Fetcher().SetState(providerID, url, state);
  return true;
}

FetchTraffic CFeedCatalog::Traffic() const {
  CFeedFetcher* fetcher = ExistingFetcher();
  return fetcher ? fetcher->Traffic() : FetchTraffic();
}

bool CFeedCatalog::ReloadConfigIfChanged(bool force) {
  const FileStamp stamp = Stamp(m_strConfigPath);
  {
    port::MutexLock lock(m_mtx);
    if (!force && stamp == m_configStamp) return false;
    m_configStamp = stamp;
  }
  ServiceConfig config;
  if (!ServiceConfig::Load(m_strConfigPath, config)) return false;  // a broken file keeps the old settings
  port::MutexLock lock(m_mtx);
  const bool changed = !config.SameCategories(m_config);
  AdoptConfig(std::move(config));
  return changed;
}

// Providers that stay keep their items; a provider whose source changed is read again at the next poll.
void CFeedCatalog::AdoptConfig(ServiceConfig config) {
  std::map<CString, Feed> feeds;
  for (const ProviderConfig& provider : config.AllProviders()) {
    if (feeds.count(provider.id) != 0) continue;
    Feed& feed = feeds[provider.id];
    const auto old = m_feeds.find(provider.id);
    if (old != m_feeds.end()) feed = std::move(old->second);
    if (feed.config.source != provider.source) feed.everRead = false;
    feed.config = provider;
  }
  m_feeds = std::move(feeds);
  m_config = std::move(config);
}

std::vector<CFeedCatalog::Source> CFeedCatalog::Sources() const {
  port::MutexLock lock(m_mtx);
  std::vector<Source> sources;
  for (const ProviderConfig& provider : m_config.AllProviders()) {
    const auto feed = m_feeds.find(provider.id);
    if (feed == m_feeds.end()) continue;
    if (std::any_of(sources.begin(), sources.end(), [&](const Source& s) { return s.providerID == provider.id; }))
      continue;
    sources.push_back({provider.id, ResolvePath(provider.source), feed->second.stamp, feed->second.everRead,
                       !m_pArchive || feed->second.archiveSynced, provider.minPollSeconds});
  }
  return sources;
}

CString CFeedCatalog::ResolvePath(const CString& source) const {
  if (IsAbsolute(source.str()) || IsHttpUrl(source.str()) || m_strFeedsFolder.IsEmpty()) return source;
  return port::JoinPath(m_strFeedsFolder, source);
}

void CFeedCatalog::TagSymbols(std::vector<FeedItem>& items) const {
  std::vector<SymbolWords> symbolWords;
  {
    port::MutexLock lock(m_mtx);
    symbolWords = m_config.symbolWords;
  }
  for (FeedItem& item : items) {
    for (const SymbolWords& symbol : symbolWords) {
      if (std::find(item.symbols.begin(), item.symbols.end(), symbol.symbol) != item.symbols.end()) continue;
      const bool mentioned = std::any_of(symbol.words.begin(), symbol.words.end(), [&](const std::string& word) {
        return item.title.find(word) != std::string::npos || item.description.find(word) != std::string::npos;
      });
      if (mentioned) item.symbols.push_back(symbol.symbol);
    }
  }
}

// Queues the feed's items that are new to this process for the archive; FlushToArchive takes them in.
void CFeedCatalog::Merge(const CString& providerID, const FileStamp* stamp, const std::vector<FeedItem>* items,
                         UtcSeconds now) {
  std::vector<FeedItem> unseen;
  long upTo = 0;
  {
    port::MutexLock lock(m_mtx);
    const auto feed = m_feeds.find(providerID);
    if (feed == m_feeds.end()) return;  // the configuration dropped it meanwhile
    feed->second.everRead = true;
    if (stamp) {
      feed->second.stamp = *stamp;
      NoteFileState(feed->second, *stamp, items != nullptr);
    }
    if (!items) return;
    unseen = feed->second.store.TakeUnseen(*items);
    upTo = feed->second.archiveSynced ? feed->second.syncedSerial : kFirstMemorySerial;
  }
  DropArchived(providerID, upTo, now, unseen);
  port::MutexLock lock(m_mtx);
  const auto feed = m_feeds.find(providerID);
  if (feed == m_feeds.end()) return;
  QueueForArchive(feed->second, unseen, now);
}

CFeedCatalog::FileStamp CFeedCatalog::Stamp(const CString& path) {
  FileStamp stamp;
  port::FileStamp file;
  if (!port::GetFileStamp(path, file)) return stamp;
  stamp.exists = true;
  stamp.size = file.size;
  stamp.modified = file.modified;
  return stamp;
}

int CFeedCatalog::PollMilliseconds() const {
  port::MutexLock lock(m_mtx);
  return m_config.pollMilliseconds;
}

RecordZone CFeedCatalog::Zone() const {
  port::MutexLock lock(m_mtx);
  return ZoneLocked();
}

RecordZone CFeedCatalog::ZoneLocked() const {
  RecordZone zone;
  if (m_bZoneOverride) {
    zone.fixed = true;
    zone.offsetSeconds = m_nZoneOverride;
  } else if (m_config.hasZone) {
    zone.fixed = true;
    zone.offsetSeconds = m_config.zoneOffsetSeconds;
  }
  return zone;
}

std::vector<CString> CFeedCatalog::ProviderIDs() const {
  port::MutexLock lock(m_mtx);
  std::vector<CString> ids;
  for (const ProviderConfig& provider : m_config.AllProviders()) ids.push_back(provider.id);
  return ids;
}

int CFeedCatalog::CategoryCount() const {
  port::MutexLock lock(m_mtx);
  return static_cast<int>(m_config.groups.size());
}

bool CFeedCatalog::GetCategory(int index, CategoryGroup& group) const {
  port::MutexLock lock(m_mtx);
  if (index < 0 || static_cast<std::size_t>(index) >= m_config.groups.size()) return false;
  group = m_config.groups[static_cast<std::size_t>(index)];
  return true;
}

bool CFeedCatalog::HasProvider(const CString& providerID) const {
  port::MutexLock lock(m_mtx);
  return FindFeed(providerID) != nullptr;
}

long CFeedCatalog::LatestDate(const CString& providerID) const {
  UtcSeconds newest = 0;
  bool any = false;
  RecordZone zone;
  {
    port::MutexLock lock(m_mtx);
    const Feed* feed = FindFeed(providerID);
    if (!feed) return 0;
    zone = ZoneLocked();
    if (!feed->store.Items().empty()) {
      newest = feed->store.Items().front().time;
      any = true;
    }
  }
  UtcSeconds archived = 0;
  if (m_pArchive && m_pArchive->Newest(providerID.str(), archived) && archived != 0 && (!any || archived > newest)) {
    newest = archived;
    any = true;
  }
  return any ? DateValue(newest, zone) : 0;
}

int CFeedCatalog::GetHeadlines(const CString& providerIDs, const HeadlineFilter& filter,
                               std::vector<NewsHeadline>& list) const {
  bool anyKnown = false;
  for (const std::string& id : SplitList(providerIDs.str())) {
    const CString providerID(id);
    std::vector<StoredItem> items;
    RecordZone zone;
    if (!CollectHeadlines(providerID, filter, items, zone)) continue;
    anyKnown = true;
    for (const StoredItem& item : items) list.push_back(MakeHeadline(providerID, item, zone));
  }
  return anyKnown ? kOk : kUnknownProvider;
}

int CFeedCatalog::GetContent(const CString& providerID, long key1, CString& content) const {
  {
    port::MutexLock lock(m_mtx);
    const Feed* feed = FindFeed(providerID);
    if (!feed) return kUnknownProvider;
    const StoredItem* item = feed->store.Find(key1);
    if (item) {
      content = ItemContent(*item);
      return kOk;
    }
  }
  StoredItem archived;
  if (!FindArchived(providerID, key1, archived)) return kNoSuchItem;
  content = ItemContent(archived);
  return kOk;
}

const CFeedCatalog::Feed* CFeedCatalog::FindFeed(const CString& providerID) const {
  const auto it = m_feeds.find(providerID);
  return it == m_feeds.end() ? nullptr : &it->second;
}

}  // namespace newssvc
