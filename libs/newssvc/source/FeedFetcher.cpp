#include "libs/newssvc/source/FeedFetcher.h"

#include <algorithm>
#include <chrono>

#include "libs/newssvc/common/FeedUrl.h"
#include "libs/newssvc/source/http/ContentDecoding.h"
#include "libs/newssvc/source/http/HeaderRules.h"

#ifndef VXRSS_VERSION
#define VXRSS_VERSION "1.0"
#endif

namespace newssvc {

namespace {

const char kUserAgent[] = "vxRSS/" VXRSS_VERSION " (feed reader)";
const char kAccept[] =
    "application/rss+xml, application/atom+xml, application/rdf+xml;q=0.9, application/xml;q=0.9, "
    "text/xml;q=0.9, */*;q=0.5";
// Cache headers and Retry-After may push the next poll this far out at most, whatever a publisher writes.
constexpr std::int64_t kMaxFreshnessSeconds = 24 * 3600;

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

CFeedFetcher::CFeedFetcher(std::unique_ptr<IHttpClient> client, Log log, std::function<void()> onFetched)
    : m_log(std::move(log)),
      m_onFetched(std::move(onFetched)),
      m_random(std::random_device{}()),
      m_client(std::move(client)) {}

// Closed, not reset: a callback running as the fetcher goes may follow a redirect through m_client, which
// reset() would have emptied before the client's thread had ended.
CFeedFetcher::~CFeedFetcher() { m_client->Close(); }

void CFeedFetcher::SetLogEveryFetch(bool every) {
  port::MutexLock lock(m_mtx);
  m_bLogEveryFetch = every;
}

void CFeedFetcher::PollFeed(const CString& providerID, const std::string& url, const FetchSchedule& schedule) {
  FeedState state;
  Exchange exchange;
  {
    port::MutexLock lock(m_mtx);
    Entry& entry = m_feeds[providerID];
    if (entry.configuredUrl != url) {
      entry = Entry();
      entry.configuredUrl = url;
      entry.state.source = url;
      entry.state.url = url;
    }
    entry.schedule = schedule;
    const std::int64_t now = NowMs();
    if (entry.inFlight || entry.state.gone || now < entry.state.nextPollMs) return;
    entry.inFlight = true;
    entry.startedMs = now;
    state = entry.state;
    exchange.providerID = providerID;
    exchange.url = entry.state.url;
  }
  Request(std::move(exchange), state);
}

void CFeedFetcher::Request(Exchange exchange, const FeedState& state) {
  HttpRequest request;
  request.url = exchange.url;
  request.headers = {{"User-Agent", kUserAgent}, {"Accept", kAccept}, {"Accept-Encoding", "gzip, deflate"}};
  if (!state.etag.empty()) request.headers.emplace_back("If-None-Match", state.etag);
  if (!state.lastModified.empty()) request.headers.emplace_back("If-Modified-Since", state.lastModified);
  m_client->Start(std::move(request), [this, exchange](HttpResponse response) mutable {
    OnResponse(std::move(exchange), std::move(response));
  });
}

void CFeedFetcher::OnResponse(Exchange exchange, HttpResponse response) {
  // Inflated before the lock is taken: a large body must not hold up the threads that poll or take bodies.
  FetchedFeed feed;
  const bool bodyCame = response.status == 200 || response.status == 203;
  const DecodeResult decoded = bodyCame ? DecodeContent(HeaderValue(response.headers, "Content-Encoding"),
                                                        response.body, m_client->Limits().maxBody, feed.body)
                                        : DecodeResult::kOk;
  bool fetched = false;
  bool bodyWaiting = false;
  FeedState followState;
  bool follow = false;
  std::vector<std::string> lines;
  {
    port::MutexLock lock(m_mtx);
    ++m_traffic.exchanges;
    m_traffic.bytesSent += response.bytesSent;
    m_traffic.bytesReceived += response.bytesReceived;
    const auto it = m_feeds.find(exchange.providerID);
    if (it == m_feeds.end()) return;  // forgotten meanwhile
    Entry& entry = it->second;
    const std::int64_t now = NowMs();
    const int status = response.status;
    if (m_bLogEveryFetch) {
      m_pendingLog.push_back(exchange.providerID.str() + ": " + exchange.url + " -> " +
                             (status ? std::to_string(status) : response.error) + ", " +
                             std::to_string(response.bytesReceived) + " bytes");
    }
    if (IsRedirect(status) && !HeaderValue(response.headers, "Location").empty()) {
      const std::string target = ResolveWebUrl(exchange.url, HeaderValue(response.headers, "Location"));
      if (exchange.hops >= kMaxRedirects) {
        Fail(entry, "more than " + std::to_string(kMaxRedirects) + " redirects", -1, now);
      } else if (target.empty()) {
        Fail(entry, "redirected to a location that is not http(s)", -1, now);
      } else {
        exchange.permanentSoFar = exchange.permanentSoFar && (status == 301 || status == 308);
        if (exchange.permanentSoFar) exchange.movedTo = target;
        ++exchange.hops;
        exchange.url = target;
        followState = entry.state;
        follow = true;
      }
    } else if (bodyCame) {
      if (decoded == DecodeResult::kOk) {
        feed.providerID = exchange.providerID;
        feed.charset = ContentTypeCharset(response.headers);
        entry.unread = Success{std::move(response.headers), false, exchange.movedTo};
        fetched = m_fetched.empty();
        bodyWaiting = true;
        m_fetched[exchange.providerID] = std::move(feed);
      } else {
        Fail(entry,
             decoded == DecodeResult::kTooLarge  ? "decoded body over the size limit, refused"
             : decoded == DecodeResult::kCorrupt ? "corrupt compressed body"
                                                 : "unknown content encoding",
             -1, now);
      }
    } else if (status == 304) {
      Succeed(exchange.providerID, entry, Success{std::move(response.headers), true, exchange.movedTo}, now);
    } else if (status == 410) {
      entry.state.gone = true;
      entry.inFlight = false;
    } else if (status == 429 || status == 503) {
      Fail(entry, "HTTP " + std::to_string(status),
           std::min(RetryAfterSeconds(response.headers, now / 1000), kMaxFreshnessSeconds), now);
    } else {
      Fail(entry, status ? "HTTP " + std::to_string(status) : response.error, -1, now);
    }
    // A body's state is noted when the reader has read it (ReportRead).
    if (!follow && !bodyWaiting) NoteState(exchange.providerID, entry);
    lines.swap(m_pendingLog);
  }
  if (m_log)
    for (const std::string& line : lines) m_log(line);
  if (follow) Request(std::move(exchange), followState);
  if (fetched && m_onFetched) m_onFetched();
}

void CFeedFetcher::Succeed(const CString& providerID, Entry& entry, const Success& success, std::int64_t nowMs) {
  if (!success.movedTo.empty() && success.movedTo != entry.state.url) {
    m_pendingLog.push_back(providerID.str() + ": moved permanently from " + entry.state.url + " to " + success.movedTo +
                           "; polled there from now on");
    entry.state.url = success.movedTo;
  }
  const std::string etag = HeaderValue(success.headers, "ETag");
  const std::string lastModified = HeaderValue(success.headers, "Last-Modified");
  if (!success.notModified || !etag.empty()) entry.state.etag = etag;
  if (!success.notModified || !lastModified.empty()) entry.state.lastModified = lastModified;
  entry.state.failures = 0;
  entry.state.lastError.clear();
  // A publisher's cache lifetime longer than the interval pushes the next poll out, down to the feed's
  // minPollSeconds where the publisher allows sooner polls.
  std::int64_t freshness = std::min(FreshnessSeconds(success.headers, nowMs / 1000), kMaxFreshnessSeconds);
  if (entry.schedule.minPollSeconds >= 0) freshness = std::min(freshness, entry.schedule.minPollSeconds);
  const std::int64_t delay = std::max(entry.schedule.intervalMs, freshness * 1000);
  entry.state.nextPollMs = entry.startedMs + delay;
  entry.inFlight = false;
}

// Back-off: the interval doubled per failure in a row, up to an hour, less a random quarter so that feeds
// failing together do not return together; Retry-After, when given, is waited at least.
void CFeedFetcher::Fail(Entry& entry, const std::string& why, std::int64_t retryAfterSeconds, std::int64_t nowMs) {
  entry.state.lastError = why;
  entry.state.failures = std::min(entry.state.failures + 1, 30);
  const std::int64_t interval = std::max<std::int64_t>(1, entry.schedule.intervalMs);
  std::int64_t delay = interval;
  for (int i = 1; i < entry.state.failures && delay < kMaxBackoffMs; ++i) delay *= 2;
  delay = Jittered(std::min(delay, kMaxBackoffMs), interval);
  if (retryAfterSeconds >= 0) delay = std::max(delay, retryAfterSeconds * 1000);
  entry.state.nextPollMs = nowMs + delay;
  entry.inFlight = false;
}

std::int64_t CFeedFetcher::Jittered(std::int64_t delayMs, std::int64_t floorMs) {
  std::uniform_int_distribution<std::int64_t> quarter(0, delayMs / 4);
  return std::max(floorMs, delayMs - quarter(m_random));
}

// The log hears of a feed when its state changes: fine -> failing, one failure -> another, failing -> fine.
void CFeedFetcher::NoteState(const CString& providerID, Entry& entry) {
  const std::string state = entry.state.gone ? "gone (410): no longer polled; its items stay" : entry.state.lastError;
  if (state == entry.loggedState) return;
  if (state.empty()) {
    m_pendingLog.push_back(providerID.str() + ": fetched again from " + entry.state.url +
                           " (was: " + entry.loggedState + ")");
  } else {
    m_pendingLog.push_back(providerID.str() + ": " + state + " (" + entry.state.url + "); keeping its last items");
  }
  entry.loggedState = state;
}

void CFeedFetcher::ReportRead(const CString& providerID, bool readable) {
  std::vector<std::string> lines;
  {
    port::MutexLock lock(m_mtx);
    const auto it = m_feeds.find(providerID);
    if (it == m_feeds.end() || !it->second.unread) return;
    Entry& entry = it->second;
    if (readable) {
      Succeed(providerID, entry, *entry.unread, NowMs());
    } else {
      Fail(entry, "the body is not a feed the reader understands", -1, NowMs());
    }
    entry.unread.reset();
    NoteState(providerID, entry);
    lines.swap(m_pendingLog);
  }
  if (m_log)
    for (const std::string& line : lines) m_log(line);
}

void CFeedFetcher::Retain(const std::vector<CString>& providerIDs) {
  // Looked up sorted: the catalog passes every feed at every poll, and a thousand feeds searched one by one
  // took a few milliseconds a poll.
  std::vector<const CString*> kept;
  kept.reserve(providerIDs.size());
  for (const CString& id : providerIDs) kept.push_back(&id);
  const auto byId = [](const CString* a, const CString* b) { return *a < *b; };
  std::sort(kept.begin(), kept.end(), byId);
  port::MutexLock lock(m_mtx);
  for (auto it = m_feeds.begin(); it != m_feeds.end();) {
    if (!std::binary_search(kept.begin(), kept.end(), &it->first, byId)) {
      m_fetched.erase(it->first);
      it = m_feeds.erase(it);
    } else {
      ++it;
    }
  }
}

std::vector<FetchedFeed> CFeedFetcher::TakeFetched() {
  port::MutexLock lock(m_mtx);
  std::vector<FetchedFeed> fetched;
  for (auto& feed : m_fetched) fetched.push_back(std::move(feed.second));
  m_fetched.clear();
  return fetched;
}

bool CFeedFetcher::GetState(const CString& providerID, FeedState& state) const {
  port::MutexLock lock(m_mtx);
  const auto it = m_feeds.find(providerID);
  if (it == m_feeds.end()) return false;
  state = it->second.state;
  return true;
}

void CFeedFetcher::SetState(const CString& providerID, const std::string& configuredUrl, const FeedState& state) {
  port::MutexLock lock(m_mtx);
  Entry& entry = m_feeds[providerID];
  entry.configuredUrl = configuredUrl;
  entry.state = state;
  entry.state.source = configuredUrl;
  if (entry.state.url.empty()) entry.state.url = configuredUrl;
  entry.noted = entry.state;
  entry.loggedState = state.lastError;
}

std::vector<std::pair<CString, FeedState>> CFeedFetcher::TakeChangedStates() {
  std::vector<std::pair<CString, FeedState>> changed;
  port::MutexLock lock(m_mtx);
  for (auto& feed : m_feeds) {
    Entry& entry = feed.second;
    if (entry.state.SameButSchedule(entry.noted)) continue;
    entry.noted = entry.state;
    changed.emplace_back(feed.first, entry.state);
  }
  return changed;
}

FetchTraffic CFeedFetcher::Traffic() const {
  port::MutexLock lock(m_mtx);
  return m_traffic;
}

std::int64_t CFeedFetcher::NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace newssvc
