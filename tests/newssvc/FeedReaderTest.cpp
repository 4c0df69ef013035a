// Reading feeds: the reader on small feeds of each kind real publishers write, well-formed or not, their
// publication dates, what the fetcher reads from response headers and in which encoding it reads the body, and
// the item store that tells new items from ones read before.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <tuple>
#include <vector>

#include "libs/newssvc/common/Dates.h"
#include "libs/newssvc/common/FeedUrl.h"
#include "libs/newssvc/parse/FeedBytes.h"
#include "libs/newssvc/parse/FeedCharset.h"
#include "libs/newssvc/parse/FeedReader.h"
#include "libs/newssvc/query/ItemStore.h"
#include "libs/newssvc/source/http/HeaderRules.h"
#include "tests/newssvc/ServiceFixture.h"

namespace {

using newssvc::CFeedReader;
using newssvc::CItemStore;
using newssvc::FeedItem;
using newssvc::FromCivil;
using newssvc::StoredItem;
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
       "xmlns='http://www.w3.org/1999/xhtml'>a <i>&lt;b&gt;</i></div></title><link rel='related' "
       "href='http://r.example/'/>"
       "<summary> x &lt; y </summary></entry></feed>",
       false, "a <b>", 0, "http://r.example/", "x &lt; y"},
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
      // A link is an http URL with a host or nothing: no file: base, no script.
      {"<rss xml:base='file:///etc/'><channel><item><title>t</title><link>passwd</link>"
       "<guid>javascript:alert(1)</guid></item></channel></rss>",
       false, "t"},
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
    std::vector<FeedItem> fetched;  // the same bytes over HTTP read the same
    EXPECT_TRUE(newssvc::ReadFetchedFeed(c.feed, "", fetched) && fetched.at(0).title == c.title) << c.feed;
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

// HTML's named references become numeric ones, except inside comments and CDATA sections (closed or not).
TEST(FeedBytes, NamedReferencesBecomeNumericOutsideCommentsAndCdata) {
  const std::string cases[][2] = {
      {"<r a='&eacute;'>&hellip;&amp;&nosuch;&eacute</r>", "<r a='&#233;'>&#8230;&amp;&nosuch;&eacute</r>"},
      {"<![CDATA[&eacute;]]>&eacute;<!--&eacute;-->&eacute;", "<![CDATA[&eacute;]]>&#233;<!--&eacute;-->&#233;"},
      {"<!-->&eacute;-->&eacute;<!DOCTYPE r>&eacute;<!", "<!-->&eacute;-->&#233;<!DOCTYPE r>&#233;<!"},
      {"&eacute;<![CDATA[&eacute;", "&#233;<![CDATA[&eacute;"},
  };
  for (const auto& c : cases) {
    std::string bytes = c[0];
    newssvc::RepairFeedBytes(bytes);
    EXPECT_EQ(bytes, c[1]) << c[0];
  }
}

// Bare ampersands are escaped in one pass, never by rescanning the rest of the document for a semicolon.
TEST(FeedBytes, RepairTimeGrowsLinearlyWithManyAmpersandsAndNoSemicolon) {
  std::string bytes = "<r>";
  for (int i = 0; i < 1 << 20; ++i) bytes += "&a";  // a rescan per ampersand would take hours
  bytes += "</r>";
  const std::string original = bytes;
  const auto start = std::chrono::steady_clock::now();
  newssvc::RepairFeedBytes(bytes);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(bytes, original);
}

