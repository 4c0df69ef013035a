// Feeds fetched over HTTP from a scripted server on 127.0.0.1, through a real session: the manners the
// server sees (validators, compression, User-Agent, redirects, Retry-After, back-off), the bounds that
// refuse hostile answers, the character set rules, and what the service then holds and reports.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "libs/newssvc/HeadlineRecord.h"
#include "libs/newssvc/RssNewsSession.h"
#include "tests/libs/TempDir.h"
#include "tests/newssvc/ScriptedServer.h"
#include "tests/newssvc/ServiceFixture.h"

namespace newssvc_test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kBig5Title = "\xA5\x78\xBF\x6E\xB9\x71\xB3\x5C\xA5\x69";  // 台積電許可
const std::string kUtf8Title = "\xE5\x8F\xB0\xE7\xA9\x8D\xE9\x9B\xBB\xE8\xA8\xB1\xE5\x8F\xAF";

std::string OneItemFeed(const std::string& guid = "n1") {
  TestItem item;  // dated 5 Dec 2026
  item.guid = guid;
  item.title = "title " + guid;
  return RssFeed("utf-8", {item});
}

// Serves `body` for the first `good` requests, then lets `after` answer.
ScriptedServer::Script GoodThen(int good, ScriptedServer::Script after) {
  return [good, after](const httplib::Request& request, httplib::Response& response, int index) {
    if (index < good) {
      response.set_content(OneItemFeed(), "application/rss+xml");
    } else {
      after(request, response, index);
    }
  };
}

class HttpFeedTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (m_session) {
      m_session->Disconnect();
      m_session->Logout(&m_sink);
    }
  }

  // A session polling every 100 ms whose provider H reads `path` from the server.
  void Connect(const std::string& path, const std::string& providerAttributes = "") {
    std::ofstream(m_dir.path() / "RSSNewsSvc.xml")
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<RSSNewsService pollMilliseconds=\"100\" timeZone=\"+08:00\">"
        << "<Category name=\"Web\"><Provider id=\"H\" name=\"H\" source=\"" << m_server.Url(path) << "\" "
        << providerAttributes << "/></Category></RSSNewsService>";
    m_session = std::make_unique<newssvc::CRssNewsSession>(m_dir.path().string().c_str(), "", "");
    newssvc::HttpLimits limits;
    limits.connect = seconds(2);
    limits.transfer = seconds(8);
    limits.stall = seconds(2);
    m_session->SetHttpLimits(limits);
    ASSERT_TRUE(m_session->Open());
    m_session->Login(&m_sink);
    m_session->BookProviderNews("H");
    m_session->Connect();
  }

  int Headlines() {
    std::vector<NewsHeadline> list;
    if (m_session->GetTotalHeadline("H", list) != 0) return -1;
    const int count = static_cast<int>(list.size());
    newssvc::FreeHeadlines(list);
    return count;
  }

  std::string FirstTitle() {
    std::vector<NewsHeadline> list;
    m_session->GetTotalHeadline("H", list);
    const std::string title = list.empty() ? std::string() : newssvc::BlockTitle(list[0]).str();
    newssvc::FreeHeadlines(list);
    return title;
  }

  newssvc::FeedState State() {
    newssvc::FeedState state;
    m_session->Catalog().GetFeedState("H", state);
    return state;
  }

  static bool Eventually(const std::function<bool()>& condition, seconds timeout = seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(milliseconds(20));
    }
    return true;
  }

  ScriptedServer m_server;
  TempDir m_dir;
  RecordingSink m_sink;
  std::unique_ptr<newssvc::CRssNewsSession> m_session;
};

// Conditional GET: the validator of the first answer comes back on every later request, 304 costs nothing.
struct ValidatorCase {
  const char* responseHeader;
  const char* value;
  const char* requestHeader;
};

class ConditionalGet : public HttpFeedTest, public ::testing::WithParamInterface<ValidatorCase> {};

