// CFeedScheduler: decides, at each poll, which feeds are read: a file feed when its file changed (by size and
// last-write time), a URL feed when the fetcher says it is due. The fetcher alone owns a URL feed's fetch
// state (validators, moved URL, back-off); the scheduler owns the file stamps. Follow and Poll run on the
// service's thread; the fetcher's accessors (Restore, FetchState, Traffic, TakeFetched, ReportRead,
// TakeChangedStates) on any thread. Its lock guards only the fetcher's pointer and what makes the fetcher;
// it is never held while the fetcher is called.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "libs/newssvc/common/FileStamp.h"
#include "libs/newssvc/config/ConfigStore.h"
#include "libs/newssvc/source/FeedFetcher.h"
#include "port/CString.h"
#include "port/Mutex.h"

namespace newssvc {

// A file feed to read now, and its stamp before reading.
struct DueFile {
  CString providerID;
  CString path;
  FileStamp stamp;
};

class CFeedScheduler {
 public:
  using Log = std::function<void(const std::string&)>;

  explicit CFeedScheduler(Log log);

  // Set before the first poll: the transfer limits, and the signal (on the fetch thread) that a fetched body
  // waits for TakeFetched.
  void SetHttpLimits(const HttpLimits& limits) EXCLUDES(m_mtx);
  void SetOnFetched(std::function<void()> onFetched) EXCLUDES(m_mtx);

  // Takes the snapshot's providers as the ones to poll: a provider whose source changed is read again, the
  // fetcher forgets those that left.
  void Follow(const ServiceSnapshot& snapshot);
  // Starts the fetches that are due and lists in `due` the files to read (all of them when `force`).
  void Poll(const ServiceSnapshot& snapshot, bool force, std::vector<DueFile>& due);

  // Puts back a URL feed's saved state.
  void Restore(const CString& providerID, const std::string& url, const FeedState& state);
  bool FetchState(const CString& providerID, FeedState& state) const;
  FetchTraffic Traffic() const;
  std::vector<FetchedFeed> TakeFetched();
  void ReportRead(const CString& providerID, bool readable);
  std::vector<std::pair<CString, FeedState>> TakeChangedStates();

 private:
  struct Watch {
    CString providerID;
    CString source;  // as configured: a changed one is read again
    bool url = false;
    FileStamp stamp;
    bool everRead = false;
  };

  // The fetcher, made when there is none yet.
  CFeedFetcher& Fetcher(bool logEveryFetch) EXCLUDES(m_mtx);
  // The fetcher, or null before the first URL feed made it.
  CFeedFetcher* ExistingFetcher() const EXCLUDES(m_mtx);

  const Log m_log;
  std::vector<Watch> m_watches;  // by the snapshot's provider order; the service's thread only

  mutable port::Mutex m_mtx;
  HttpLimits m_httpLimits GUARDED_BY(m_mtx);
  std::function<void()> m_onFetched GUARDED_BY(m_mtx);
  // Made with the first URL feed and published under the lock; lives as long as the scheduler, so a pointer
  // read under the lock may be used after it is released.
  std::unique_ptr<CFeedFetcher> m_fetcher GUARDED_BY(m_mtx);
};

}  // namespace newssvc
