// The observer registry, notifications to every view, and the category tree. (The task slots the model test
// covers: its queries now and then take every slot.)
#include <gmock/gmock.h>

#include "news/PendingChangeIndex.h"
#include "tests/news/ManagerTestSupport.h"

using ::testing::ElementsAre;

TEST(SplitIDsTest, SplitsAtEveryCommaAndDropsOnlyATrailingEmptyPiece) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {{"", {}},
                                                                    {"11", {"11"}},
                                                                    {"11,,12", {"11", "", "12"}},
                                                                    {",11", {"", "11"}},
                                                                    {"11,12,", {"11", "12"}},
                                                                    {" a , b", {" a ", " b"}}};
  for (const auto& [source, pieces] : cases) EXPECT_EQ(CRssNewsMgrTestAccess::Split(source), pieces) << source;
}

// Category tree and the registrations that wait for it.

TEST_F(ManagerTest, CategoriesOfOneNameAreMergedAndNamesFoundIgnoringCase) {
  svc.AddCategory("Group", {{"13", "Item 13"}, {"ab", "Item ab"}, {"", "Item without an ID"}});
  svc.AddNullCategory();
  svc.AddCategory("Alpha", {{"AB", "Item AB"}});
  Open();
  // The provider's name, or "none" and what was left in the output.
  const auto nameOf = [this](const char* id) {
    CString strName = "unchanged";
    return mgr.GetNewsProviderName(id, strName) ? strName.str() : "none, " + strName.str();
  };
  EXPECT_EQ(nameOf("aB"), "Alpha") << "the first category in name order";
  EXPECT_EQ(nameOf("13"), "Group") << "the second group of the same name";
  EXPECT_EQ(nameOf(""), "none, unchanged");
  EXPECT_EQ(nameOf("99"), "none, unchanged");
  svc.SetResult("GetCategoryCount", -1);
  mgr.OnCategoryChange();
  EXPECT_EQ(nameOf("13"), "none, unchanged") << "a failed reload keeps no stale names";
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
  RunBounded("AddNotify with a re-entering view", [this] { EXPECT_TRUE(mgr.AddNotify(&v1, "2330", 1)); });
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
  RunBounded("RemoveNotify after a throwing view", [this] { EXPECT_TRUE(mgr.RemoveNotify(&v2, "")); });
  EXPECT_EQ(mgr.GetRefCount(), 1);
}

TEST_F(ManagerTest, ProviderBookingIsRecognisedCaseSensitivelyWhenNotifyingButNotWhenUnbooking) {
  Open("a,b");
  mgr.AddNotify(&v1);
  mgr.AddNotify(&v2, "A,B", 1);  // a symbol booking whose text differs from the list only in case
  log.Clear();
  CRssNewsMgrTestAccess::NotifyAllObj(mgr, CRssNewsMgr::NOTIFY_CLEAR, "x", CRssNewsMgr::EVENT_PROVIDER);
  mgr.RemoveNotify(&v2, "");
  EXPECT_THAT(log.Entries(), ElementsAre("v1.OnHeadlineClear(x)", "UnbookProviderNews(A,B)"));
}

// A burst grows the pending-change index past its first table several times; every change must still be
// found afterwards, or the same change would be delivered twice.
TEST(PendingChangeIndexTest, FindsEveryChangeAfterGrowingAndNoneAfterClear) {
  std::vector<NewsChange> changes;
  CPendingChangeIndex index;
  for (long day = 0; day < 300; ++day) {
    changes.push_back(NewsChange{"P", day % 2 ? "2330" : "", day});
    index.Add(changes, changes.size() - 1);
  }
  for (const NewsChange& change : changes) EXPECT_TRUE(index.Contains(change, changes)) << change.lDate;
  EXPECT_FALSE(index.Contains(NewsChange{"P", "", 301}, changes));
  index.Clear();
  EXPECT_FALSE(index.Contains(changes.front(), changes));
}
