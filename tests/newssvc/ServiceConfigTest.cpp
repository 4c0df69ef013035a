// The service's configuration file: any encoding, listing order, poll interval, zone and symbol words; and
// OPML feed lists, read into category groups beside the configuration's own and written back out.
#include <gtest/gtest.h>

#include "libs/newssvc/config/OpmlFeedList.h"
#include "libs/newssvc/config/ServiceConfig.h"
#include "tests/newssvc/ServiceFixture.h"

namespace newssvc_test {
namespace {

using newssvc::ServiceConfig;

bool Load(const FeedFolder& folder, const char* name, ServiceConfig& config) {
  return ServiceConfig::Load((folder.Path() + "/" + name).c_str(), config);
}

// Each group as "name: id/name/source/minPollSeconds ...", to compare in one go.
std::vector<std::string> Groups(const ServiceConfig& config) {
  std::vector<std::string> groups;
  for (const newssvc::CategoryGroup& group : config.groups) {
    groups.push_back(group.name.str() + ":");
    for (const newssvc::ProviderConfig& p : group.providers)
      groups.back() +=
          " " + p.id.str() + "/" + p.name.str() + "/" + p.source.str() + "/" + std::to_string(p.minPollSeconds);
  }
  return groups;
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
  // A provider without an ID is left out, a trail byte 0x5C survives, minPollSeconds is -1 when not given and
  // at most a day.
  EXPECT_EQ(Groups(config), (std::vector<std::string>{"\xA5\x78\xAA\xD1: P2/\xB3\x5C/b.xml/-1 P1/one//abs/a.xml/86400",
                                                      "\xB0\xEA\xBB\xDA:"}));
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
  folder.Write("feeds.opml",
               "<?xml version=\"1.0\"?><opml version=\"2.0\"><head/><body>"
               "<outline text=\"Markets\"><outline text=\"Nested\">"
               "<outline text=\"CNA &amp;&#9;more&#10;&#13;\" xmlUrl=\"https://a.example/cna.xml\" providerId=\"CNA\" "
               "minPollSeconds=\"60\"/>"
               "</outline><outline title=\"Derived\" xmlUrl=\"https://a.example/d.xml\" minPollSeconds=\"-5\"/>"
               // A list from elsewhere names no file on this machine.
               "<outline text=\"L\" xmlUrl=\"/etc/passwd\"/><outline text=\"U\" xmlUrl=\"../x.xml\"/></outline>"
               "<outline text=\"Loose\" xmlUrl=\"https://b.example/x.xml\"/></body></opml>");
  folder.Write("RSSNewsSvc.xml",
               "<RSSNewsService opml=\"feeds.opml\"><Category name=\"Own\">"
               "<Provider id=\"F\" name=\"F\" source=\"http://f/\"/></Category></RSSNewsService>");
  ServiceConfig config;
  ASSERT_TRUE(Load(folder, "RSSNewsSvc.xml", config));
  const CString derived = newssvc::ProviderIdForUrl("https://a.example/d.xml");
  const CString loose = newssvc::ProviderIdForUrl("https://b.example/x.xml");
  EXPECT_EQ(Groups(config), (std::vector<std::string>{"Own: F/F/http://f//-1",
                                                      "Markets: CNA/CNA &\tmore\n\r/https://a.example/cna.xml/60 " +
                                                          derived.str() + "/Derived/https://a.example/d.xml/0",
                                                      "Feeds: " + loose.str() + "/Loose/https://b.example/x.xml/-1"}));
  EXPECT_NE(derived, loose);
  EXPECT_EQ(derived.Find(','), -1);

  folder.Write("exported.opml", newssvc::ExportOpml(config.groups, "vxRSS"));
  folder.Write("again.xml", "<RSSNewsService opml=\"exported.opml\"/>");
  ServiceConfig again;
  ASSERT_TRUE(Load(folder, "again.xml", again));
  EXPECT_TRUE(again.SameCategories(config));
  EXPECT_EQ(Groups(again), Groups(config));
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