TEST_P(ConditionalGet, ValidatorIsSentBackAnd304ReportsNothing) {
  const ValidatorCase c = GetParam();
  m_server.SetScript([c](const httplib::Request& request, httplib::Response& response, int) {
    if (request.get_header_value(c.requestHeader) == c.value) {
      response.status = 304;
      return;
    }
    response.set_header(c.responseHeader, c.value);
    response.set_content(OneItemFeed(), "application/rss+xml");
  });
  Connect("/feed.xml");
  ASSERT_TRUE(m_server.WaitForCount(4));
  const auto received = m_server.Received();
  EXPECT_TRUE(received[0].Header(c.requestHeader).empty());
  for (std::size_t i = 1; i < received.size(); ++i) EXPECT_EQ(received[i].Header(c.requestHeader), c.value) << i;
  EXPECT_EQ(received[0].Header("User-Agent").rfind("vxRSS/", 0), 0u) << received[0].Header("User-Agent");
  EXPECT_NE(received[0].Header("Accept-Encoding").find("gzip"), std::string::npos);
  EXPECT_EQ(Headlines(), 1);
  EXPECT_EQ(m_sink.Count("provider H 20261205"), 1);
}

INSTANTIATE_TEST_SUITE_P(HttpFeed, ConditionalGet,
                         ::testing::Values(ValidatorCase{"ETag", "\"v1\"", "If-None-Match"},
                                           ValidatorCase{"Last-Modified", "Sat, 05 Dec 2026 01:00:00 GMT",
                                                         "If-Modified-Since"}));

TEST_F(HttpFeedTest, GzipBodyIsInflatedAndANewItemIsReportedLive) {
  const std::string first = Gzip(OneItemFeed("n1"));
  TestItem newer{"n2", "second", "Sun, 06 Dec 2026 09:00:00 +0800", {}};
  TestItem older{"n1", "title n1", "Sat, 05 Dec 2026 09:30:00 +0800", {}};
  const std::string second = Gzip(RssFeed("utf-8", {newer, older}));
  m_server.SetScript([first, second](const httplib::Request&, httplib::Response& response, int index) {
    response.set_header("Content-Encoding", "gzip");
    response.set_content(index < 2 ? first : second, "application/rss+xml");
  });
  Connect("/feed.xml");
  ASSERT_TRUE(m_sink.WaitFor("provider H 20261206"));
  EXPECT_EQ(Headlines(), 2);
}

// Answers that turn bad after a good one: the feed keeps its items and says why it failed.
struct FailureCase {
  const char* name;
  ScriptedServer::Script bad;
  const char* errorHas;
};

class FetchFailure : public HttpFeedTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FetchFailure, KeepsTheLastGoodItemsAndNamesTheFault) {
  m_server.SetScript(GoodThen(1, GetParam().bad));
  Connect("/feed.xml");
  ASSERT_TRUE(Eventually([&] { return !State().lastError.empty(); }, seconds(15))) << GetParam().name;
  EXPECT_NE(State().lastError.find(GetParam().errorHas), std::string::npos) << State().lastError;
  EXPECT_EQ(Headlines(), 1);
  EXPECT_FALSE(State().gone);
}

const std::string kBomb = Gzip(std::string(17 * 1024 * 1024, ' '));

