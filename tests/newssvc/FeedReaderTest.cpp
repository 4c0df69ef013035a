// The feed reader on small feeds of each kind real publishers write, well-formed or not.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "libs/newssvc/FeedBytes.h"
#include "libs/newssvc/FeedReader.h"
#include "libs/newssvc/FeedUrl.h"

namespace {

using newssvc::CFeedReader;
using newssvc::FeedItem;
using newssvc::FromCivil;
using newssvc::UtcSeconds;

const char kRss[] =
    "<rss version='2.0' xmlns:dc='http://purl.org/dc/elements/1.1/' "
    "xmlns:dcterms='http://purl.org/dc/terms/' xmlns:atom='http://www.w3.org/2005/Atom' "
    "xmlns:media='http://search.yahoo.com/mrss/'><channel>";

std::string Rss(const std::string& items) { return kRss + items + "</channel></rss>"; }

struct ReaderCase {
  const char* name;
  std::string feed;
  bool illFormed;
  // The first item's fields; a date of 0 means none.
  std::string title, link, description;
  UtcSeconds date;
};

class FeedReaderCase : public testing::TestWithParam<ReaderCase> {};

TEST_P(FeedReaderCase, ReadsTheFirstItem) {
  const ReaderCase& c = GetParam();
  std::vector<FeedItem> items;
  bool illFormed = !c.illFormed;
  ASSERT_TRUE(CFeedReader::ReadBytes(c.feed, items, &illFormed));
  EXPECT_EQ(illFormed, c.illFormed);
  ASSERT_FALSE(items.empty());
  EXPECT_EQ(items[0].title, c.title);
  EXPECT_EQ(items[0].link, c.link);
  EXPECT_EQ(items[0].description, c.description);
  EXPECT_EQ(items[0].hasDate, c.date != 0);
  if (c.date != 0) {
    EXPECT_EQ(items[0].published, c.date);
  }
}

const UtcSeconds k2004 = FromCivil(2004, 1, 2, 3, 4, 5);
const UtcSeconds k2005 = FromCivil(2005, 1, 2, 3, 4, 5);

INSTANTIATE_TEST_SUITE_P(
    Feeds, FeedReaderCase,
    testing::Values(
        // Atom 0.3: issued before modified, content in base64 or escaped.
        ReaderCase{"Atom03",
                   "<feed version='0.3' xmlns='http://purl.org/atom/ns#'><entry><title>T</title>"
                   "<link rel='self' href='http://a.example/s'/><link rel='alternate' href='http://a.example/1'/>"
                   "<modified>2005-01-02T03:04:05Z</modified><issued>2004-01-02T03:04:05Z</issued>"
                   "<content mode='base64'>M1Z7IWA9\nbztaIXt0</content></entry></feed>",
                   false, "T", "http://a.example/1", "3V{!`=o;Z!{t", k2004},
        ReaderCase{"Atom03Escaped",
                   "<feed version='0.3' xmlns='http://purl.org/atom/ns#'><entry><title>T</title><id>i</id>"
                   "<created>2004-01-02T03:04:05Z</created><modified>2005-01-02T03:04:05Z</modified>"
                   "<content type='text/html' mode='escaped'>&lt;b&gt;hi&lt;/b&gt;</content></entry></feed>",
                   false, "T", "", "<b>hi</b>", k2004},
        // HTML's named references, beyond the few feeds used most.
        ReaderCase{"HtmlEntities", Rss("<item><title>&acirc;&hearts;&shy;&thinsp;&sup2;&amp;</title></item>"), false,
                   "\xC3\xA2\xE2\x99\xA5\xC2\xAD\xE2\x80\x89\xC2\xB2&", "", "", 0},
        // Children of other namespaces are not the item's own.
        ReaderCase{"Namespaces",
                   Rss("<item><media:title>m</media:title><media:description>md</media:description>"
                       "<atom:link rel='self' href='http://self/'/><title>t</title><description>d</description>"
                       "<guid isPermaLink='false'>g</guid></item>"),
                   false, "t", "http://self/", "d", 0},
        // Dates in order of preference, the first that reads.
        ReaderCase{"DateOrder",
                   Rss("<item><title>t</title><dcterms:modified>2003-01-01</dcterms:modified>"
                       "<atom:updated>2005-01-02T03:04:05Z</atom:updated><pubDate>not a date</pubDate>"
                       "<dcterms:issued>2004-01-02T03:04:05Z</dcterms:issued></item>"),
                   false, "t", "", "", k2004},
        ReaderCase{"DateAtomPublishedBeforeIssued",
                   Rss("<item><title>t</title><dcterms:issued>2004-01-02T03:04:05Z</dcterms:issued>"
                       "<atom:published>2005-01-02T03:04:05Z</atom:published></item>"),
                   false, "t", "", "", k2005},
        ReaderCase{"DateModifiedLast",
                   Rss("<item><title>t</title><dcterms:modified>2004-01-02T03:04:05Z</dcterms:modified></item>"), false,
                   "t", "", "", k2004},
        // RSS 1.0: the items are siblings of the channel.
        ReaderCase{"Rss10",
                   "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#' xmlns='http://purl.org/rss/1.0/'>"
                   "<channel/><item><title>t</title><link>http://r.example/1</link></item></rdf:RDF>",
                   false, "t", "http://r.example/1", "", 0},
        // The guid is the link when there is none, unless it says it is no permalink; links are resolved.
        ReaderCase{"GuidAsLink", Rss("<item><title>t</title><guid>http://g.example/1</guid></item>"), false, "t",
                   "http://g.example/1", "", 0},
        ReaderCase{"GuidNotPermalink", Rss("<item><title>t</title><guid isPermaLink='false'>http://g/1</guid></item>"),
                   false, "t", "", "", 0},
        ReaderCase{"XmlBaseRss",
                   "<rss xml:base='http://ex.example/a/b'><channel xml:base='c/'><item><title>t</title>"
                   "<link>../d?q=1</link></item></channel></rss>",
                   false, "t", "http://ex.example/a/d?q=1", "", 0},
        ReaderCase{"XmlBaseAtom",
                   "<feed xmlns='http://www.w3.org/2005/Atom' xml:base='http://ex.example/x/'><entry "
                   "xml:base='/y/'><title>t</title><link href='z.html'/></entry></feed>",
                   false, "t", "http://ex.example/y/z.html", "", 0},
        // Broken feeds are repaired and read.
        ReaderCase{"BareAmpersands", Rss("<item><title>A & B</title><link>http://x.example/?a=1&b=2</link></item>"),
                   true, "A & B", "http://x.example/?a=1&b=2", "", 0},
        ReaderCase{"UndeclaredPrefixes",
                   "<rss><channel><item><media:title>m</media:title><title>t</title>"
                   "<dc:date>2004-01-02T03:04:05Z</dc:date></item></channel></rss>",
                   true, "t", "", "", k2004},
        ReaderCase{"ControlCharacter", Rss("<item><title>a\x08z</title></item>"), true, "az", "", "", 0},
        ReaderCase{"UndeclaredLatin1", Rss("<item><title>caf\xE9</title></item>"), true, "caf\xC3\xA9", "", "", 0},
        ReaderCase{"CutShort", kRss + std::string("<item><title>one</title></item><item><title>two</ti"), true, "one",
                   "", "", 0}),
    [](const testing::TestParamInfo<ReaderCase>& info) { return std::string(info.param.name); });

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

}  // namespace
