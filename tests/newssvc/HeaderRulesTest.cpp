// What the fetcher reads from response headers, and how it rewrites a document's declared encoding when
// the HTTP charset is to be tried first.
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

TEST(HeaderRules, HttpCharsetIsDeclaredInTheDocumentsDeclarationOnly) {
  const std::string body = "<?xml version=\"1.0\"?><rss><title>encoding=\"utf-8\"</title></rss>";
  const auto readings = newssvc::FeedReadings(body, "big5");
  ASSERT_EQ(readings.size(), 2u);
  EXPECT_EQ(readings[0], "<?xml version=\"1.0\" encoding=\"big5\"?><rss><title>encoding=\"utf-8\"</title></rss>");
  EXPECT_EQ(readings[1], body);
  EXPECT_EQ(newssvc::FeedReadings("<?xml version='1.0' encoding='BIG5'?><rss/>", "big5").size(), 1u);
}

}  // namespace
}  // namespace newssvc_test
