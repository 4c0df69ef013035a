#include "libs/newssvc/source/FeedScheduler.h"

#include <map>

#include "libs/newssvc/common/FeedUrl.h"

namespace newssvc {

CFeedScheduler::CFeedScheduler(Log log) : m_log(std::move(log)) {}

void CFeedScheduler::SetHttpLimits(const HttpLimits& limits) {
  port::MutexLock lock(m_mtx);
  m_httpLimits = limits;
}

void CFeedScheduler::SetOnFetched(std::function<void()> onFetched) {
  port::MutexLock lock(m_mtx);
  m_onFetched = std::move(onFetched);
}

void CFeedScheduler::Follow(const ServiceSnapshot& snapshot) {
  std::map<CString, const Watch*> before;
  for (const Watch& old : m_watches) before.emplace(old.providerID, &old);
  std::vector<Watch> watches;
  std::vector<CString> urlFeeds;
  watches.reserve(snapshot.Providers().size());
  for (const ProviderConfig& provider : snapshot.Providers()) {
    Watch watch{provider.id, provider.source, IsHttpUrl(provider.source.str()), {}, false};
    const auto old = before.find(provider.id);
    if (old != before.end()) {
      watch.stamp = old->second->stamp;
      watch.everRead = old->second->everRead && old->second->source == provider.source;
    }
    if (watch.url) urlFeeds.push_back(provider.id);
    watches.push_back(std::move(watch));
  }
  m_watches = std::move(watches);
  if (CFeedFetcher* fetcher = ExistingFetcher()) fetcher->Retain(urlFeeds);
}

void CFeedScheduler::Poll(const ServiceSnapshot& snapshot, bool force, std::vector<DueFile>& due) {
  due.clear();
  CFeedFetcher* fetcher = nullptr;
  FetchSchedule schedule;
  schedule.intervalMs = snapshot.IntervalMilliseconds();
  for (std::size_t i = 0; i < m_watches.size(); ++i) {
    Watch& watch = m_watches[i];
    const CString& path = snapshot.ResolvedSource(i);
    if (watch.url) {
      if (!fetcher) fetcher = &Fetcher(snapshot.Config().logFetches);
      schedule.minPollSeconds = snapshot.Providers()[i].minPollSeconds;
      fetcher->PollFeed(watch.providerID, path.str(), schedule);
      continue;
    }
    const FileStamp stamp = FileStamp::Of(path);
    if (!force && watch.everRead && stamp == watch.stamp) continue;
    watch.stamp = stamp;
    watch.everRead = true;
    due.push_back({watch.providerID, path, stamp});
  }
}

// Made outside the lock, since the fetcher starts its client's thread, and published under it.
CFeedFetcher& CFeedScheduler::Fetcher(bool logEveryFetch) {
  CFeedFetcher* fetcher = ExistingFetcher();
  if (!fetcher) {
    HttpLimits limits;
    std::function<void()> onFetched;
    {
      port::MutexLock lock(m_mtx);
      limits = m_httpLimits;
      onFetched = m_onFetched;
    }
    auto made = std::make_unique<CFeedFetcher>(MakeHttpClient(limits), m_log, std::move(onFetched));
    port::MutexLock lock(m_mtx);
    if (!m_fetcher) m_fetcher = std::move(made);  // one made meanwhile on another thread is kept
    fetcher = m_fetcher.get();
  }
  fetcher->SetLogEveryFetch(logEveryFetch);
  return *fetcher;
}

CFeedFetcher* CFeedScheduler::ExistingFetcher() const {
  port::MutexLock lock(m_mtx);
  return m_fetcher.get();
}

void CFeedScheduler::Restore(const CString& providerID, const std::string& url, const FeedState& state) {
  CFeedFetcher* fetcher = ExistingFetcher();
  (fetcher ? *fetcher : Fetcher(false)).SetState(providerID, url, state);
}

bool CFeedScheduler::FetchState(const CString& providerID, FeedState& state) const {
  CFeedFetcher* fetcher = ExistingFetcher();
  return fetcher && fetcher->GetState(providerID, state);
}

FetchTraffic CFeedScheduler::Traffic() const {
  CFeedFetcher* fetcher = ExistingFetcher();
  return fetcher ? fetcher->Traffic() : FetchTraffic();
}

std::vector<FetchedFeed> CFeedScheduler::TakeFetched() {
  CFeedFetcher* fetcher = ExistingFetcher();
  return fetcher ? fetcher->TakeFetched() : std::vector<FetchedFeed>();
}

void CFeedScheduler::ReportRead(const CString& providerID, bool readable) {
  if (CFeedFetcher* fetcher = ExistingFetcher()) fetcher->ReportRead(providerID, readable);
}

std::vector<std::pair<CString, FeedState>> CFeedScheduler::TakeChangedStates() {
  CFeedFetcher* fetcher = ExistingFetcher();
  return fetcher ? fetcher->TakeChangedStates() : std::vector<std::pair<CString, FeedState>>();
}

}  // namespace newssvc
