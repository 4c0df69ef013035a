// CFeedCatalog: the configuration and the items of every configured feed. Poll re-reads what changed on
// disk (the configuration file and each feed, judged by modification time and size) and reports the new
// items; the queries answer from what was read last. Poll runs on one thread at a time and reads files
// without holding the catalog's lock, so queries are never held up by parsing. Feeds whose source is an
// http(s) URL are fetched by a CFeedFetcher on its own thread: Poll only starts the fetches that are due,
// and TakeFetched (on the polling thread, after the fetcher's signal) reads what arrived.
//
// With an archive attached, new items are committed to it, which numbers them, before the queries can see
// them and before Poll and TakeFetched return (so before the session reports them); items an earlier
// session archived are not new again, nor items past the retention period, and the queries answer from
// the archive. When the archive cannot be written, new items are numbered from kFirstMemorySerial, served
// from memory and reported all the same, and written (taking the archive's numbers) when it can be; when
// it cannot be read, the queries answer from memory.
// The archive also keeps each feed's state (validators, moved URL, failures), which the fetcher gets back
// at the first poll after a restart.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "libs/newssvc/FeedFetcher.h"
#include "libs/newssvc/FeedState.h"
#include "libs/newssvc/HeadlineRecord.h"
#include "libs/newssvc/ItemStore.h"
#include "libs/newssvc/NewsHeadline.h"
#include "libs/newssvc/ServiceConfig.h"
#include "libs/newssvc/archive/NewsArchive.h"
#include "port/CString.h"
#include "port/Mutex.h"

namespace newssvc {

// One new item as a change report needs it.
struct NewItem {
  long date;  // the service's date value, YYYYMMDD
  std::vector<std::string> symbols;
};

struct FeedChange {
  CString providerID;
  std::vector<NewItem> items;
};

struct PollResult {
  bool categoriesChanged = false;
  std::vector<FeedChange> changes;
};

// Which items a headline query wants: one date or all (0), and items tagged with one of the symbols or
// all (empty).
struct HeadlineFilter {
  long date = 0;
  std::vector<std::string> symbols;
};

// A search of the archive: words (UTF-8) as CNewsArchive::Search takes them, providers joined with ","
// (empty: every configured provider), a symbol (empty: any), dates YYYYMMDD in the records' zone (0: open),
// at most `limit` items (0 or more than kMaxItems: kMaxItems).
struct HeadlineSearch {
  std::string words;
  CString providerIDs;
  std::string symbol;
  long fromDate = 0;
  long toDate = 0;
  int limit = 0;
};

class CFeedCatalog {
 public:
  // Status of a query: the provider is configured, or not.
  static constexpr int kOk = 0;
  static constexpr int kUnknownProvider = -1;
  // GetContent: the provider is known but no longer holds the item.
  static constexpr int kNoSuchItem = 1;

  CFeedCatalog(CString configPath, CString feedsFolder);

  // Relative feed sources are read from this folder.
  void SetFeedsFolder(const CString& folder);
  // A fixed zone for the records, overriding the configuration's.
  void SetZoneOverride(int offsetSeconds);

  // Where the catalog writes what went wrong with a feed (fetch, read), one line a call; standard error
  // when none is set. Set before the first poll.
  void SetLog(std::function<void(const std::string&)> log);
  // Fetching over HTTP, set before the first poll: the transfer limits and the signal (on the fetch thread)
  // that fetched feeds wait for TakeFetched.
  void SetHttpLimits(const HttpLimits& limits);
  void SetOnFetched(std::function<void()> onFetched);
  // A poll interval overriding the configuration's (0: the configuration's).
  void SetIntervalOverride(int milliseconds);

  // Reads the configuration; false when it cannot be read.
  bool LoadConfig();
  // The archive to keep items in (not owned; it outlives the catalog). Attach before the first poll.
  void AttachArchive(CNewsArchive* archive);
  // The configuration's archive folder as written (empty: the Config folder) and retention in days.
  CString ArchiveFolder() const;
  int ArchiveDays() const;
  // A feed's state as the archive keeps it; a state set here is written to the archive with the next
  // poll's items.
  FeedState GetFeedState(const CString& providerID) const;
  void SetFeedState(const CString& providerID, const FeedState& state);
  // Re-reads what changed since the last poll (everything when `force`) and starts the fetches that are due;
  // `now` dates items without a date.
  PollResult Poll(bool force, UtcSeconds now);
  // Reads the feeds fetched since the last call.
  PollResult TakeFetched(UtcSeconds now);
  // The fetcher's state of a provider fetched from a URL; false for other providers.
  bool GetFetchState(const CString& providerID, FeedState& state) const;
  // Puts back a state saved earlier (validators, moved URL, next poll, failures, gone), after LoadConfig;
  // false unless the provider's source is a URL. The caller restores only what it saved for that source.
  bool RestoreFeedState(const CString& providerID, const FeedState& state);
  FetchTraffic Traffic() const;

  int PollMilliseconds() const;
  RecordZone Zone() const;
  std::vector<CString> ProviderIDs() const;
  int CategoryCount() const;
  bool GetCategory(int index, CategoryGroup& group) const;
  bool HasProvider(const CString& providerID) const;
  // The service's date value of the provider's newest item; 0 when it has none.
  long LatestDate(const CString& providerID) const;

