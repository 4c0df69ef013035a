// The service's configuration file: any encoding, listing order, poll interval, zone and symbol words.
#include <gtest/gtest.h>

#include "libs/newssvc/ServiceConfig.h"
#include "tests/newssvc/ServiceFixture.h"

namespace newssvc_test {
namespace {

using newssvc::ServiceConfig;

TEST(ServiceConfig, ReadsABig5FileInListingOrderAndRefusesOtherFiles) {
  FeedFolder folder;
  // Group 台股 with providers 2 and 1 (in that order), then group 國際; words 台積電 for symbol 2330.
  folder.Write("svc.xml",
               "<?xml version=\"1.0\" encoding=\"big5\"?>\n"
               "<RSSNewsService pollMilliseconds=\"5\" timeZone=\"UTC-05:00\">"
               "<Category name=\"\xA5\x78\xAA\xD1\"><Provider id=\"P2\" name=\"\xB3\x5C\" source=\"b.xml\"/>"
               "<Provider id=\"P1\" name=\"one\" source=\"/abs/a.xml\"/><Provider name=\"no id\"/></Category>"
               "<Category name=\"\xB0\xEA\xBB\xDA\"/>"
               "<Symbol id=\"2330\" words=\"\xA5\x78\xBF\x6E\xB9\x71,TSMC\"/></RSSNewsService>");
  ServiceConfig config;
  ASSERT_TRUE(ServiceConfig::Load((folder.Path() + "/svc.xml").c_str(), config));
  ASSERT_EQ(config.groups.size(), 2u);
  EXPECT_EQ(config.groups[0].name.str(), "\xA5\x78\xAA\xD1");
  ASSERT_EQ(config.groups[0].providers.size(), 2u);  // a provider without an ID is left out
  EXPECT_EQ(config.groups[0].providers[0].id, "P2");
  EXPECT_EQ(config.groups[0].providers[0].name.str(), "\xB3\x5C");          // trail byte 0x5C survives
  EXPECT_EQ(config.pollMilliseconds, ServiceConfig::kMinPollMilliseconds);  // 5 ms is raised to the minimum
  EXPECT_EQ(config.zoneOffsetSeconds, -5 * 3600);
  ASSERT_EQ(config.symbolWords.size(), 1u);
  EXPECT_EQ(config.symbolWords[0].words,
            (std::vector<std::string>{"\xE5\x8F\xB0\xE7\xA9\x8D\xE9\x9B\xBB", "TSMC"}));  // UTF-8 for matching

  // Not a service configuration, or no file at all.
  folder.Write("other.xml", "<?xml version=\"1.0\"?><RSSNews RSSNewsItems=\"A\"/>");
  EXPECT_FALSE(ServiceConfig::Load((folder.Path() + "/other.xml").c_str(), config));
  EXPECT_FALSE(ServiceConfig::Load((folder.Path() + "/missing.xml").c_str(), config));
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
    if (c.valid) {
      EXPECT_EQ(offset, c.offset) << c.text;
    }
  }
}

}  // namespace
}  // namespace newssvc_test
