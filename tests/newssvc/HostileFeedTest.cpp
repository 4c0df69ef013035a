// Feeds that are broken or built to hurt: each is skipped, the items read before stay, and the service
// goes on reporting the next good version of the feed.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "libs/newssvc/FeedCatalog.h"
#include "libs/vxutil/XMLHelper.h"
#include "tests/newssvc/ServiceFixture.h"

namespace newssvc_test {
namespace {

struct HostileCase {
  const char* name;
  std::string (*make)();
};

std::string EntityBomb() {
  std::string doc = "<?xml version=\"1.0\"?>\n<!DOCTYPE rss [<!ENTITY a \"aaaaaaaaaa\">";
  for (char c = 'b'; c <= 'k'; ++c) {  // each entity ten of the one before: 10^10 bytes in the end
    std::string value;
    for (int i = 0; i < 10; ++i) value += std::string("&") + static_cast<char>(c - 1) + ";";
    doc += std::string("<!ENTITY ") + c + " \"" + value + "\">";
  }
  return doc + "]>\n<rss version=\"2.0\"><channel><item><title>&k;</title><guid>bomb</guid></item></channel></rss>";
}

// Cut off before its first item: nothing in it can be read, so it is no newer version of the feed.
std::string Truncated() {
  const std::string whole = RssFeed("utf-8", {{"t1", "cut short", "", {}}});
  return whole.substr(0, whole.find("<item>"));
}

std::string Oversized() { return RssFeed("utf-8", {{"big", std::string(CXMLHelper::kMaxFileSize, 'x'), "", {}}}); }

class HostileFeed : public SessionTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileFeed, IsSkippedWithTheLastGoodItemsKept) {
  m_session->BookProviderNews("A");
  m_folder.Write("a.xml", GetParam().make());
  SettleDown();
  EXPECT_EQ(CountHeadlines("A"), 1);
  EXPECT_TRUE(m_sink.Events().empty());

  const auto start = std::chrono::steady_clock::now();
  m_folder.Write("a.xml", RssFeed("utf-8", {kA1, {"a2", "next", "Sun, 06 Dec 2026 09:00:00 +0800", {}}}));
  EXPECT_TRUE(m_sink.WaitFor("provider A 20261206"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(CountHeadlines("A"), 2);
}

INSTANTIATE_TEST_SUITE_P(Feeds, HostileFeed,
                         ::testing::Values(HostileCase{"EntityBomb", EntityBomb}, HostileCase{"Truncated", Truncated},
                                           HostileCase{"Oversized", Oversized}),
                         [](const ::testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

// What the catalog logs of a feed it repaired, and of one it could not read.
TEST(FeedCatalogLog, SaysWhichFeedWasIllFormedAndWhichUnreadable) {
  FeedFolder folder;
  folder.WriteConfig();
  folder.Write("a.xml", RssFeed("utf-8", {{"a1", "A & B", "", {}}}));
  folder.Write("b.xml", "<rss><channel><title>nothing</title></rss>");
  newssvc::CFeedCatalog catalog(CString((folder.Path() + "/RSSNewsSvc.xml").c_str()), CString(folder.Path().c_str()));
  std::vector<std::string> lines;
  catalog.SetLog([&](const std::string& line) { lines.push_back(line); });
  ASSERT_TRUE(catalog.LoadConfig());
  const newssvc::PollResult result = catalog.Poll(true, 0);
  ASSERT_EQ(result.changes.size(), 1u);
  EXPECT_EQ(result.changes[0].providerID, "A");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("a.xml is ill-formed"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("b.xml cannot be read"), std::string::npos) << lines[1];
}

}  // namespace
}  // namespace newssvc_test