  // Records of every listed provider ("," between IDs) that pass the filter, provider by provider, each
  // newest first. kUnknownProvider when no listed provider is configured.
  int GetHeadlines(const CString& providerIDs, const HeadlineFilter& filter, std::vector<NewsHeadline>& list) const;
  int GetContent(const CString& providerID, long key1, CString& content) const;
  // The archive's items that match the search, newest first, each record with its snippet; kNoSuchItem when
  // the archive cannot be read (items only in memory are not searched).
  int Search(const HeadlineSearch& search, std::vector<NewsHeadline>& list) const;

 private:
  struct FileStamp {
    bool exists = false;
    std::uintmax_t size = 0;
    std::int64_t modified = 0;
    bool operator==(const FileStamp& other) const {
      return exists == other.exists && size == other.size && modified == other.modified;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
  };
  struct Feed {
    ProviderConfig config;
    CItemStore store;
    FileStamp stamp;
    bool everRead = false;
    bool archiveSynced = false;  // state and last serial taken over from the archive
    long syncedSerial = 0;       // the archive's last serial then: items numbered after it are new here too
    long lastSerial = 0;         // the highest serial the archive gave the feed, as far as this process knows
    long memorySerials = 0;      // serials this process gave while the archive could not be written
    // New items waiting to be written, oldest first; those with a serial are in the store already.
    std::vector<ArchiveItem> unarchived;
    FeedState state;
    bool stateDirty = false;  // state changed since it was last written
  };
  struct Source {
    CString providerID;
    CString path;
    FileStamp stamp;
    bool everRead;
    bool archiveSynced;
    int minPollSeconds;
  };

  static FileStamp Stamp(const CString& path);
  bool ReloadConfigIfChanged(bool force);
  void AdoptConfig(ServiceConfig config) REQUIRES(m_mtx);
  std::vector<Source> Sources() const EXCLUDES(m_mtx);
  // The fetcher, made when there is none yet.
  CFeedFetcher& Fetcher() EXCLUDES(m_mtx);
  // The fetcher, or null before the first URL source made it.
  CFeedFetcher* ExistingFetcher() const EXCLUDES(m_mtx);
  void ReadFetched(CFeedFetcher& fetcher, std::vector<FetchedFeed> fetched, UtcSeconds now) EXCLUDES(m_mtx);
  void NoteFetchState(const CString& providerID);
  CString ResolvePath(const CString& source) const REQUIRES(m_mtx);
  void TagSymbols(std::vector<FeedItem>& items) const;
  // `stamp` is the file's, or null for a fetched feed, whose state the fetcher keeps.
  void Merge(const CString& providerID, const FileStamp* stamp, const std::vector<FeedItem>* items, UtcSeconds now)
      EXCLUDES(m_mtx);
  RecordZone ZoneLocked() const REQUIRES(m_mtx);
  void Log(const std::string& line) const;
  const Feed* FindFeed(const CString& providerID) const REQUIRES(m_mtx);

  // The archive's part (FeedCatalogArchive.cpp).
  void SyncWithArchive(const CString& providerID, const CString& source);
  void DropArchived(const CString& providerID, long upTo, UtcSeconds now, std::vector<FeedItem>& items) const;
  static void QueueForArchive(Feed& feed, const std::vector<FeedItem>& items, UtcSeconds now);
  static void NoteFileState(Feed& feed, const FileStamp& stamp, bool readable);
  void FlushToArchive(PollResult& result);
  void TakeIn(Feed& feed, const ArchiveBatch& written, bool stored, FeedChange& change) const REQUIRES(m_mtx);
  bool CollectHeadlines(const CString& providerID, const HeadlineFilter& filter, std::vector<StoredItem>& items,
                        RecordZone& zone) const;
  bool QueryArchive(const CString& providerID, const HeadlineFilter& filter, const RecordZone& zone,
                    std::vector<StoredItem>& items) const;
  bool FindArchived(const CString& providerID, long serial, StoredItem& item) const;

  const CString m_strConfigPath;
  mutable port::Mutex m_mtx;
  CString m_strFeedsFolder GUARDED_BY(m_mtx);
  ServiceConfig m_config GUARDED_BY(m_mtx);
  FileStamp m_configStamp GUARDED_BY(m_mtx);
  bool m_bZoneOverride GUARDED_BY(m_mtx) = false;
  int m_nZoneOverride GUARDED_BY(m_mtx) = 0;
  std::map<CString, Feed> m_feeds GUARDED_BY(m_mtx);
  // Set by AttachArchive before the catalog is shared with another thread, and not changed after.
  CNewsArchive* m_pArchive = nullptr;
  std::map<std::string, FeedState> m_archivedStates GUARDED_BY(m_mtx);  // as the archive held them when attached
  std::function<void(const std::string&)> m_log GUARDED_BY(m_mtx);
  int m_nIntervalOverride GUARDED_BY(m_mtx) = 0;
  HttpLimits m_httpLimits GUARDED_BY(m_mtx);
  std::function<void()> m_onFetched GUARDED_BY(m_mtx);
  // Made by the polling thread with the first URL source and published under the lock; lives as long as the
  // catalog, so a pointer read under the lock may be used after it is released.
  std::unique_ptr<CFeedFetcher> m_fetcher GUARDED_BY(m_mtx);
};

}  // namespace newssvc
