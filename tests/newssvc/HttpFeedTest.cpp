// Feeds fetched over HTTP from the scripted test server on 127.0.0.1 (FeedTestServer.h), through a real
// session: the manners the server sees (validators, compression, User-Agent, redirects, Retry-After,
// back-off, cache lifetimes), the bounds that refuse hostile answers, the character set rules, and what the
// service then holds and reports. The server's scenarios are in FeedScenarios.cpp, named by file.
#include <gtest/gtest.h>

#include <future>
#include <map>
#include <sstream>

#include "libs/newssvc/source/FeedFetcher.h"
#include "libs/newssvc/source/http/HttpClient.h"
#include "port/Path.h"
#include "tests/newssvc/ServiceFixture.h"

namespace newssvc_test {

// The HTTP test server (FeedTestServer.h) as the fetch tests find it: in the test's own process where the build
// has cpp-httplib (TestServerInProcess.cpp); otherwise (the Windows build under Wine) a process of its own that
// the ctest fixture started and whose URL it wrote to a file (TestServerFixture.cpp). Its base URL, empty when
// there is none.
std::string LaunchTestServer(std::shared_ptr<void>& inProcess);

namespace {

using std::chrono::seconds;

// What the server received, as it lists it for a test run.
struct ReceivedRequest {
  long long atMs = 0;  // since the server started
  std::string path;
  std::map<std::string, std::string> headers;  // lower-case names
};

class HttpFeedTest : public SessionTest {
 protected:
  void SetUp() override { ASSERT_FALSE(m_baseUrl.empty()) << "no HTTP test server"; }

  // The URL of a scenario (FeedTestServer.h) for this test.
  std::string Url(const std::string& name) const { return m_baseUrl + "/s/" + m_run + "/" + name; }
  // What this test's requests were, oldest first; only those for `name` when given. Read over HTTP, with the
  // service's own client, so that it works the same when the server is a process of its own.
  std::vector<ReceivedRequest> Received(const std::string& name = "") const {
    std::promise<std::string> answer;
    std::future<std::string> list = answer.get_future();
    const std::unique_ptr<newssvc::IHttpClient> client = newssvc::MakeHttpClient(newssvc::HttpLimits());
    client->Start({m_baseUrl + "/received/" + m_run, {}},
                  [&answer](newssvc::HttpResponse response) { answer.set_value(response.body); });
    if (list.wait_for(seconds(10)) != std::future_status::ready) return {};
    std::vector<ReceivedRequest> received;
    std::istringstream lines(list.get());
    for (std::string line; std::getline(lines, line);) {
      ReceivedRequest request{std::stoll(line), "", {}};
      std::istringstream fields(line.substr(line.find('\t') + 1));
      std::getline(fields, request.path, '\t');
      for (std::string field; std::getline(fields, field, '\t');)
        request.headers[field.substr(0, field.find(": "))] = field.substr(field.find(": ") + 2);
      if (name.empty() || request.path == "/s/" + m_run + "/" + name) received.push_back(std::move(request));
    }
    return received;
  }
  int Requests(const std::string& name = "") const { return static_cast<int>(Received(name).size()); }
  bool WaitForRequests(int count, const std::string& name = "", seconds timeout = seconds(10)) const {
    return Eventually([&] { return Requests(name) >= count; }, timeout);
  }

  // A session polling every 100 ms whose provider H reads scenario `name` from the server (and providers G,
  // G1, G2, ... the scenarios `others`), with H's state put back from `restore` when given.
  void Connect(const std::string& name, const std::string& providerAttributes = "",
               const std::vector<std::string>& others = {}, const newssvc::FeedState* restore = nullptr) {
    std::string config =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<RSSNewsService pollMilliseconds=\"100\" timeZone=\"+08:00\">"
        "<Category name=\"Web\"><Provider id=\"H\" name=\"H\" source=\"" +
        Url(name) + "\" " + providerAttributes + "/>";
    for (std::size_t i = 0; i < others.size(); ++i) {
      const std::string id = "G" + (i ? std::to_string(i) : std::string());
      config += "<Provider id=\"" + id + "\" name=\"" + id + "\" source=\"" + Url(others[i]) + "\"/>";
    }
    m_folder.Write("RSSNewsSvc.xml", config + "</Category></RSSNewsService>");
    Start("H", [this, name, restore] {
      newssvc::HttpLimits limits;
      limits.connect = limits.stall = seconds(2);
      limits.transfer = seconds(8);
      limits.maxBody = 1 << 20;
      m_session->SetHttpLimits(limits);
      if (restore) m_session->Catalog().Scheduler().Restore("H", Url(name), *restore);
    });
  }

