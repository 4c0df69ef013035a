// Reading feeds: the reader on small feeds of each kind real publishers write, well-formed or not, their
// publication dates, what the fetcher reads from response headers and in which encoding it reads the body, and
// the item store that tells new items from ones read before.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <tuple>
#include <vector>

#include "libs/newssvc/FeedBytes.h"
#include "libs/newssvc/FeedCharset.h"
#include "libs/newssvc/FeedDate.h"
#include "libs/newssvc/FeedReader.h"
#include "libs/newssvc/FeedUrl.h"
#include "libs/newssvc/ItemStore.h"
#include "libs/newssvc/http/HeaderRules.h"
#include "tests/newssvc/ServiceFixture.h"

namespace {

using newssvc::CFeedReader;
using newssvc::CItemStore;
using newssvc::FeedItem;
using newssvc::FromCivil;
using newssvc::UtcSeconds;

const char kRss[] =
    "<rss version='2.0' xmlns:dc='http://purl.org/dc/elements/1.1/' "
    "xmlns:dcterms='http://purl.org/dc/terms/' xmlns:atom='http://www.w3.org/2005/Atom' "
    "xmlns:media='http://search.yahoo.com/mrss/'><channel>";

std::string Rss(const std::string& items) { return kRss + items + "</channel></rss>"; }

const UtcSeconds k2004 = FromCivil(2004, 1, 2, 3, 4, 5);
const UtcSeconds k2005 = FromCivil(2005, 1, 2, 3, 4, 5);

TEST(FeedReader, ReadsTheFirstItemOfEachKindOfFeedWellFormedOrNot) {
  const struct {
    std::string feed;
    bool illFormed;
    // The first item's fields; a date of 0 means none.
    std::string title;
    UtcSeconds date = 0;
    std::string link = "", description = "";
  } cases[] = {
      // Atom 0.3: issued before modified, title and content in base64 or escaped.
      {"<feed version='0.3' xmlns='http://purl.org/atom/ns#'><entry>"
       "<title type='text/html' mode='base64'>RXhhbXBsZSA8Yj5BdG9tPC9iPg==</title>"
       "<link rel='self' href='http://a.example/s'/><link rel='alternate' href='http://a.example/1'/>"
       "<modified>2005-01-02T03:04:05Z</modified><issued>2004-01-02T03:04:05Z</issued>"
       "<content mode='base64'>M1Z7IWA9\nbztaIXt0</content></entry></feed>",
       false, "Example Atom", k2004, "http://a.example/1", "3V{!`=o;Z!{t"},
      {"<feed version='0.3' xmlns='http://purl.org/atom/ns#'><entry><title>T</title><id>i</id>"
       "<created>2004-01-02T03:04:05Z</created><modified>2005-01-02T03:04:05Z</modified>"
       "<content type='application/xhtml+xml' mode='escaped'>&lt;b&gt;hi&lt;/b&gt;</content></entry></feed>",
       false, "T", k2004, "", "<b>hi</b>"},
      // Atom 1.0: titles as text whatever their type, content as clean HTML, text content escaped; the alternate
      // link wherever it stands, links without href skipped; of a field given twice, the first.
      {"<feed xmlns='http://www.w3.org/2005/Atom'><entry><title type='html'>&lt;b&gt;A&lt;/b&gt; &amp;amp;\n "
       "B&lt;style&gt;p{}&lt;/style&gt;</title><link rel='self' href='http://a.example/s'/><link/>"
       "<link rel='alternate' href='http://a.example/1'/><updated>2004-01-02T03:04:05Z</updated>"
       "<updated>2005-01-02T03:04:05Z</updated><content type='xhtml'><div xmlns='http://www.w3.org/1999/xhtml'>"
       "x <b onclick='y()' title='a&amp;b'>&lt;y&gt;</b> w<script>z</script></div></content></entry></feed>",
       false, "A & B", k2004, "http://a.example/1", "<div>x <b title=\"a&amp;b\">&lt;y&gt;</b> w</div>"},
      {"<feed xmlns='http://www.w3.org/2005/Atom'><entry><title type='xhtml'><div "
       "xmlns='http://www.w3.org/1999/xhtml'>a <i>&lt;b&gt;</i></div></title><link rel='related' href='r'/>"
       "<summary> x &lt; y </summary></entry></feed>",
       false, "a <b>", 0, "r", "x &lt; y"},
      {"<feed xmlns='http://www.w3.org/2005/Atom'><entry><title>  a &lt;b&gt;\n\t c </title><link href=''/>"
       "<link href='http://a.example/1'/></entry></feed>",
       false, "a <b> c", 0, "http://a.example/1"},
      // Markup in RSS: titles rendered to text, descriptions kept to the allow-list with absolute web links.
      {Rss("<item xml:base='http://n.example/x/'><title>safe&lt;script "
           "type=\"text/javascript\"&gt;alert(1)&lt;/script&gt; "
           "&lt;img src=x onerror=alert(1)&gt;&lt;iframe src=\"http://evil/\"&gt;&lt;/iframe&gt;&lt;meta "
           "http-equiv=\"Refresh\" "
           "content=\"0;url=http://evil/\"&gt;&lt;blink&gt;descr&amp;amp;iption&lt;/blink&gt;</title>"
           "<description><![CDATA[<p style=\"position:fixed\" onclick=\"x()\">Hi <a href=\"/s?a=1&amp;b='2'\">more</a> "
           "<a href=\"javascript:alert(1)\">js</a><img src=\"data:image/png;base64,AA\" onerror=\"x()\"><img "
           "src=\"pic.png\" alt=\"p\"><script>alert(1)</script><iframe src=\"http://evil/\">f</iframe><object "
           "data=\"x\">o</object><form action=\"http://evil/\"><input name=\"q\"></form><meta "
           "http-equiv=\"refresh\" content=\"0\"><blink>b</blink><a href=\"vbscript:x\" title=\"t\">v</a><a "
           "href=\" HTTPS://ok.example/ \">ok</a></p>]]></description><link>http://n.example/1</link>"
           "<link>http://n.example/2</link></item>"),
       false, "safe descr&iption", 0, "http://n.example/1",
       "<p>Hi <a href=\"http://n.example/s?a=1&amp;b='2'\">more</a> <a>js</a><img src=\"http://n.example/x/pic.png\" "
       "alt=\"p\"></p>b<a title=\"t\">v</a><a href=\"HTTPS://ok.example/\">ok</a>"},
      {Rss("<item><media:content url='c'/><media:group><media:title>m&lt;p&gt;x&lt;/p&gt;y</media:title></media:group>"
           "</item>"),
       false, "m x y"},
      // HTML's named references, beyond the few feeds used most.
      {Rss("<item><title>&acirc;&hearts;&shy;&thinsp;&sup2;&amp;</title></item>"), false,
       "\xC3\xA2\xE2\x99\xA5\xC2\xAD\xE2\x80\x89\xC2\xB2&"},
      // Children of other namespaces are not the item's own.
      {Rss("<item><media:title>m</media:title><media:description>md</media:description>"
           "<atom:link rel='self' href='http://self/'/><title>t</title><description>d</description>"
           "<guid isPermaLink='false'>g</guid></item>"),
       false, "t", 0, "http://self/", "d"},
      // Dates in order of preference, the first that reads.
      {Rss("<item><title>t</title><dcterms:modified>2003-01-01</dcterms:modified>"
           "<atom:updated>2005-01-02T03:04:05Z</atom:updated><pubDate>not a date</pubDate>"
           "<dcterms:issued>2004-01-02T03:04:05Z</dcterms:issued></item>"),
       false, "t", k2004},
      {Rss("<item><title>t</title><dcterms:issued>2004-01-02T03:04:05Z</dcterms:issued>"
           "<atom:published>2005-01-02T03:04:05Z</atom:published></item>"),
       false, "t", k2005},
      {Rss("<item><title>t</title><dcterms:modified>2004-01-02T03:04:05Z</dcterms:modified></item>"), false, "t",
       k2004},
      // RSS 1.0: the items are siblings of the channel.
      {"<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#' xmlns='http://purl.org/rss/1.0/'>"
       "<channel/><item><title>t</title><link>http://r.example/1</link></item></rdf:RDF>",
       false, "t", 0, "http://r.example/1"},
      // The guid is the link when there is none, unless it says it is no permalink; links are resolved.
      {Rss("<item><title>t</title><guid>http://g.example/1</guid></item>"), false, "t", 0, "http://g.example/1"},
      {Rss("<item><title>t</title><guid isPermaLink='false'>http://g/1</guid></item>"), false, "t"},
      {"<rss xml:base='http://ex.example/a/b'><channel xml:base='c/'><item><title>t</title>"
       "<link>../d?q=1</link></item></channel></rss>",
       false, "t", 0, "http://ex.example/a/d?q=1"},
      {"<feed xmlns='http://www.w3.org/2005/Atom' xml:base='http://ex.example/x/'><entry "
       "xml:base='/y/'><title>t</title><link href='z.html'/></entry></feed>",
       false, "t", 0, "http://ex.example/y/z.html"},
      // Broken feeds are repaired and read.
      {Rss("<item><title>A & B</title><link>http://x.example/?a=1&b=2</link></item>"), true, "A & B", 0,
       "http://x.example/?a=1&b=2"},
      {"<rss><channel><item><media:title>m</media:title><title>t</title>"
       "<dc:date>2004-01-02T03:04:05Z</dc:date></item></channel></rss>",
       true, "t", k2004},
      {Rss("<item><title>a\x08z</title></item>"), true, "az"},
      {Rss("<item><title>caf\xE9</title></item>"), true, "caf\xC3\xA9"},
      {kRss + std::string("<item><title>one</title></item><item><title>two</ti"), true, "one"}};
  for (const auto& c : cases) {
    std::vector<FeedItem> items;
    bool illFormed = !c.illFormed;
    ASSERT_TRUE(CFeedReader::ReadBytes(c.feed, items, &illFormed)) << c.feed;
    const FeedItem& first = items.at(0);
    EXPECT_EQ(
        std::make_tuple(illFormed, first.title, first.hasDate ? first.published : 0, first.link, first.description),
        std::make_tuple(c.illFormed, c.title, c.date, c.link, c.description))
        << c.feed;
  }
}

TEST(FeedReader, ABrokenDocumentWithNoItemIsNoFeed) {
  std::vector<FeedItem> items;
  bool illFormed = false;
  EXPECT_FALSE(CFeedReader::ReadBytes(Rss("<title>no items & no end"), items, &illFormed));
  EXPECT_TRUE(illFormed);
  EXPECT_TRUE(CFeedReader::ReadBytes(Rss(""), items, &illFormed));  // well-formed and empty: a feed
  EXPECT_FALSE(illFormed);
}

// Bare ampersands are escaped in one pass, never by rescanning the rest of the document for a semicolon.
TEST(FeedBytes, RepairTimeGrowsLinearlyWithManyAmpersandsAndNoSemicolon) {
  std::string bytes = "<r>";
  for (int i = 0; i < 1 << 20; ++i) bytes += "&a";  // a rescan per ampersand would take hours
  bytes += "</r>";
  const std::string original = bytes;
  const auto start = std::chrono::steady_clock::now();
  newssvc::RepairFeedBytes(bytes);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(bytes, original);
}

TEST(FeedUrl, ResolvesAsRfc3986Says) {
  const char* const base = "http://a/b/c/d;p?q";
  const struct {
    const char* reference;
    const char* expected;
  } cases[] = {{"g", "http://a/b/c/g"},
               {"./g/", "http://a/b/c/g/"},
               {"/g", "http://a/g"},
               {"//g", "http://g"},
               {"?y", "http://a/b/c/d;p?y"},
               {"#s", "http://a/b/c/d;p?q#s"},
               {"", "http://a/b/c/d;p?q"},
               {"../../g", "http://a/g"},
               {"../../../g", "http://a/g"},
               {"g/./h/../i", "http://a/b/c/g/i"},
               {"https:x", "https:x"},
               {"..", "http://a/b/"},
               {".", "http://a/b/c/"},
               {"//g/x/../y", "http://g/y"},
               {"a0:x", "a0:x"},
               {"A+.-:x", "A+.-:x"},
               {"0a:x", "http://a/b/c/0a:x"}};
  for (const auto& c : cases) EXPECT_EQ(newssvc::ResolveUrl(base, c.reference), c.expected) << c.reference;
  EXPECT_EQ(newssvc::ResolveUrl("", "g"), "g");
}

// 2020-03-21 10:29:51 UTC and friends.
const UtcSeconds kBase = FromCivil(2020, 3, 21, 10, 29, 51);

TEST(FeedDate, Rfc822AndRfc3339VariantsReadAsTheSameInstant) {
  const struct {
    const char* text;
    UtcSeconds expected;
  } cases[] = {{"Sat, 21 Mar 2020 06:29:51 -0400", kBase},
               {"Sat, 21 Mar 2020 10:29:51 GMT", kBase},
               {"21 Mar 2020 10:29:51 +0000", kBase},                                 // no weekday
               {"Sat, 21 Mar 20 10:29:51 UT", kBase},                                 // two-digit year
               {"Sat, 21 Mar 2020 03:29:51 PDT", kBase},                              // named zone
               {"Sat, 21 Mar 2020 18:29:51 +08:00", kBase},                           // offset with a colon
               {"Sat, 21 Mar 2020 18:29:51 +08", kBase},                              // hours only
               {"sam, 21 mars 2020 10:29:51 Z", kBase},                               // weekday and month in French
               {"Sat, Mar 21 2020 06:29:51 AM -0400", kBase},                         // month first, 12-hour clock
               {"Sat, Mar 21 2020 12:29:51 PM +0200", kBase},                         // noon is 12 PM
               {"Sat, 21 Mar 2020 24:00:00 GMT", FromCivil(2020, 3, 22, 0, 0, 0)},    // end of day
               {"Sat, 21 Mar 2020 10:29 GMT", kBase - 51},                            // no seconds
               {"Sat, 21 Mar 2020 10:29:51", kBase},                                  // no zone: UTC
               {"Sat, 21 Mar 2020 10:29:51 +:", kBase},                               // a zone without digits: UTC
               {"Sat,  1 Mar 1999 10:29:51 GMT", FromCivil(1999, 3, 1, 10, 29, 51)},  // 1-digit day
               {"1 Mar 99 10:29:51 GMT", FromCivil(1999, 3, 1, 10, 29, 51)},          // 99: 1999
               {"2020-03-21T10:29:51Z", kBase},
               {"2020-03-21T18:29:51+08:00", kBase},
               {"2020-03-21t10:29:51.123456z", kBase},  // fraction, lower case
               {"2020-03-21 10:29:51-00:00", kBase},    // space for T
               {"2020-03-21", FromCivil(2020, 3, 21, 0, 0, 0)},
               {"  2020-02-29T00:00:00Z\n", FromCivil(2020, 2, 29, 0, 0, 0)}};
  for (const auto& c : cases) {
    UtcSeconds utc = 0;
    EXPECT_TRUE(newssvc::ParseFeedDate(c.text, utc)) << c.text;
    EXPECT_EQ(utc, c.expected) << c.text;
  }
}

TEST(FeedDate, RejectsWhatIsNoDate) {
  for (const char* text :
       {"", "yesterday", "32 Mar 2020 10:00:00 GMT", "21 Foo 2020 10:00:00 GMT", "2020-13-01T00:00:00Z",
        "2020-03-21T25:00:00Z", "2020-03-21T10:29:51+0x:00", "2020-03-21T10:29:5Z",
        "Sat, 21 Mar 2020 10:29:51 GMT (a zone comment that runs past sixty-four bytes)",
        "Sat, 21 Mar 2020 13:00:00 PM", "21 Mar 2020 10:61 GMT",
        // Numbers too long for an int, and a sign with no digits.
        "Sat, 12345678901 Dec 2026 01:00:00 GMT", "Dec 99999999999999999999 2026", "2020-03-21T10:29:51+:"}) {
    UtcSeconds utc = 0;
    EXPECT_FALSE(newssvc::ParseFeedDate(text, utc)) << text;
  }
}

constexpr std::int64_t kNow = 1796544000;  // Sun, 06 Dec 2026 08:00:00 GMT

TEST(HeaderRules, FreshnessFromCacheControlOrExpires) {
  const struct {
    newssvc::HttpHeaders headers;
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
  const std::string big5 = "<rss><channel><item><title>" + newssvc_test::kBig5Title + "</title></item></channel></rss>";
  const std::string utf8 = "<rss><channel><item><title>" + newssvc_test::kUtf8Title + "</title></item></channel></rss>";
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
    EXPECT_EQ(items.at(0).title, newssvc_test::kUtf8Title) << c.body;
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

FeedItem Item(const char* id, const char* link, const char* title, newssvc::UtcSeconds time) {
  return {id, title, link, "", {}, time != 0, time};
}

TEST(ItemStore, ReadingTheSameFeedAgainAddsNothing) {
  // Identity by guid, else link, else title: each item below differs from its twin in every other field.
  const std::vector<FeedItem> first = {Item("g1", "l1", "t1", 100), Item("", "l2", "t2", 200), Item("", "", "t3", 300)};
  const std::vector<FeedItem> again = {Item("g1", "lx", "tx", 999), Item("", "l2", "ty", 999), Item("", "", "t3", 999)};
  CItemStore store;
  EXPECT_EQ(store.Merge(first, 0).size(), 3u);
  EXPECT_TRUE(store.Merge(again, 0).empty());
  EXPECT_TRUE(store.Merge(first, 0).empty());
  EXPECT_EQ(store.Items().size(), 3u);
}

TEST(ItemStore, AFullStoreDropsItsOldestWithoutTakingThemBackAtTheNextRead) {
  std::vector<FeedItem> feed;
  for (int i = 0; i <= static_cast<int>(CItemStore::kMaxItems); ++i)
    feed.push_back(Item(("g" + std::to_string(i)).c_str(), "", "t", 1000 + i));
  CItemStore store;
  EXPECT_EQ(store.Merge(feed, 0).size(), CItemStore::kMaxItems + 1);
  EXPECT_EQ(store.Items().size(), CItemStore::kMaxItems);
  EXPECT_EQ(store.Items().back().key, "g1");  // g0, the oldest, went
  EXPECT_TRUE(store.Merge(feed, 0).empty());
}

TEST(ItemStore, KeepsNewestFirstAndDatesUndatedItemsWhenFirstSeen) {
  CItemStore store;
  store.Merge({Item("a", "", "a", 200), Item("b", "", "b", 100)}, 0);
  const std::vector<long> added = store.Merge({Item("c", "", "c", 0), Item("d", "", "d", 150)}, 500);
  ASSERT_EQ(added.size(), 2u);
  std::vector<std::string> order;
  for (const auto& item : store.Items()) order.push_back(item.title.str());
  EXPECT_EQ(order, (std::vector<std::string>{"c", "a", "d", "b"}));
  EXPECT_EQ(store.Items().front().time, 500);
  EXPECT_EQ(store.Find(added[0])->title, "c");
  EXPECT_EQ(store.Find(12345), nullptr);
}

}  // namespace
