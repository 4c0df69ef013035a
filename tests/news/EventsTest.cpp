// Headline events, the change set and its delivery pass, total-headline tasks.
#include <gmock/gmock.h>

#include "tests/news/ManagerTestSupport.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST_F(ManagerTest, ProviderEventForAnIDInsideTheListReachesTheProviderBooking) {
  Open("11,12");
  mgr.AddNotify(&v1);
  log.Clear();
  mgr.OnProviderHeadLineChange_Date("1", 20240105);  // "1" occurs inside "11,12"
  EXPECT_THAT(log.Entries(), ElementsAre("GetProviderHeadline_Date(1;20240105)", "v1.OnHeadlineClear(1)"));
  Pass();
  EXPECT_EQ(log.Count("v1.OnProviderHeadlineChange(1;20240105)"), 1u);
}

TEST_F(ManagerTest, EqualChangesMergeButDifferentDatesAndKindsDoNot) {
  Open("11,12");
  mgr.AddNotify(&v1);
  mgr.AddNotify(&v2, "11", 0);  // a symbol booking whose text is also a provider ID
  svc.SetHeadlines("GetProviderHeadline_Date", "11;1", {{"20240105", "1", "h"}});
  svc.SetHeadlines("GetSymbolHeadline_Date", "11;11;1", {{"20240105", "1", "h"}});
  mgr.OnProviderHeadLineChange_Date("11", 1);
  mgr.OnProviderHeadLineChange_Date("11", 1);
  mgr.OnProviderHeadLineChange_Date("11", 2);
  mgr.OnSymbolNewsHeadLineChange_Date("11", "11", 1);
  EXPECT_EQ(CRssNewsMgrTestAccess::PendingChanges(mgr), 3u);
  log.Clear();
  Pass();
  // The symbol change is keyed by "11", which lies inside the provider list: it goes to the provider booking.
  EXPECT_THAT(log.Entries(), ElementsAre("v1.OnProviderHeadlineChange(11;1)", "v1.OnProviderHeadlineChange(11;2)",
                                         "v1.OnSymbolHeadlineChange(11;11;1)"));
  EXPECT_EQ(CRssNewsMgrTestAccess::PendingChanges(mgr), 0u);
  log.Clear();
  Pass();
  EXPECT_THAT(log.Entries(), IsEmpty()) << "each change is delivered once";
}

TEST_F(ManagerTest, SymbolChangeReachesOnlyTheFirstBookingOfItsTextIgnoringCase) {
  Open("11,12");
  mgr.AddNotify(&v1, "aapl", 2);
  mgr.AddNotify(&v2, "AAPL", 1);
  mgr.AddNotify(&v3, "aapl", 1);
  log.Clear();
  mgr.OnSymbolNewsHeadLineChange_Date("11", "Aapl", 9);
  EXPECT_THAT(log.Entries(), ElementsAre("GetSymbolHeadline_Date(11;Aapl;9)", "v2.OnHeadlineClear(11)",
                                         "v3.OnHeadlineClear(11)", "v1.OnHeadlineClear(11)"));
  log.Clear();
  Pass();
  EXPECT_THAT(log.Entries(), ElementsAre("v2.OnSymbolHeadlineChange(11;Aapl;9)"));
}

TEST_F(ManagerTest, Big5TrailByteIsNotFoldedWhenMatchingBookings) {
  Open("11,12");
  const CString strUpper("\xA4\x41");  // one double-byte character whose trail byte reads as 'A'
  const CString strLower("\xA4\x61");  // another character whose trail byte reads as 'a'
  mgr.AddNotify(&v1, strUpper, 1);
  log.Clear();
  mgr.OnSymbolNewsHeadLineChange_Date("11", strLower, 1);
  mgr.OnSymbolNewsContentChange("11", strLower, 1, 2);
  EXPECT_THAT(log.Entries(), IsEmpty());
  mgr.OnSymbolNewsHeadLineChange_Date("11", strUpper, 1);
  EXPECT_EQ(CRssNewsMgrTestAccess::PendingChanges(mgr), 1u);
}

TEST_F(ManagerTest, ViewThatThrowsInAPassIsRemovedAfterItAndOthersStillGetTheChange) {
  Open("11,12");
  mgr.AddNotify(&v1);
  mgr.AddNotify(&v2);
  mgr.AddNotify(&v3, "2330", 4);
  svc.SetHeadlines("GetProviderHeadline_Date", "12;1", {{"1", "1", "x"}});
  svc.SetHeadlines("GetSymbolHeadline_Date", "12;2330;1", {{"1", "1", "x"}});
  mgr.OnProviderHeadLineChange_Date("12", 1);
  mgr.OnSymbolNewsHeadLineChange_Date("12", "2330", 1);
  v1.SetHook([](const std::string&) { throw std::runtime_error("view failed"); });
  v3.SetHook([](const std::string&) { throw 42; });
  log.Clear();
  EXPECT_FALSE(CRssNewsMgrTestAccess::DeliverPass(mgr));
  EXPECT_THAT(log.Entries(), ElementsAre("v1.OnProviderHeadlineChange(12;1)", "v2.OnProviderHeadlineChange(12;1)",
                                         "v3.OnSymbolHeadlineChange(12;2330;1)", "CancelTotalHeadline(0)",
                                         "UnbookSymbolNews_Date(2330;4;11,12)"))
      << "v1 leaves the provider booking that v2 still holds; v3 was the last view of its booking";
  EXPECT_EQ(CRssNewsMgrTestAccess::Bookings(mgr), 1u);
}

TEST_F(ManagerTest, TaskIsAnsweredOnceAfterItsLastProviderInArrivalOrder) {
  svc.SetHeadlines("GetTotalHeadline", "11", {{"1", "1", "a1"}, {"1", "2", "a2"}});
  svc.SetHeadlines("GetTotalHeadline", "12", {{"1", "1", "b1"}});
  svc.SetHeadlines("GetTotalHeadline", "13", {{"1", "1", "c1"}});
  Open("11,12,13");
  mgr.AddNotify(&v1);
  mgr.OnGetTotalHeadLineReq("12", 0);
  mgr.OnGetTotalHeadLineReq("12", 0);  // repeated: ignored
  mgr.OnGetTotalHeadLineReq("99", 0);  // not awaited: ignored
  mgr.OnGetTotalHeadLineReq("11", 7);  // no such task
  mgr.OnGetTotalHeadLineReq("11", 0);
  EXPECT_THAT(log.Matching("v1."), IsEmpty());
  mgr.OnGetTotalHeadLineReq("13", 0);
  mgr.OnGetTotalHeadLineReq("13", 0);
  EXPECT_THAT(log.Matching("v1."), ElementsAre("v1.OnTotalHeadline(b1,a1,a2,c1)"));
  EXPECT_EQ(log.Count("GetTotalHeadline(12)"), 1u);

  log.Clear();
  std::vector<NewsHeadline> out;
  EXPECT_TRUE(mgr.GetNewsHeadline(&v1, out));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(log.Count("ReqTotalHeadline(11;0)"), 1u) << "the answered task's ID is free again";
}
