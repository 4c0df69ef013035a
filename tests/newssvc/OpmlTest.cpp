// OPML feed lists: read into category groups beside the configuration's own, and written back out.
#include <gtest/gtest.h>

#include <fstream>

#include "libs/newssvc/OpmlFeedList.h"
#include "libs/newssvc/ServiceConfig.h"
#include "tests/libs/TempDir.h"

namespace newssvc_test {
namespace {

class OpmlTest : public ::testing::Test {
 protected:
  void Write(const char* name, const std::string& text) { std::ofstream(m_dir.path() / name) << text; }
  newssvc::ServiceConfig Load(const char* name = "RSSNewsSvc.xml") {
    newssvc::ServiceConfig config;
    EXPECT_TRUE(newssvc::ServiceConfig::Load((m_dir.path() / name).string().c_str(), config));
    return config;
  }
  TempDir m_dir;
};

TEST_F(OpmlTest, GroupsAndFeedsBecomeCategoriesAndProvidersAndExportReadsBackTheSame) {
  Write(
      "feeds.opml",
      "<?xml version=\"1.0\"?><opml version=\"2.0\"><head/><body>"
      "<outline text=\"Markets\"><outline text=\"Nested\">"
      "<outline text=\"CNA &amp; more\" xmlUrl=\"https://a.example/cna.xml\" providerId=\"CNA\" minPollSeconds=\"60\"/>"
      "</outline><outline title=\"Derived\" xmlUrl=\"https://a.example/d.xml\"/></outline>"
      "<outline text=\"Loose\" xmlUrl=\"https://b.example/x.xml\"/></body></opml>");
  Write("RSSNewsSvc.xml",
        "<RSSNewsService opml=\"feeds.opml\"><Category name=\"Own\">"
        "<Provider id=\"F\" name=\"F\" source=\"f.xml\"/></Category></RSSNewsService>");
  const newssvc::ServiceConfig config = Load();
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

  Write("exported.opml", newssvc::ExportOpml(config, "vxRSS"));
  Write("again.xml", "<RSSNewsService opml=\"exported.opml\"/>");
  const newssvc::ServiceConfig again = Load("again.xml");
  EXPECT_TRUE(again.SameCategories(config));
  EXPECT_EQ(again.groups[1].providers[0].minPollSeconds, 60);
}

TEST_F(OpmlTest, AnUnreadableListLeavesTheOwnGroups) {
  Write("RSSNewsSvc.xml", "<RSSNewsService opml=\"missing.opml\"><Category name=\"Own\"/></RSSNewsService>");
  EXPECT_EQ(Load().groups.size(), 1u);
}

}  // namespace
}  // namespace newssvc_test