  newssvc::FeedState State() {
    newssvc::FeedState state;
    m_session->Catalog().Scheduler().FetchState("H", state);
    return state;
  }

  std::shared_ptr<void> m_inProcess;  // the server, when it runs in this process
  const std::string m_baseUrl = LaunchTestServer(m_inProcess);
  const std::string m_run = std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
};

// Conditional GET: the validator of the first answer comes back on every later request, in this session and
// the next, and a 304 costs nothing.
struct ValidatorCase {
  const char* scenario;
  const char* requestHeader;  // lower case
  const char* value;
};

class ConditionalGet : public HttpFeedTest, public ::testing::WithParamInterface<ValidatorCase> {};

TEST_P(ConditionalGet, ValidatorIsSentBackAlsoAfterARestartAnd304ReportsNothing) {
  const ValidatorCase c = GetParam();
  Connect(c.scenario);
  ASSERT_TRUE(WaitForRequests(4));
  ASSERT_TRUE(m_sink.WaitFor("provider H 20261205"));
  auto received = Received();
  EXPECT_TRUE(received[0].headers[c.requestHeader].empty());
  for (std::size_t i = 1; i < received.size(); ++i) EXPECT_EQ(received[i].headers[c.requestHeader], c.value) << i;
  EXPECT_EQ(received[0].headers["user-agent"].rfind("vxRSS/", 0), 0u) << received[0].headers["user-agent"];
  EXPECT_NE(received[0].headers["accept-encoding"].find("gzip"), std::string::npos);
  EXPECT_EQ(CountHeadlines("H"), 1);
  EXPECT_EQ(m_sink.Count("provider H 20261205"), 1);

  // The archive keeps the validator, so the first request after a restart is already conditional.
  Stop();
  const int before = Requests();
  Connect(c.scenario);
  ASSERT_TRUE(WaitForRequests(before + 1));
  EXPECT_EQ(Received()[static_cast<std::size_t>(before)].headers[c.requestHeader], c.value);
  EXPECT_EQ(CountHeadlines("H"), 1);  // from the archive: the 304 read nothing
}

INSTANTIATE_TEST_SUITE_P(HttpFeed, ConditionalGet,
                         ::testing::Values(ValidatorCase{"etag.xml", "if-none-match", "\"v1\""},
                                           ValidatorCase{"lastmod.xml", "if-modified-since",
                                                         "Sat, 05 Dec 2026 01:00:00 GMT"}));

TEST_F(HttpFeedTest, ARestoredStateIsPolledAsSaved) {
  newssvc::FeedState saved;
  saved.etag = "\"v0\"";  // stale: answered in full, with ETag "v1" and no Last-Modified
  saved.lastModified = "Mon, 01 Jan 2001 00:00:00 GMT";
  saved.url = Url("etag.xml");
  Connect("moved-away.xml", "", {}, &saved);
  ASSERT_TRUE(WaitForRequests(2));
  EXPECT_EQ(Requests("moved-away.xml"), 0);
  auto received = Received();
  EXPECT_EQ(received[0].headers["if-none-match"] + received[0].headers["if-modified-since"],
            "\"v0\"" + saved.lastModified);
  EXPECT_EQ(received[1].headers.count("if-modified-since"), 0u);  // the answer without one dropped it

  Stop();
  const int before = Requests();
  saved.gone = true;
  Connect("etag.xml", "", {}, &saved);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(Requests(), before);
}

// Answers that turn bad after a good one: each is a failure for back-off that keeps neither the URL it was
// redirected to nor its validators; the feed keeps its items and the log says why once.
struct FailureCase {
  const char* scenario;
  const char* errorHas;
};

class FetchFailure : public HttpFeedTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FetchFailure, KeepsTheLastGoodItemsAndNamesTheFaultOnce) {
  Connect(GetParam().scenario);
  ASSERT_TRUE(Eventually([&] { return State().failures >= 2; }, seconds(20))) << State().lastError;
  const newssvc::FeedState state = State();
  EXPECT_NE(state.lastError.find(GetParam().errorHas), std::string::npos) << state.lastError;
  EXPECT_EQ(state.url, Url(GetParam().scenario));
  EXPECT_EQ(state.etag, "");  // the good answer had none
  EXPECT_EQ(CountHeadlines("H"), 1);
  EXPECT_FALSE(state.gone);
  Stop();
  const std::string log = port::JoinPath(port::JoinPath(port::ExecutableFolder(), "LOG"), "VX_RSSNewsSvc.log").str();
  EXPECT_EQ(LogLines(Url(GetParam().scenario), log), 1);
}

INSTANTIATE_TEST_SUITE_P(HttpFeed, FetchFailure,
                         ::testing::Values(FailureCase{"bomb", "decoded body over the size limit"},
                                           FailureCase{"big", "size limit"}, FailureCase{"reset", "transfer closed"},
                                           FailureCase{"cut", "transfer closed"}, FailureCase{"drip", "too slow"},
                                           FailureCase{"loop", "more than 5 redirects"},
                                           FailureCase{"unavailable", "HTTP 503"}, FailureCase{"notfeed", "not a feed"},
                                           FailureCase{"fat_headers", "response headers over the size limit"},
                                           FailureCase{"slow_headers", "transfer too slow"}),
                         [](const ::testing::TestParamInfo<FailureCase>& info) {
                           return std::string(info.param.scenario);
                         });

// More feeds than run at once, all refused at once (nothing listens on port 1): no request waits in the queue
// while a transfer slot is free.
TEST_F(HttpFeedTest, ARoundOfManyFeedsTakesNoIdleSecond) {
  constexpr int kFeeds = 150;
  std::atomic<int> answered{0};
  const auto started = std::chrono::steady_clock::now();
  const std::unique_ptr<newssvc::IHttpClient> client = newssvc::MakeHttpClient(newssvc::HttpLimits());
  for (int i = 0; i < kFeeds; ++i)
    client->Start({"http://127.0.0.1:1/", {}}, [&](newssvc::HttpResponse) { ++answered; });
  ASSERT_TRUE(Eventually([&] { return answered == kFeeds; }));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
}

// A client whose one exchange ends, with a redirect, only as it is closed: the callback then runs while the
// fetcher is being destroyed, as a real client's does when a transfer ends at that moment.
class RedirectAtClose final : public newssvc::IHttpClient {
 public:
  explicit RedirectAtClose(std::vector<std::string>& started) : m_started(started) {}
  ~RedirectAtClose() override { Close(); }
  void Start(newssvc::HttpRequest request, Callback done) override {
    m_started.push_back(request.url);
    if (!m_bClosed) m_pending = std::move(done);
  }
  void Close() override {
    m_bClosed = true;  // what is started from now on is dropped
    newssvc::HttpResponse moved;
    moved.status = 301;
    moved.headers = {{"Location", "/b"}};
    if (Callback done = std::move(m_pending)) done(moved);
  }
  const newssvc::HttpLimits& Limits() const override { return m_limits; }

