// Notifications to all views, the provider list's replacement and cache refreshes.
#include <gmock/gmock.h>

#include "tests/news/ManagerTestSupport.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RefreshTest : public ManagerTest {
 protected:
  // v1 holds the provider booking, v2 a symbol booking.
  void Register(const CString& strProviderIDs) {
    Open(strProviderIDs);
    mgr.AddNotify(&v1);
    mgr.AddNotify(&v2, "2330", 5);
    log.Clear();
  }
};

TEST_F(RefreshTest, ToANewListUnbooksRebooksClearsThenAnnounces) {
  Register("11,12");
  const int nBefore = mgr.GetRefCount();
  mgr.RefreshProviderIDs("13");
  EXPECT_THAT(log.Entries(),
              ElementsAre("UnbookProviderNews(11,12)", "UnbookSymbolNews_Date(2330;5;11,12)", "BookProviderNews(13)",
                          "BookSymbolNews_Date(2330;5;13)", "v1.OnHeadlineClear()", "v2.OnHeadlineClear()",
                          "v1.OnProviderHeadlineChange(13;0)", "v2.OnSymbolHeadlineChange(13;2330;0)"));
  EXPECT_EQ(mgr.GetRefCount(), nBefore);
  EXPECT_EQ(mgr.GetProviderIDs(), "13");
}

TEST_F(RefreshTest, WithTheSameListRebooksEverythingAndKeepsTheViews) {
  Register("11,12");
  mgr.RefreshProviderIDs("11,12");
  EXPECT_THAT(log.Matching("Unbook"), ElementsAre("UnbookProviderNews(11,12)", "UnbookSymbolNews_Date(2330;5;11,12)"));
  EXPECT_THAT(log.Matching("Book"), ElementsAre("BookProviderNews(11,12)", "BookSymbolNews_Date(2330;5;11,12)"));
  EXPECT_THAT(log.Matching("v2.OnSymbol"),
              ElementsAre("v2.OnSymbolHeadlineChange(11;2330;0)", "v2.OnSymbolHeadlineChange(12;2330;0)"));
  EXPECT_EQ(CRssNewsMgrTestAccess::Bookings(mgr), 2u);
}

TEST_F(RefreshTest, ToAnEmptyListUnbooksAndClearsWithoutAnnouncing) {
  Register("11,12");
  mgr.RefreshProviderIDs("");
  EXPECT_THAT(log.Entries(), ElementsAre("UnbookProviderNews(11,12)", "UnbookSymbolNews_Date(2330;5;11,12)",
                                         "v1.OnHeadlineClear()", "v2.OnHeadlineClear()"));
  log.Clear();
  mgr.RefreshProviderIDs("11");
  EXPECT_THAT(log.Entries(), ElementsAre("BookProviderNews(11)", "BookSymbolNews_Date(2330;5;11)",
                                         "v1.OnHeadlineClear()", "v2.OnHeadlineClear()",
                                         "v1.OnProviderHeadlineChange(11;0)", "v2.OnSymbolHeadlineChange(11;2330;0)"))
      << "from an empty list nothing is unbooked and the provider views move to the new list";
}

TEST_F(ManagerTest, NotifyAllLetsAViewsExceptionThroughAndLeavesNothingLocked) {
  Open("11,12,13");
  mgr.AddNotify(&v1);
  mgr.AddNotify(&v2, "2330", 5);
  v2.SetHook([](const std::string&) { throw std::runtime_error("view failed"); });
  EXPECT_THROW(CRssNewsMgrTestAccess::NotifyAllObj(mgr, CRssNewsMgr::NOTIFY_CLEAR, "", CRssNewsMgr::EVENT_ALL),
               std::runtime_error);
  // Nothing stays locked or marked running after the exception.
  RunBounded("RemoveNotify after a throwing view", std::chrono::seconds(10),
             [this] { EXPECT_TRUE(mgr.RemoveNotify(&v2, "")); });
  EXPECT_EQ(mgr.GetRefCount(), 1);
}

TEST_F(ManagerTest, UIRefreshAsksOncePerBookingUntilItsHeadlinesArrive) {
  Open();
  mgr.AddNotify(&v1);
  mgr.AddNotify(&v2, "2330", 5);
  log.Clear();
  mgr.UIRefresh(&v1);
  mgr.UIRefresh(&v1);
  mgr.UIRefresh(&v2);
  mgr.UIRefresh(&v2);
  mgr.UIRefresh(&v3);
  EXPECT_THAT(log.Entries(), ElementsAre("UpdateProviderCache()", "UpdateSymbolCache(2330;5)"));
  mgr.OnSymbolNewsHeadLineChange_Date("11", "2330", 5);
  log.Clear();
  mgr.UIRefresh(&v2);
  EXPECT_THAT(log.Entries(), ElementsAre("UpdateSymbolCache(2330;5)"));
}

TEST_F(ManagerTest, ProviderBookingIsRecognisedCaseSensitivelyWhenNotifyingButNotWhenUnbooking) {
  Open("a,b");
  mgr.AddNotify(&v1);
  mgr.AddNotify(&v2, "A,B", 1);  // a symbol booking whose text differs from the list only in case
  log.Clear();
  CRssNewsMgrTestAccess::NotifyAllObj(mgr, CRssNewsMgr::NOTIFY_CLEAR, "x", CRssNewsMgr::EVENT_PROVIDER);
  EXPECT_THAT(log.Entries(), ElementsAre("v1.OnHeadlineClear(x)"));
  log.Clear();
  mgr.RemoveNotify(&v2, "");
  EXPECT_THAT(log.Entries(), ElementsAre("UnbookProviderNews(A,B)"));
}