// RFC 3986's own examples (section 5.4), one per branch of the resolution, then how a scheme is told from a path.
// Redirects and links take the same results where they are http URLs with a host, and nothing otherwise.
TEST(FeedUrl, ResolvesAsRfc3986Says) {
  const char* const base = "http://a/b/c/d;p?q";
  // clang-format off
  const std::string cases[][2] = {
      {"g:h", "g:h"}, {"g", "http://a/b/c/g"}, {"./g", "http://a/b/c/g"}, {"/g", "http://a/g"}, {"//g", "http://g"},
      {"?y", "http://a/b/c/d;p?y"}, {"#s", "http://a/b/c/d;p?q#s"}, {"g?y#s", "http://a/b/c/g?y#s"},
      {"", "http://a/b/c/d;p?q"}, {".", "http://a/b/c/"}, {"..", "http://a/b/"}, {"../g", "http://a/b/g"},
      {"../../../../g", "http://a/g"}, {"/./g", "http://a/g"}, {"/../g", "http://a/g"}, {"g.", "http://a/b/c/g."},
      {"..g", "http://a/b/c/..g"}, {"./g/.", "http://a/b/c/g/"}, {"g/../h", "http://a/b/c/h"},
      {"g?y/../x", "http://a/b/c/g?y/../x"}, {"g#s/../x", "http://a/b/c/g#s/../x"}, {"http:g", "http:g"},
      {"//g/x/../y", "http://g/y"}, {"http://x/a/../b", "http://x/b"}, {"a0:x", "a0:x"}, {"A+.-:x", "A+.-:x"},
      {"0a:x", "http://a/b/c/0a:x"}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(newssvc::ResolveUrl(base, c[0]), c[1]) << c[0];
    const bool web = c[1].rfind("http://", 0) == 0;
    EXPECT_EQ(newssvc::ResolveWebUrl(base, c[0]), web ? c[1] : "") << c[0];
  }
  EXPECT_EQ(newssvc::ResolveUrl("", "g"), "g");
}

TEST(FeedUrl, ALinkOrARedirectIsAnHttpUrlWithAHostOrNothing) {
  for (const char* url : {"HTTPS://h:8/x?y#z", "http://u:p@h", "http://[::1]/"})
    EXPECT_EQ(newssvc::ResolveWebUrl("file:///etc/", url), url);
  for (const char* url : {"g", "javascript:alert(1)", "ftp://h/", "http:///x", "http://u@:80/", "http:"})
    EXPECT_EQ(newssvc::ResolveWebUrl("file:///etc/", url), "") << url;
}

// 2020-03-21 10:29:51 UTC and friends.
const UtcSeconds kBase = FromCivil(2020, 3, 21, 10, 29, 51);