 private:
  std::vector<std::string>& m_started;
  Callback m_pending;
  bool m_bClosed = false;
  const newssvc::HttpLimits m_limits;
};

TEST(FeedFetcher, AnExchangeEndingAsTheFetcherGoesMayStillStartItsNextHop) {
  std::vector<std::string> started;
  {
    newssvc::CFeedFetcher fetcher(std::make_unique<RedirectAtClose>(started), nullptr, nullptr);
    fetcher.PollFeed(CString("A"), "http://127.0.0.1:1/a", newssvc::FetchSchedule());
  }
  EXPECT_EQ(started, (std::vector<std::string>{"http://127.0.0.1:1/a", "http://127.0.0.1:1/b"}));
}

// As many feeds as a fetcher of eight blocking threads has, whose server stalls (a byte every 5 s) or stays
// silent (the connection is never accepted): another feed of the same server keeps its rhythm meanwhile, and
// the session stops within a second whatever they do.
class StalledFeeds : public HttpFeedTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(StalledFeeds, DelayNoOtherFeedNorTheSessionsStop) {
  std::vector<std::string> others{"etag.xml"};
  others.insert(others.end(), 7, GetParam());
  Connect(GetParam(), "", others);
  ASSERT_TRUE(WaitForRequests(3, "etag.xml"));
  const std::vector<ReceivedRequest> polls = Received("etag.xml");
  EXPECT_LT(polls[2].atMs - polls[0].atMs, 1500);  // polled every 100 ms; a stall lasts 2 s
  EXPECT_EQ(CountHeadlines("G"), 1);
  EXPECT_TRUE(State().lastError.empty());  // H's first fetch is still hanging meanwhile
  EXPECT_EQ(CountHeadlines("H"), 0);
  const auto stopping = std::chrono::steady_clock::now();
  Stop();
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - stopping).count(),
            1000);
}

