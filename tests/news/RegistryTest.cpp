// The observer registry, notifications to every view, and the category tree.
#include <gmock/gmock.h>

#include "tests/news/ManagerTestSupport.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST_F(ManagerTest, CancelledTasksFreeTheirSlotsAndWithAllSlotsTakenRequestsAreRefused) {
  Open("11");
  for (int i = 0; i < 2 * CRssNewsMgr::kTaskSlots; ++i) {
    mgr.AddNotify(&v1);
    mgr.RemoveNotify(&v1, "");
  }
  log.Clear();
  mgr.AddNotify(&v1);
  mgr.AddNotify(&v2);
  EXPECT_THAT(log.Matching("ReqTotalHeadline"), ElementsAre("ReqTotalHeadline(11;0)", "ReqTotalHeadline(11;1)"));
  mgr.RemoveNotify(&v1, "");
  log.Clear();
  mgr.OnGetTotalHeadLineReq("11", 0);
  EXPECT_THAT(log.Entries(), IsEmpty()) << "an answer for a cancelled task is ignored";

  std::vector<NewsHeadline> out;
  for (int i = 1; i < CRssNewsMgr::kTaskSlots; ++i) ASSERT_TRUE(mgr.GetNewsHeadline(&v2, out));
  EXPECT_EQ(log.Count("ReqTotalHeadline(11;99)"), 1u);
  log.Clear();
  EXPECT_FALSE(mgr.GetNewsHeadline(&v2, out));
  EXPECT_FALSE(mgr.AddNotify(&v3));
  EXPECT_THAT(log.Entries(), IsEmpty()) << "with every slot taken nothing is requested";
  EXPECT_EQ(CRssNewsMgrTestAccess::Bookings(mgr), 1u) << "v3 is registered all the same";
}

struct SplitCase {
  const char* source;
  std::vector<std::string> pieces;
};

class SplitIDsTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitIDsTest, SplitsAtEveryCommaAndDropsOnlyATrailingEmptyPiece) {
  EXPECT_EQ(CRssNewsMgrTestAccess::Split(GetParam().source), GetParam().pieces);
}

INSTANTIATE_TEST_SUITE_P(Lists, SplitIDsTest,
                         ::testing::Values(SplitCase{"", {}}, SplitCase{"11", {"11"}},
                                           SplitCase{"11,,12", {"11", "", "12"}}, SplitCase{",11", {"", "11"}},
                                           SplitCase{"11,12,", {"11", "12"}}, SplitCase{" a , b", {" a ", " b"}}));

// Category tree and the registrations that wait for it.

TEST_F(ManagerTest, CategoriesOfOneNameAreMergedAndNamesFoundIgnoringCase) {
  svc.AddCategory("Group", {{"13", "Item 13"}, {"ab", "Item ab"}, {"", "Item without an ID"}});
  svc.AddNullCategory();
  svc.AddCategory("Alpha", {{"AB", "Item AB"}});
  Open();
  CString strName = "unchanged";
  EXPECT_TRUE(mgr.GetNewsProviderName("aB", strName));
  EXPECT_EQ(strName, "Alpha") << "the first category in name order";
  EXPECT_TRUE(mgr.GetNewsProviderName("13", strName));
  EXPECT_EQ(strName, "Group") << "the second group of the same name";
  strName = "unchanged";
  EXPECT_FALSE(mgr.GetNewsProviderName("", strName));
  EXPECT_FALSE(mgr.GetNewsProviderName("99", strName));
  EXPECT_EQ(strName, "unchanged");
  svc.SetResult("GetCategoryCount", -1);
  mgr.OnCategoryChange();
  EXPECT_FALSE(mgr.GetNewsProviderName("13", strName)) << "a failed reload keeps no stale names";
}

TEST_F(ManagerTest, ViewReenteringFromItsRegistrationCallbackDoesNotDeadlock) {
  Open();
  v1.SetHook([this](const std::string& entry) {
    if (entry.find("OnSymbolHeadlineChange") == std::string::npos) return;
    std::vector<NewsHeadline> out;
    mgr.GetNewsHeadline(&v1, out);
    fakes::TakeTags(out);
    mgr.RemoveNotify(&v1, "");
  });
  RunBounded("AddNotify with a re-entering view", std::chrono::seconds(10),
             [this] { EXPECT_TRUE(mgr.AddNotify(&v1, "2330", 1)); });
  EXPECT_EQ(log.Count("GetSymbolHeadline(11;2330)"), 1u);
  EXPECT_EQ(log.Count("UnbookSymbolNews_Date(2330;1;11,12)"), 1u);
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