TEST(FeedDate, Rfc822AndRfc3339VariantsReadAsTheSameInstant) {
  const struct {
    const char* text;
    UtcSeconds expected;
  } cases[] = {{"Sat, 21 Mar 2020 06:29:51 -0400", kBase},
               {"21 Mar 2020 10:29:51 +0000", kBase},                               // no weekday
               {"Sat, 21 Mar 20 10:29:51 UT", kBase},                               // two-digit year
               {"Sat, 21 Mar 2020 03:29:51 PDT", kBase},                            // named zone
               {"Sat, 21 Mar 2020 18:29:51 +08:00", kBase},                         // offset with a colon
               {"Sat, 21 Mar 2020 18:29:51 +08", kBase},                            // hours only
               {"sam, 21 mars 2020 10:29:51 Z", kBase},                             // weekday and month in French
               {"Sat, Mar 21 2020 06:29:51 AM -0400", kBase},                       // month first, 12-hour clock
               {"Sat, Mar 21 2020 12:29:51 PM +0200", kBase},                       // noon is 12 PM
               {"Sat, 21 Mar 2020 24:00:00 GMT", FromCivil(2020, 3, 22, 0, 0, 0)},  // end of day
               {"Sat, 21 Mar 2020 10:29 GMT", kBase - 51},                          // no seconds
               {"21 Mar 2020", FromCivil(2020, 3, 21, 0, 0, 0)},                    // no time
               {"Sat, 21 Mar 2020 10:29:51", kBase},                                // no zone: UTC
               {"Sat, 21 Mar 2020 10:29:51 +:", kBase},                             // a zone without digits: UTC
               {"1 Mar 99 10:29:51 GMT", FromCivil(1999, 3, 1, 10, 29, 51)},        // 99: 1999
               {"Saturday, 21-Mar-20 10:29:51 GMT", kBase},                         // RFC 850
               {"Sun Mar  1 10:29:51 1999", FromCivil(1999, 3, 1, 10, 29, 51)},     // asctime
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
      {{{"Expires", "Sunday, 06-Dec-26 08:02:00 GMT"}}, 120},  // no Date: against now
      {{{"Expires", "0"}}, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(newssvc::FreshnessSeconds(c.headers, kNow), c.seconds);
}

TEST(HeaderRules, RetryAfterInSecondsOrAsADate) {
  EXPECT_EQ(newssvc::RetryAfterSeconds({{"Retry-After", " 120 "}}, kNow), 120);
  EXPECT_EQ(newssvc::RetryAfterSeconds({{"retry-after", "Sun Dec  6 08:00:30 2026"}}, kNow), 30);
  EXPECT_EQ(newssvc::RetryAfterSeconds({{"Retry-After", "Sun, 06 Dec 2026 07:00:00 GMT"}}, kNow), 0);
  EXPECT_EQ(newssvc::RetryAfterSeconds({{"Retry-After", "soon"}}, kNow), -1);
  EXPECT_EQ(newssvc::RetryAfterSeconds({}, kNow), -1);
}

TEST(HeaderRules, CharsetOfContentType) {
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
      {"Big-5", big5},
      {"big5", "<?xml version=\"1.0\"?>" + big5},
      {"big5", "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + big5},
      {"big5", "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + utf8},
      {"big5", "\xEF\xBB\xBF" + utf8},
      {"", "<?xml version=\"1.0\" encoding=\"big5\"?>" + big5},
      {"big5", "<?xml-stylesheet href=\"s.xsl\" type=\"text/xsl\"?>" + big5},
      {"big5", "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + big5 + "&"},  // broken too
      {"cp950", big5},
      // A charset that is no token is no charset, even one iconv knows: the body reads as it says it is.
      {"iso-8859-1\" standalone=\"no", utf8},
      {"iso_8859-1:1987", utf8},
  };
  for (const auto& c : cases) {
    std::vector<newssvc::FeedItem> items;
    EXPECT_TRUE(newssvc::ReadFetchedFeed(c.body, c.httpCharset, items)) << c.body;
    EXPECT_EQ(items.empty() ? "(none)" : items[0].title, newssvc_test::kUtf8Title) << c.body;
  }
}

FeedItem Item(const char* id, const char* link, const char* title, newssvc::UtcSeconds time) {
  return {id, title, link, "", {}, time != 0, time};
}

StoredItem Stored(const std::string& key, long serial, newssvc::UtcSeconds time) {
  return {key, serial, 0, time, {}, {}, {}, {}};
}

TEST(ItemStore, ReadingTheSameFeedAgainFindsNothingNew) {
  // Identity by guid, else link, else title: each item below differs from its twin in every other field.
  const std::vector<FeedItem> first = {Item("g1", "l1", "t1", 100), Item("", "l2", "t2", 200), Item("", "", "t3", 300),
                                       Item("g1", "l1", "t1", 100)};
  const std::vector<FeedItem> again = {Item("g1", "lx", "tx", 999), Item("", "l2", "ty", 999), Item("", "", "t3", 999)};
  CItemStore store;
  EXPECT_EQ(store.TakeUnseen(first).size(), 3u);
  EXPECT_TRUE(store.TakeUnseen(again).empty());
  EXPECT_EQ(store.TakeUnseen({Item("g4", "", "", 0)}).size(), 1u);
  EXPECT_EQ(store.TakeUnseen(first).size(), 3u);  // neither stored nor in the last read: forgotten
}

TEST(ItemStore, KeepsNewestFirstAndDropsItsOldestWithoutTakingThemBackAtTheNextRead) {
  std::vector<FeedItem> feed;
  std::vector<StoredItem> items;
  for (int i = 0; i <= static_cast<int>(CItemStore::kMaxItems); ++i) {
    feed.push_back(Item(("g" + std::to_string(i)).c_str(), "", "t", 1000 + i));
    items.push_back(Stored("g" + std::to_string(i), i + 1, 1000 + i % 2));
  }
  CItemStore store;
  ASSERT_EQ(store.TakeUnseen(feed).size(), CItemStore::kMaxItems + 1);
  store.Add(items);
  EXPECT_EQ(store.Items().size(), CItemStore::kMaxItems);
  EXPECT_EQ(store.Items().front().key, "g1999");  // the newest, numbered last
  EXPECT_EQ(store.Items().back().key, "g2");      // g0, the oldest with the lowest number, went
  EXPECT_TRUE(store.TakeUnseen(feed).empty());
  store.Renumber("g2", 9999);
  EXPECT_EQ(store.Items()[1000].key, "g2");  // first of the older time
  EXPECT_EQ(store.Find(9999)->key, "g2");
  EXPECT_EQ(store.Find(3)->key, "g2");  // by the number it had too
  EXPECT_EQ(store.Find(1), nullptr);    // g0 went
}

}  // namespace
