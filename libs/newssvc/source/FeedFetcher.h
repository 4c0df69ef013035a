// CFeedFetcher: fetches the feeds whose source is an http(s) URL, through an IHttpClient, with the manners
// publishers ask of feed readers: conditional GET (ETag, Last-Modified), compressed transfer with a bound on
// what it expands to, an honest User-Agent, at most five redirects (a chain that ends in a good answer moves
// the URL polled to its last permanent hop), no more polling after 410 Gone, Retry-After after 429 and 503,
// exponential back-off with jitter after other failures (reset by a success), and no poll sooner than
// Cache-Control / Expires allow. A body is a success only when the reader could use it (ReportRead).
//
// PollFeed never blocks: fetches run on the client's thread, and a fetched body waits for TakeFetched.
// PollFeed, Retain, TakeFetched and ReportRead are called on the service's thread, the state accessors on
// any thread; the lock guards the feeds' entries, the waiting bodies, the traffic and the pending log lines.
// A failure keeps nothing from the feed's past: the caller keeps its items. Changes of a feed's state are
// logged once each, not once per poll.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "libs/newssvc/source/FeedState.h"
#include "libs/newssvc/source/http/HttpClient.h"
#include "port/CString.h"
#include "port/Mutex.h"

namespace newssvc {

// A feed's poll rhythm: its interval and, when the publisher allows polling sooner than its cache
// headers say, the lower floor (minPollSeconds >= 0).
struct FetchSchedule {
  std::int64_t intervalMs = 5000;
  std::int64_t minPollSeconds = -1;
};

struct FetchedFeed {
  CString providerID;
  std::string body;     // decoded content
  std::string charset;  // from Content-Type; empty when none
};

struct FetchTraffic {
  std::uint64_t exchanges = 0;
  std::uint64_t bytesSent = 0;
  std::uint64_t bytesReceived = 0;
};

class CFeedFetcher {
 public:
  using Log = std::function<void(const std::string&)>;
  static constexpr int kMaxRedirects = 5;
  static constexpr std::int64_t kMaxBackoffMs = 3600 * 1000;

  // `onFetched` runs on the fetch thread when a body starts waiting for TakeFetched.
  CFeedFetcher(std::unique_ptr<IHttpClient> client, Log log, std::function<void()> onFetched);
  ~CFeedFetcher();
  CFeedFetcher(const CFeedFetcher&) = delete;
  CFeedFetcher& operator=(const CFeedFetcher&) = delete;

  // Log every exchange (status, bytes), not only changes of state.
  void SetLogEveryFetch(bool every) EXCLUDES(m_mtx);
  // Starts fetching the feed when it is due and not already being fetched. A changed URL starts afresh.
  void PollFeed(const CString& providerID, const std::string& url, const FetchSchedule& schedule) EXCLUDES(m_mtx);
  // Forgets the feeds not listed.
  void Retain(const std::vector<CString>& providerIDs) EXCLUDES(m_mtx);
  // The bodies fetched since the last call, one per feed (the newest).
  std::vector<FetchedFeed> TakeFetched() EXCLUDES(m_mtx);
  // Whether the reader could use a body TakeFetched gave: an unreadable one is a failure of the feed. The
  // feed's fetch ends here: it is not polled again before.
  void ReportRead(const CString& providerID, bool readable) EXCLUDES(m_mtx);

  // A feed's state; its source is the configured URL.
  bool GetState(const CString& providerID, FeedState& state) const EXCLUDES(m_mtx);
  // Puts back a state saved earlier; it counts as noted.
  void SetState(const CString& providerID, const std::string& configuredUrl, const FeedState& state) EXCLUDES(m_mtx);
  // The states that changed in more than their schedule since they were last noted (or set), now noted.
  std::vector<std::pair<CString, FeedState>> TakeChangedStates() EXCLUDES(m_mtx);
  FetchTraffic Traffic() const EXCLUDES(m_mtx);

 private:
  struct Success {  // a good answer: its headers, and where permanent redirects before it led (empty: nowhere)
    HttpHeaders headers;
    bool notModified = false;
    std::string movedTo;
  };
  struct Entry {
    std::string configuredUrl;
    FetchSchedule schedule;
    FeedState state;
    FeedState noted;  // the state TakeChangedStates last handed out, or SetState put back
    bool inFlight = false;
    std::int64_t startedMs = 0;
    std::string loggedState;        // the state the log last heard of; empty: fine
    std::optional<Success> unread;  // the answer of a body that waits for ReportRead
  };
  struct Exchange {  // one fetch across its redirects
    CString providerID;
    std::string url;
    int hops = 0;
    bool permanentSoFar = true;
    std::string movedTo;  // the last hop of the permanent redirects the chain began with
  };

  void Request(Exchange exchange, const FeedState& state) EXCLUDES(m_mtx);
  void OnResponse(Exchange exchange, HttpResponse response) EXCLUDES(m_mtx);
  void Succeed(const CString& providerID, Entry& entry, const Success& success, std::int64_t nowMs) REQUIRES(m_mtx);
  void Fail(Entry& entry, const std::string& why, std::int64_t retryAfterSeconds, std::int64_t nowMs) REQUIRES(m_mtx);
  void NoteState(const CString& providerID, Entry& entry) REQUIRES(m_mtx);
  std::int64_t Jittered(std::int64_t delayMs, std::int64_t floorMs) REQUIRES(m_mtx);
  static std::int64_t NowMs();

  const Log m_log;
  const std::function<void()> m_onFetched;

  // Never held while the client, the log or onFetched is called, nor while a body is inflated.
  mutable port::Mutex m_mtx;
  std::map<CString, Entry> m_feeds GUARDED_BY(m_mtx);
  std::map<CString, FetchedFeed> m_fetched GUARDED_BY(m_mtx);
  std::vector<std::string> m_pendingLog GUARDED_BY(m_mtx);  // written after the lock is released
  FetchTraffic m_traffic GUARDED_BY(m_mtx);
  std::minstd_rand m_random GUARDED_BY(m_mtx);
  bool m_bLogEveryFetch GUARDED_BY(m_mtx) = false;

  std::unique_ptr<IHttpClient> m_client;
};

}  // namespace newssvc
