// The session over real files: text conversion into the records, change reports, bookings, tasks,
// categories, missing feeds, the sink's threading rules, and feeds that are broken or built to hurt (each is
// skipped, the items read before stay, and the next good version of the feed is reported).
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "libs/newssvc/WTRSSNewsSvc.h"
#include "libs/newssvc/session/FeedCatalog.h"
#include "libs/vxutil/XMLHelper.h"
#include "tests/newssvc/ServiceFixture.h"

namespace newssvc_test {
namespace {

TEST_F(SessionTest, TitlesReachTheRecordBlockInBig5FromBig5AndUtf8FeedsAndStayWhenTheFileGoes) {
  m_folder.Write("b.xml", RssFeed("big5", {{"b1", kBig5Title, "", {}}}));
  m_folder.Write("c.xml", RssFeed("utf-8", {{"c1", kUtf8Title, "", {}}}));
  ASSERT_TRUE(Eventually([&] { return CountHeadlines("B") == 1 && CountHeadlines("C") == 1; }));
  for (const char* provider : {"B", "C"}) {
    Headlines list;
    ASSERT_EQ(m_session->GetTotalHeadline(provider, list), 0);
    ASSERT_EQ(list.size(), 1u) << provider;
    EXPECT_EQ(newssvc::BlockTitle(list[0]).str(), kBig5Title) << provider;
    CString content;
    ASSERT_EQ(m_session->GetNewsContent(provider, list[0].lKey1, list[0].lKey2, content), 0);
    EXPECT_EQ(content.str(), "<a href='" + newssvc::BlockLink(list[0]).str() + "'>" + kBig5Title + "</a>body of " +
                                 (provider == std::string("B") ? "b1" : "c1"));
  }
  std::filesystem::remove(m_folder.Path() + "/c.xml");  // c.xml was missing until now, and is again: its items stay
  SettleDown();
  EXPECT_EQ(CountHeadlines("C"), 1);
  EXPECT_EQ(CountHeadlines("unknown"), -1);
}

// The content's first link target (the text between "<a href='" and the next "'") is the item's link.
TEST_F(SessionTest, MarkupReachesTheListAsTextAndTheContentCleanedWithTheItemsLinkFirst) {
  const TestItem item{
      "h'1",
      "safe&lt;script&gt;alert(1)&lt;/script&gt; &lt;img src=x onerror=alert(1)&gt;&lt;iframe src=http://evil/&gt;"
      "&lt;/iframe&gt;&lt;meta http-equiv=Refresh content=0&gt;&lt;blink&gt;a&amp;lt;b",
      "",
      {},
      "&lt;script&gt;x()&lt;/script&gt;&lt;img src=x onerror=y()&gt;&lt;a href='javascript:z()'&gt;js&lt;/a&gt;"};
  m_folder.Write("c.xml", RssFeed("utf-8", {item}));
  ASSERT_TRUE(Eventually([&] { return CountHeadlines("C") == 1; }));
  Headlines list;
  ASSERT_EQ(m_session->GetTotalHeadline("C", list), 0);
  EXPECT_EQ(newssvc::BlockTitle(list[0]).str(), "safe a<b");
  CString content;
  ASSERT_EQ(m_session->GetNewsContent("C", list[0].lKey1, list[0].lKey2, content), 0);
  EXPECT_EQ(content.str(), "<a href='http://news.example/h%271'>safe a&lt;b</a>body of h'1<a>js</a>");
}

TEST_F(SessionTest, ListsAreNewestFirstInTheConfiguredZone) {
  m_folder.Write("b.xml", RssFeed("utf-8", {{"old", "old", "Fri, 04 Dec 2026 23:59:00 +0000", {}},
                                            {"new", "new", "2026-12-05T01:00:00Z", {}}}));
  m_session->UpdateProviderCache();
  ASSERT_TRUE(m_sink.WaitFor("provider B 20261205"));
  Headlines list;
  ASSERT_EQ(m_session->GetTotalHeadline("B", list), 0);
  ASSERT_EQ(list.size(), 2u);
  // 23:59 UTC is 07:59 the next morning in Taipei.
  EXPECT_EQ(std::string(list[0].szDate) + list[0].szTime + " " + list[1].szDate + list[1].szTime,
            "20261205090000 20261205075900");
  EXPECT_TRUE(Titles("B", 20261204).empty());
}

TEST_F(SessionTest, AChangedFeedIsReportedOnceToItsBookedProviderAndNeverToUnbookedOnes) {
  m_session->BookProviderNews("A,B");
  m_folder.Write("a.xml", RssFeed("utf-8", {kA1, kA2}));
  m_folder.Write("c.xml", RssFeed("utf-8", {{"c1", "unbooked", "", {}}}));
  ASSERT_TRUE(m_sink.WaitFor("provider A 20261206"));
  // The same items written again (a new modification time) are no news.
  m_folder.Write("a.xml", RssFeed("utf-8", {kA2, kA1}));
  SettleDown();
  EXPECT_EQ(m_sink.Events(), std::vector<std::string>{"provider A 20261206"});
  EXPECT_EQ(CountHeadlines("A"), 2);
  EXPECT_EQ(CountHeadlines("C"), 1);
}

TEST_F(SessionTest, BookingsAreCountedPerIdText) {
  m_session->BookProviderNews("A");
  m_session->BookProviderNews("A");
  m_session->UnbookProviderNews("A");
  m_folder.Write("a.xml", RssFeed("utf-8", {kA2}));
  ASSERT_TRUE(m_sink.WaitFor("provider A 20261206"));
  m_session->UnbookProviderNews("A");
  m_folder.Write("a.xml", RssFeed("utf-8", {kA3}));
  ASSERT_TRUE(Eventually([&] { return CountHeadlines("A") == 3; }));
  SettleDown();
  EXPECT_EQ(m_sink.Count("provider A 20261207"), 0);
}

TEST_F(SessionTest, SymbolNewsComesFromCategoriesAndConfiguredWords) {
  m_session->BookSymbolNews_Date("2330", 0, "A,B");
  m_folder.Write("a.xml", RssFeed("utf-8", {{"a2", "tagged", "Sun, 06 Dec 2026 09:00:00 +0800", {"2330"}},
                                            {"a3", "TSMC beats", "Mon, 07 Dec 2026 09:00:00 +0800", {}},
                                            {"a4", "other", "Mon, 07 Dec 2026 10:00:00 +0800", {"2317"}}}));
  ASSERT_TRUE(m_sink.WaitFor("symbol A 2330 20261206"));
  ASSERT_TRUE(m_sink.WaitFor("symbol A 2330 20261207"));
  Headlines list;
  ASSERT_EQ(m_session->GetSymbolHeadline("A", "2317,2330", list), 0);
  EXPECT_EQ(list.size(), 3u);
  EXPECT_EQ(Titles("A", 20261207, "2330"), std::vector<std::string>{"TSMC beats"});
}

TEST_F(SessionTest, TotalHeadlineRequestsAreAnsweredOnceUnlessCancelled) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  m_sink.onEvent = [released](const std::string& event) {
    if (event == "task A 1") released.wait();  // holds the service's thread
  };
  ASSERT_EQ(m_session->ReqTotalHeadline("A", 1), 0);
  ASSERT_TRUE(m_sink.WaitFor("task A 1"));
  ASSERT_EQ(m_session->ReqTotalHeadline("A", 2), 0);
  ASSERT_EQ(m_session->ReqTotalHeadline("B", 2), 0);
  EXPECT_EQ(m_session->CancelTotalHeadline(2), 0);
  EXPECT_NE(m_session->CancelTotalHeadline(2), 0);  // nothing left to cancel
  ASSERT_EQ(m_session->ReqTotalHeadline("B", 3), 0);
  EXPECT_NE(m_session->ReqTotalHeadline("nobody", 4), 0);
  release.set_value();
  ASSERT_TRUE(m_sink.WaitFor("task B 3"));  // requests are answered in order, so task 2 had its turn
  SettleDown();
  EXPECT_EQ(m_sink.Events(), (std::vector<std::string>{"task A 1", "task B 3"}));
}

TEST_F(SessionTest, ACategoryChangeIsReportedOnceAndABrokenConfigurationChangesNothing) {
  m_folder.Write("RSSNewsSvc.xml", "<?xml version=\"1.0\"?><RSSNewsService><Category");
  SettleDown();
  EXPECT_EQ(m_session->GetCategoryCount(), 1);
  EXPECT_EQ(m_sink.Count("category"), 0);
  m_folder.WriteConfig("<Category name=\"More\"><Provider id=\"D\" name=\"Delta\" source=\"d.xml\"/></Category>");
  ASSERT_TRUE(m_sink.WaitFor("category"));
  EXPECT_EQ(m_session->GetCategoryCount(), 2);
  IRSSNewsCategory* category = m_session->GetCategory(1);
  ASSERT_NE(category, nullptr);
  EXPECT_EQ(category->GetItemID(0), "D");
  category->Release();
  EXPECT_EQ(CountHeadlines("A"), 1);  // items of providers that stay are kept
  SettleDown();
  EXPECT_EQ(m_sink.Count("category"), 1);
}

TEST_F(SessionTest, TheSinkMayCallBackAndLogoutWaitsForARunningEvent) {
  std::promise<void> inside;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> fetched{-1};
  m_sink.onEvent = [&, released](const std::string& event) {
    if (event != "provider A 20261206") return;
    Headlines list;
    m_session->GetProviderHeadline_Date("A", 20261206, list);  // back into the service, inside the event
    fetched = static_cast<int>(list.size());
    inside.set_value();
    released.wait();
  };
  m_session->BookProviderNews("A");
  m_folder.Write("a.xml", RssFeed("utf-8", {kA2}));
  inside.get_future().wait();
  EXPECT_EQ(fetched, 1);
  auto logout = std::async(std::launch::async, [&] { return m_session->Logout(&m_sink); });
  EXPECT_EQ(logout.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  release.set_value();
  EXPECT_EQ(logout.get(), 1);
  m_folder.Write("a.xml", RssFeed("utf-8", {kA3}));
  SettleDown();
  EXPECT_EQ(m_sink.Count("provider A 20261207"), 0);  // logged out: nothing more arrives
}

// A host that closes the session from inside an event, as a view's Finit does: nothing waits for itself, the
// session stays whole while the event runs and ends after it (its archive is closed), and no thread of the
// session touches it then (AddressSanitizer sees any that does).
TEST_F(SessionTest, ASessionClosedFromInsideItsOwnEventEndsWhenTheEventHasReturned) {
  const std::string wal = ArchivePath() + "-wal";  // there while the archive is open
  std::promise<std::string> closed;
  m_sink.onEvent = [&](const std::string&) {
    IWTRSSNewsSvc* session = m_session.release();
    const int loggedOut = session->Logout(&m_sink);
    session->Disconnect();
    QMReleaseWTRSSNewsSvc(&session);
    closed.set_value(std::to_string(loggedOut) + (std::filesystem::exists(wal) ? " open" : " closed"));
  };
  m_session->ReqTotalHeadline("A", 5);
  std::future<std::string> done = closed.get_future();
  ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(done.get(), "1 open");
  EXPECT_TRUE(Eventually([&] { return !std::filesystem::exists(wal); }));
}

// Connect returns before any feed is read: the first poll reads them on the service's thread and reports
// them to the providers booked by then, as every later poll does.
TEST_F(SessionTest, TheFirstPollReadsOnTheServiceThreadAndReports) {
  Stop();
  // Ill-formed: the catalog logs it as it reads it.
  m_folder.Write("a.xml", RssFeed("utf-8", {{"a9", "A & B", "Sat, 05 Dec 2026 09:00:00 +0800", {}}}));
  const std::thread::id caller = std::this_thread::get_id();
  std::atomic<bool> readByCaller{false};
  Start("A", [&] { m_session->Catalog().SetLog([&](auto&) { readByCaller = std::this_thread::get_id() == caller; }); });
  EXPECT_EQ(m_sink.Events(), std::vector<std::string>{"provider A 20261205"});
  EXPECT_FALSE(readByCaller);
}

TEST(SessionLibrary, TheFactoryNeedsAConfigurationAndCacheUpdatesAlwaysReport) {
  FeedFolder folder;
  EXPECT_EQ(QMGetWTRSSNewsSvc("", "", folder.Path().c_str()), nullptr);
  folder.WriteConfig();
  folder.Write("a.xml", RssFeed("utf-8", {kA1}));
  IWTRSSNewsSvc* session = QMGetWTRSSNewsSvc("", "+00:00", folder.Path().c_str());
  ASSERT_NE(session, nullptr);
  RecordingSink sink;
  session->Login(&sink);
  ASSERT_NE(session->Connect(), 0);
  QMRSSNewsSvc_UpdateProviderCache();
  EXPECT_TRUE(sink.WaitFor("provider A 20261205"));  // the zone from the factory: 01:00 UTC
  EXPECT_TRUE(sink.WaitFor("provider B 0"));         // a provider without items still hears back
  QMRSSNewsSvc_UpdateSymbolCache("2330", 20261205);
  EXPECT_TRUE(sink.WaitFor("symbol C 2330 20261205"));
  session->Logout(&sink);
  session->Disconnect();
  QMReleaseWTRSSNewsSvc(&session);
  EXPECT_EQ(session, nullptr);
  QMRSSNewsSvc_UpdateProviderCache();  // no session left: nothing to reach
}

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
                         ::testing::Values(HostileCase{"EntityBomb", EntityBomb}, HostileCase{"Oversized", Oversized}),
                         [](const ::testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

// What the catalog logs of a feed it repaired, and of one it could not read: once, while their files stay the same.
TEST(FeedCatalogLog, SaysWhichFeedWasIllFormedAndWhichUnreadable) {
  FeedFolder folder;
  folder.WriteConfig();
  folder.Write("a.xml", RssFeed("utf-8", {{"a1", "A & B", "", {}}}));
  folder.Write("b.xml", "<rss><channel><title>nothing</title></rss>");
  newssvc::CFeedCatalog catalog(CString((folder.Path() + "/RSSNewsSvc.xml").c_str()), CString(folder.Path().c_str()));
  std::vector<std::string> lines;
  catalog.SetLog([&](const std::string& line) { lines.push_back(line); });
  ASSERT_TRUE(catalog.Config().Load());
  const newssvc::PollResult result = catalog.Poll(true, 0);
  ASSERT_EQ(result.changes.size(), 1u);
  EXPECT_EQ(result.changes[0].providerID, "A");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("a.xml is ill-formed"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("b.xml cannot be read"), std::string::npos) << lines[1];
  // Reloaded with one more provider: feeds whose files stayed the same are not read, nor logged, again.
  folder.WriteConfig("<Category name=\"More\"><Provider id=\"D\" name=\"Delta\" source=\"d.xml\"/></Category>");
  catalog.Poll(false, 0);
  catalog.Poll(false, 0);
  EXPECT_EQ(lines.size(), 2u);
}

}  // namespace
}  // namespace newssvc_test