INSTANTIATE_TEST_SUITE_P(HttpFeed, StalledFeeds, ::testing::Values("stall.xml", "silent"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           const std::string scenario = info.param;
                           return scenario.substr(0, scenario.find('.'));
                         });

TEST_F(HttpFeedTest, BackOffSpacesFailuresOutAndASuccessResetsIt) {
  Connect("backoff.xml");  // six answers 500, then the feed
  // 100, 200, 400, 800, 1600 ms less jitter: six failures take well over a second at a 100 ms interval.
  ASSERT_TRUE(WaitForRequests(7, "", seconds(15)));
  auto received = Received();
  EXPECT_GE(received[5].atMs - received[0].atMs, 1500);
  ASSERT_TRUE(Eventually([&] { return CountHeadlines("H") == 1 && State().failures == 0; }));
  EXPECT_TRUE(State().lastError.empty());
}

TEST_F(HttpFeedTest, RedirectChainIsFollowedAndOnlyAPermanentOneMovesThePolledUrl) {
  Connect("temp");  // 302 to old, 301 to new, 308 to via, 302 to chained.xml
  ASSERT_TRUE(Eventually([&] { return CountHeadlines("H") == 1; }));
  EXPECT_EQ(State().url, Url("temp"));  // the chain began with a temporary redirect

  Stop();  // each of its polls went through old
  const int before = Requests("old"), chained = Requests("chained.xml");
  Connect("old");
  ASSERT_TRUE(Eventually([&] { return CountHeadlines("H") == 1 && Requests("chained.xml") >= chained + 3; }));
  EXPECT_EQ(State().url, Url("via"));      // the last permanent hop
  EXPECT_EQ(Requests("old"), before + 1);  // later polls go to the new URL
}

TEST_F(HttpFeedTest, GoneStopsPollingAndKeepsTheItems) {
  Connect("gone.xml");
  ASSERT_TRUE(Eventually([&] { return State().gone; }));
  const int requests = Requests();
  std::this_thread::sleep_for(seconds(1));
  EXPECT_EQ(Requests(), requests);
  EXPECT_EQ(CountHeadlines("H"), 1);
}

// Retry-After in its two forms (2 seconds; a date 3 seconds ahead) puts the next poll off that long though the
// interval is 100 ms, and no longer than a day however far off a publisher says.
class RetryAfter : public HttpFeedTest, public ::testing::WithParamInterface<std::pair<const char*, std::int64_t>> {};

TEST_P(RetryAfter, PutsOffTheNextPollThatLongUpToADay) {
  Connect(GetParam().first);
  ASSERT_TRUE(Eventually([&] { return State().failures == 1; }));
  const std::int64_t waitMs = State().nextPollMs - std::chrono::duration_cast<std::chrono::milliseconds>(
                                                       std::chrono::system_clock::now().time_since_epoch())
                                                       .count();
  EXPECT_GT(waitMs, GetParam().second * 1000 - 1500);
  EXPECT_LE(waitMs, GetParam().second * 1000);
}

INSTANTIATE_TEST_SUITE_P(HttpFeed, RetryAfter,
                         ::testing::Values(std::make_pair("retry-seconds.xml", 2), std::make_pair("retry-date.xml", 3),
                                           std::make_pair("retry-99999999999", 24 * 3600)));

TEST_F(HttpFeedTest, LongCacheLifetimeDefersPollsUnlessMinPollSecondsAllowsSooner) {
  Connect("cached-allowed.xml", "minPollSeconds=\"0\"");  // max-age=3600
  ASSERT_TRUE(WaitForRequests(3));

  Stop();
  Connect("cached.xml");
  ASSERT_TRUE(WaitForRequests(1, "cached.xml"));
  std::this_thread::sleep_for(seconds(1));
  EXPECT_EQ(Requests("cached.xml"), 1);
}

// The HTTP charset reaches the reader (the rules between it, a byte order mark and the declaration are
// FeedReaderTest's), and the title the records in Big5. The body comes gzipped, so it is inflated on the way.
TEST_F(HttpFeedTest, TheHttpCharsetReachesTheReader) {
  Connect("big5.xml");
  ASSERT_TRUE(Eventually([&] { return CountHeadlines("H") == 1; })) << State().lastError;
  EXPECT_EQ(Titles("H", 0), std::vector<std::string>{kBig5Title});
}

}  // namespace
}  // namespace newssvc_test