INSTANTIATE_TEST_SUITE_P(
    HttpFeed, FetchFailure,
    ::testing::Values(FailureCase{"GzipBomb",
                                  [](const httplib::Request&, httplib::Response& response, int) {
                                    response.set_header("Content-Encoding", "gzip");
                                    response.set_content(kBomb, "application/rss+xml");
                                  },
                                  "decoded body over the size limit"},
                      FailureCase{"TwentyMiB",
                                  [](const httplib::Request&, httplib::Response& response, int) {
                                    response.set_content(std::string(20 * 1024 * 1024, 'x'), "application/rss+xml");
                                  },
                                  "size limit"},
                      FailureCase{"ResetMidBody",
                                  [](const httplib::Request&, httplib::Response& response, int) {
                                    response.set_content_provider(
                                        100000, "application/rss+xml",
                                        [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                          if (offset > 0) return false;  // closes the connection
                                          sink.write("<rss>", 5);
                                          return true;
                                        });
                                  },
                                  "transfer closed"},
                      FailureCase{"StalledDrip",
                                  [](const httplib::Request&, httplib::Response& response, int) {
                                    response.set_chunked_content_provider(
                                        "application/rss+xml", [](std::size_t, httplib::DataSink& sink) {
                                          sink.write("<", 1);
                                          for (int i = 0; i < 50 && sink.is_writable(); ++i)
                                            std::this_thread::sleep_for(milliseconds(100));
                                          return sink.is_writable();
                                        });
                                  },
                                  "too slow"},
                      FailureCase{"RedirectLoop",
                                  [](const httplib::Request&, httplib::Response& response, int) {
                                    response.set_redirect("/feed.xml", 302);
                                  },
                                  "more than 5 redirects"},
                      FailureCase{
                          "ServiceUnavailable",
                          [](const httplib::Request&, httplib::Response& response, int) { response.status = 503; },
                          "HTTP 503"},
                      FailureCase{"NotAFeed",
                                  [](const httplib::Request&, httplib::Response& response, int) {
                                    response.set_content("<html><body>maintenance</body></html>", "text/html");
                                  },
                                  "not a feed"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(HttpFeedTest, BackOffSpacesFailuresOutAndASuccessResetsIt) {
  m_server.SetScript([](const httplib::Request&, httplib::Response& response, int index) {
    if (index < 6) {
      response.status = 500;
    } else {
      response.set_content(OneItemFeed(), "application/rss+xml");
    }
  });
  Connect("/feed.xml");
  // 100, 200, 400, 800, 1600 ms less jitter: six failures take well over a second at a 100 ms interval.
  ASSERT_TRUE(m_server.WaitForCount(7, "", seconds(15)));
  const auto received = m_server.Received();
  EXPECT_GE(received[5].at - received[0].at, milliseconds(1500));
  ASSERT_TRUE(Eventually([&] { return Headlines() == 1 && State().failures == 0; }));
  EXPECT_TRUE(State().lastError.empty());
}

TEST_F(HttpFeedTest, RedirectChainIsFollowedAndOnlyAPermanentOneMovesThePolledUrl) {
  m_server.SetScript([](const httplib::Request& request, httplib::Response& response, int) {
    if (request.path == "/temp") return response.set_redirect("/old", 302);
    if (request.path == "/old") return response.set_redirect("/new", 301);
    if (request.path == "/new") return response.set_redirect("feed.xml", 308);  // relative
    response.set_content(OneItemFeed(), "application/rss+xml");
  });
  Connect("/temp");
  ASSERT_TRUE(Eventually([&] { return Headlines() == 1; }));
  EXPECT_EQ(State().url, m_server.Url("/temp"));  // the chain began with a temporary redirect

  TearDown();
  m_session.reset();
  Connect("/old");
  ASSERT_TRUE(Eventually([&] { return Headlines() == 1 && m_server.Count("/feed.xml") >= 4; }));
  EXPECT_EQ(State().url, m_server.Url("/feed.xml"));
  EXPECT_EQ(m_server.Count("/old"), 2);  // once per session: later polls go to the new URL
}

TEST_F(HttpFeedTest, GoneStopsPollingAndKeepsTheItems) {
  m_server.SetScript(
      GoodThen(1, [](const httplib::Request&, httplib::Response& response, int) { response.status = 410; }));
  Connect("/feed.xml");
  ASSERT_TRUE(Eventually([&] { return State().gone; }));
  const int requests = m_server.Count("");
  std::this_thread::sleep_for(seconds(1));
  EXPECT_EQ(m_server.Count(""), requests);
  EXPECT_EQ(Headlines(), 1);
}

// Retry-After in its two forms: the next request waits for it, though the interval is 100 ms.
class RetryAfter : public HttpFeedTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RetryAfter, NextRequestWaitsAtLeastThatLong) {
  const bool asDate = GetParam();
  m_server.SetScript([asDate](const httplib::Request&, httplib::Response& response, int index) {
    if (index > 0) return response.set_content(OneItemFeed(), "application/rss+xml");
    response.status = 429;
    const std::time_t at = std::time(nullptr) + 3;
    char date[64];
    std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", std::gmtime(&at));
    response.set_header("Retry-After", asDate ? std::string(date) : std::string("2"));
  });
  Connect("/feed.xml");
  ASSERT_TRUE(m_server.WaitForCount(2));
  const auto received = m_server.Received();
  EXPECT_GE(received[1].at - received[0].at, milliseconds(1500));
}

INSTANTIATE_TEST_SUITE_P(HttpFeed, RetryAfter, ::testing::Values(false, true));

TEST_F(HttpFeedTest, LongCacheLifetimeDefersPollsUnlessMinPollSecondsAllowsSooner) {
  m_server.SetScript([](const httplib::Request& request, httplib::Response& response, int) {
    response.set_header("Cache-Control", "max-age=3600");
    response.set_content(OneItemFeed(request.path.substr(1)), "application/rss+xml");
  });
  Connect("/feed.xml", "minPollSeconds=\"0\"");
  ASSERT_TRUE(m_server.WaitForCount(3));  // the publisher allows polling at the interval

  TearDown();
  m_session.reset();
  Connect("/cached.xml");
  ASSERT_TRUE(m_server.WaitForCount(1, "/cached.xml"));
  std::this_thread::sleep_for(seconds(1));
  EXPECT_EQ(m_server.Count("/cached.xml"), 1);
}

// Character sets: a BOM wins, else the HTTP charset, else the declaration; a charset that fails falls back.
struct CharsetCase {
  const char* name;
  const char* contentType;
  std::string body;
};

class HttpCharset : public HttpFeedTest, public ::testing::WithParamInterface<CharsetCase> {};

TEST_P(HttpCharset, TitleReachesTheRecordsInBig5) {
  const CharsetCase c = GetParam();
  m_server.SetScript(
      [c](const httplib::Request&, httplib::Response& response, int) { response.set_content(c.body, c.contentType); });
  Connect("/feed.xml");
  ASSERT_TRUE(Eventually([&] { return Headlines() == 1; })) << State().lastError;
  EXPECT_EQ(FirstTitle(), kBig5Title);
}

std::string Undeclared(const std::string& title) {
  const std::string feed = RssFeed("x", {{"n1", title, "", {}}});
  return feed.substr(feed.find("?>") + 2);
}

std::string Declared(const std::string& encoding, const std::string& title) {
  return RssFeed(encoding, {{"n1", title, "", {}}});
}

INSTANTIATE_TEST_SUITE_P(
    HttpFeed, HttpCharset,
    ::testing::Values(
        CharsetCase{"Big5AsTextXml", "text/xml; charset=big5", Declared("big5", kBig5Title)},
        CharsetCase{"HeaderOnly", "text/xml; charset=big5", Undeclared(kBig5Title)},
        CharsetCase{"HeaderWinsOverDeclaration", "text/xml; charset=\"Big5\"", Declared("utf-8", kBig5Title)},
        CharsetCase{"WrongHeaderFallsBack", "application/xml; charset=big5", Declared("utf-8", kUtf8Title)},
        CharsetCase{"ByteOrderMarkWins", "text/xml; charset=big5", "\xEF\xBB\xBF" + Undeclared(kUtf8Title)},
        CharsetCase{"DeclarationWithoutHeader", "application/rss+xml", Declared("big5", kBig5Title)}),
    [](const ::testing::TestParamInfo<CharsetCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace newssvc_test
