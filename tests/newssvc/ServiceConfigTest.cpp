// The service's configuration file: any encoding, listing order, poll interval, zone and symbol words; and
// OPML feed lists, read into category groups beside the configuration's own and written back out.
#include <gtest/gtest.h>

#include "libs/newssvc/OpmlFeedList.h"
#include "libs/newssvc/ServiceConfig.h"
#include "tests/newssvc/ServiceFixture.h"

namespace newssvc_test {
namespace {

using newssvc::ServiceConfig;

bool Load(const FeedFolder& folder, const char* name, ServiceConfig& config) {
  return ServiceConfig::Load((folder.Path() + "/" + name).c_str(), config);
}

TEST(ServiceConfig, ReadsABig5FileInListingOrderAndRefusesOtherFiles) {
  FeedFolder folder;
  // Group 台股 with providers 2 and 1 (in that order), then group 國際; words 台積電 for symbol 2330.
  folder.Write(
      "svc.xml",
      "<?xml version=\"1.0\" encoding=\"big5\"?>\n"
      "<RSSNewsService pollMilliseconds=\"5\" timeZone=\"UTC-05:00\" archiveFolder=\"\xA5\x78\" logFetches=\"1\">"
      "<Category name=\"\xA5\x78\xAA\xD1\"><Provider id=\"P2\" name=\"\xB3\x5C\" source=\"b.xml\"/>"
      "<Provider id=\"P1\" name=\"one\" source=\"/abs/a.xml\" minPollSeconds=\"90000\"/>"
      "<Provider name=\"no id\"/></Category>"
      "<Category name=\"\xB0\xEA\xBB\xDA\"/>"
      "<Symbol id=\"2330\" words=\"\xA5\x78\xBF\x6E\xB9\x71,TSMC\"/></RSSNewsService>");
  ServiceConfig config;
  ASSERT_TRUE(Load(folder, "svc.xml", config));
  ASSERT_EQ(config.groups.size(), 2u);
  EXPECT_EQ(config.groups[0].name.str(), "\xA5\x78\xAA\xD1");
  ASSERT_EQ(config.groups[0].providers.size(), 2u);  // a provider without an ID is left out
  EXPECT_EQ(config.groups[0].providers[0].id, "P2");
  EXPECT_EQ(config.groups[0].providers[0].name.str(), "\xB3\x5C");  // trail byte 0x5C survives
  EXPECT_EQ(config.groups[0].providers[0].minPollSeconds, -1);      // not given
  EXPECT_EQ(config.groups[0].providers[1].minPollSeconds, 86400);   // at most a day
  EXPECT_EQ(config.archiveFolder.str(), "\xA5\x78");
  EXPECT_TRUE(config.logFetches);
  EXPECT_EQ(config.pollMilliseconds, ServiceConfig::kMinPollMilliseconds);  // 5 ms is raised to the minimum
  EXPECT_EQ(config.zoneOffsetSeconds, -5 * 3600);
  ASSERT_EQ(config.symbolWords.size(), 1u);
  EXPECT_EQ(config.symbolWords[0].words,
            (std::vector<std::string>{"\xE5\x8F\xB0\xE7\xA9\x8D\xE9\x9B\xBB", "TSMC"}));  // UTF-8 for matching

  // Not a service configuration, or no file at all.
  folder.Write("other.xml", "<?xml version=\"1.0\"?><RSSNews RSSNewsItems=\"A\"/>");
  EXPECT_FALSE(Load(folder, "other.xml", config));
  EXPECT_FALSE(Load(folder, "missing.xml", config));
}

TEST(ServiceConfig, ZoneOffsets) {
  const struct {
    const char* text;
    bool valid;
    int offset;
  } cases[] = {{"+08:00", true, 8 * 3600},
               {"GMT-0530", true, -(5 * 3600 + 1800)},
               {"Z", true, 0},
               {"+:", false, 0},
               {"+99999999999", false, 0},
               {"0800", false, 0}};
  for (const auto& c : cases) {
    int offset = 0;
    EXPECT_EQ(newssvc::ParseZoneOffset(c.text, offset), c.valid) << c.text;
    EXPECT_EQ(c.valid ? offset : 0, c.offset) << c.text;
  }
}

TEST(OpmlFeedList, GroupsAndFeedsBecomeCategoriesAndProvidersAndExportReadsBackTheSame) {
  FeedFolder folder;
  folder.Write(
      "feeds.opml",
      "<?xml version=\"1.0\"?><opml version=\"2.0\"><head/><body>"
      "<outline text=\"Markets\"><outline text=\"Nested\">"
      "<outline text=\"CNA &amp; more\" xmlUrl=\"https://a.example/cna.xml\" providerId=\"CNA\" minPollSeconds=\"60\"/>"
      "</outline><outline title=\"Derived\" xmlUrl=\"https://a.example/d.xml\"/></outline>"
      "<outline text=\"Loose\" xmlUrl=\"https://b.example/x.xml\"/></body></opml>");
  folder.Write("RSSNewsSvc.xml",
               "<RSSNewsService opml=\"feeds.opml\"><Category name=\"Own\">"
               "<Provider id=\"F\" name=\"F\" source=\"f.xml\"/></Category></RSSNewsService>");
  ServiceConfig config;
  ASSERT_TRUE(Load(folder, "RSSNewsSvc.xml", config));
  ASSERT_EQ(config.groups.size(), 3u);
  EXPECT_EQ(config.groups[0].name, "Own");
  EXPECT_EQ(config.groups[1].name, "Markets");
  EXPECT_EQ(config.groups[2].name, "Feeds");
  ASSERT_EQ(config.groups[1].providers.size(), 2u);
  const newssvc::ProviderConfig& cna = config.groups[1].providers[0];
  EXPECT_EQ(cna.id, "CNA");
  EXPECT_EQ(cna.name, "CNA & more");
  EXPECT_EQ(cna.source, "https://a.example/cna.xml");
  EXPECT_EQ(cna.minPollSeconds, 60);
  const CString derived = config.groups[1].providers[1].id;
  EXPECT_EQ(config.groups[1].providers[1].name, "Derived");
  EXPECT_EQ(derived, newssvc::ProviderIdForUrl("https://a.example/d.xml"));
  EXPECT_NE(derived, config.groups[2].providers[0].id);
  EXPECT_EQ(derived.Find(','), -1);

  folder.Write("exported.opml", newssvc::ExportOpml(config, "vxRSS"));
  folder.Write("again.xml", "<RSSNewsService opml=\"exported.opml\"/>");
  ServiceConfig again;
  ASSERT_TRUE(Load(folder, "again.xml", again));
  EXPECT_TRUE(again.SameCategories(config));
  EXPECT_EQ(again.groups[1].providers[0].minPollSeconds, 60);
}

TEST(OpmlFeedList, AMissingListOrOneThatIsNotOpmlLeavesTheOwnGroups) {
  FeedFolder folder;
  folder.Write("rss.opml",
               "<?xml version=\"1.0\"?><rss><body><outline text=\"G\"><outline xmlUrl=\"x\"/></outline></body></rss>");
  for (const std::string list : {"missing.opml", "rss.opml"}) {
    folder.Write("RSSNewsSvc.xml", "<RSSNewsService opml=\"" + list + "\"><Category name=\"Own\"/></RSSNewsService>");
    ServiceConfig config;
    ASSERT_TRUE(Load(folder, "RSSNewsSvc.xml", config));
    EXPECT_EQ(config.groups.size(), 1u) << list;
  }
}

}  // namespace
}  // namespace newssvc_test
