// What the fetcher reads from response headers, and in which encoding it reads the body.
#include <gtest/gtest.h>

#include "libs/newssvc/FeedCharset.h"
#include "libs/newssvc/http/HeaderRules.h"

namespace newssvc_test {
namespace {

using newssvc::HttpHeaders;

constexpr std::int64_t kNow = 1796544000;  // Sun, 06 Dec 2026 08:00:00 GMT

TEST(HeaderRules, FreshnessFromCacheControlOrExpires) {
  const struct {
    HttpHeaders headers;
    std::int64_t seconds;
  } cases[] = {
      {{}, -1},
      {{{"cache-control", "max-age=600, public"}}, 600},
      {{{"Cache-Control", "max-age=600, no-cache"}}, 0},
      {{{"Cache-Control", "no-store"}, {"Expires", "Sun, 06 Dec 2026 09:00:00 GMT"}}, 0},
      {{{"Expires", "Sun, 06 Dec 2026 09:00:00 GMT"}, {"Date", "Sun, 06 Dec 2026 08:30:00 GMT"}}, 1800},
      {{{"Expires", "Sun, 06 Dec 2026 08:02:00 GMT"}}, 120},  // no Date: against now
      {{{"Expires", "0"}}, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(newssvc::FreshnessSeconds(c.headers, kNow), c.seconds);
}

TEST(HeaderRules, RetryAfterInSecondsOrAsADate) {
  EXPECT_EQ(newssvc::RetryAfterSeconds({{"Retry-After", " 120 "}}, kNow), 120);
  EXPECT_EQ(newssvc::RetryAfterSeconds({{"retry-after", "Sun, 06 Dec 2026 08:00:30 GMT"}}, kNow), 30);
  EXPECT_EQ(newssvc::RetryAfterSeconds({{"Retry-After", "Sun, 06 Dec 2026 07:00:00 GMT"}}, kNow), 0);
  EXPECT_EQ(newssvc::RetryAfterSeconds({{"Retry-After", "soon"}}, kNow), -1);
  EXPECT_EQ(newssvc::RetryAfterSeconds({}, kNow), -1);
}

TEST(HeaderRules, LocationResolvesAgainstTheRequestUrlAndStaysHttp) {
  const char* const base = "http://a.example:8080/news/feed.xml?x=1";
  const struct {
    const char* location;
    const char* url;
  } cases[] = {
      {"https://b.example/rss", "https://b.example/rss"},
      {"//c.example/rss", "http://c.example/rss"},
      {"/top.xml", "http://a.example:8080/top.xml"},
      {"other.xml", "http://a.example:8080/news/other.xml"},
      {"ftp://a.example/feed.xml", ""},
      {"file:///etc/passwd", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(newssvc::ResolveLocation(base, c.location), c.url) << c.location;
  EXPECT_EQ(newssvc::ContentTypeCharset({{"Content-Type", "text/xml; charset=\"Big5\"; q=1"}}), "big5");
  EXPECT_EQ(newssvc::ContentTypeCharset({{"Content-Type", "application/rss+xml"}}), "");
}

// How a fetched body's encoding is told: a byte order mark wins, else the HTTP charset, else the declaration;
// when the HTTP charset does not read, the body as it came. The title is 台積電許可 in every case.
TEST(FeedCharset, TheTitleReadsTheSameHoweverTheEncodingIsTold) {
  const std::string big5 =
      "<rss><channel><item><title>\xA5\x78\xBF\x6E\xB9\x71\xB3\x5C\xA5\x69</title></item></channel></rss>";
  const std::string utf8Title = "\xE5\x8F\xB0\xE7\xA9\x8D\xE9\x9B\xBB\xE8\xA8\xB1\xE5\x8F\xAF";
  const std::string utf8 = "<rss><channel><item><title>" + utf8Title + "</title></item></channel></rss>";
  const struct {
    const char* httpCharset;
    std::string body;
  } cases[] = {
      {"big5", "<?xml version=\"1.0\" encoding=\"big5\"?>" + big5},
      {"big5", big5},
      {"big5", "<?xml version=\"1.0\"?>" + big5},
      {"big5", "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + big5},
      {"big5", "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + utf8},
      {"big5", "\xEF\xBB\xBF" + utf8},
      {"", "<?xml version=\"1.0\" encoding=\"big5\"?>" + big5},
  };
  for (const auto& c : cases) {
    std::vector<newssvc::FeedItem> items;
    ASSERT_TRUE(newssvc::ReadFetchedFeed(c.body, c.httpCharset, items)) << c.body;
    EXPECT_EQ(items.at(0).title, utf8Title) << c.body;
  }
}

TEST(FeedCharset, TheHttpCharsetIsDeclaredInTheDocumentsDeclarationOnly) {
  const std::string body = "<?xml version=\"1.0\"?><rss><title>encoding=\"utf-8\"</title></rss>";
  const auto readings = newssvc::FeedReadings(body, "big5");
  ASSERT_EQ(readings.size(), 2u);
  EXPECT_EQ(readings[0], "<?xml version=\"1.0\" encoding=\"big5\"?><rss><title>encoding=\"utf-8\"</title></rss>");
  EXPECT_EQ(readings[1], body);
  EXPECT_EQ(newssvc::FeedReadings("<?xml version='1.0' encoding='BIG5'?><rss/>", "big5").size(), 1u);
}

}  // namespace
}  // namespace newssvc_test
