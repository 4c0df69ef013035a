// Headline queries, date order and news content.
#include <gmock/gmock.h>

#include <tuple>

#include "tests/news/ManagerTestSupport.h"

using ::testing::ElementsAre;

TEST_F(ManagerTest, PullsConcatenateProvidersAndTreatDatesBelowOneAsTheWholeList) {
  Open("11,12");
  svc.SetHeadlines("GetTotalHeadline(A)", {{"1", "1", "a"}});
  svc.SetHeadlines("GetTotalHeadline(B)", {{"1", "1", "b"}});
  svc.SetHeadlines("GetSymbolHeadline(12;2330)", {{"1", "1", "s"}});
  std::vector<NewsHeadline> out;
  EXPECT_TRUE(mgr.PullProviderNewsHeadline_Date("A,B", 0, out));
  EXPECT_EQ(fakes::TakeTags(out), "a,b");
  out.assign(2, NewsHeadline{});  // dropped, not freed: the caller's blocks stay the caller's
  EXPECT_TRUE(mgr.PullSymbolNewsHeadline_Date("", "2330", -3, out));
  EXPECT_EQ(out.size(), 1u);
  EXPECT_EQ(fakes::TakeTags(out), "s");
  EXPECT_THAT(log.Matching("GetSymbolHeadline("),
              ElementsAre("GetSymbolHeadline(11;2330)", "GetSymbolHeadline(12;2330)"));

  svc.SetResult("GetTotalHeadline(A)", 2);
  svc.SetResult("GetSymbolHeadline(11;2330)", 2);
  EXPECT_FALSE(mgr.PullProviderNewsHeadline_Date("A,B", 0, out)) << "one failed provider fails the whole";
  EXPECT_EQ(fakes::TakeTags(out), "b");
  EXPECT_FALSE(mgr.PullSymbolNewsHeadline_Date("", "2330", 0, out));
  EXPECT_EQ(fakes::TakeTags(out), "s");

  // A dated pull asks for that date alone; status 0 means the list was filled.
  svc.SetHeadlines("GetProviderHeadline_Date(11;5)", {{"5", "1", "d"}});
  EXPECT_TRUE(mgr.PullProviderNewsHeadline_Date("11", 5, out));
  EXPECT_EQ(fakes::TakeTags(out), "d");
  svc.SetResult("GetProviderHeadline_Date", 1);
  svc.SetResult("GetSymbolHeadline_Date", 1);
  EXPECT_FALSE(mgr.PullProviderNewsHeadline_Date("11", 5, out));
  fakes::TakeTags(out);
  EXPECT_FALSE(mgr.PullSymbolNewsHeadline_Date("11", "2330", 5, out));
  fakes::TakeTags(out);

  // A search goes to the service as it is asked.
  svc.SetHeadlines("SearchHeadline(w;11;2330;1;2;3)", {{"5", "1", "f"}});
  EXPECT_TRUE(mgr.SearchNewsHeadline("w", "11", "2330", 1, 2, 3, out));
  EXPECT_EQ(fakes::TakeTags(out), "f");
  svc.SetResult("SearchHeadline", 1);
  EXPECT_FALSE(mgr.SearchNewsHeadline("w", "", "", 0, 0, 0, out));
}

TEST(SortByDateTest, OrdersByDateThenTimeAsNumbersAndKeepsEqualRecordsInOrder) {
  const std::vector<fakes::ScriptedHeadline> scripted = {{"1000", "5", "late"},    {"999", "7", "early-b"},
                                                         {"999", "10", "early-c"}, {"999", "7", "early-b2"},
                                                         {"x", "1", "unreadable"}, {"999", "09", "early-a"}};
  std::vector<NewsHeadline> list;
  for (const fakes::ScriptedHeadline& headline : scripted) list.push_back(fakes::MakeHeadline(headline));
  EXPECT_TRUE(CRssNewsMgrTestAccess::SortByDate(list));
  EXPECT_EQ(fakes::TakeTags(list), "unreadable,early-b,early-b2,early-a,early-c,late");
}

TEST_F(ManagerTest, ContentStatusMapsToTheManagersCodeAndProvidersOutsideTheListAreNotAsked) {
  Open("11,12");
  CString strContent;
  for (const auto& [nStatus, nCode] : std::vector<std::pair<int, int>>{{-1, 0}, {0, 1}, {1, 2}, {2, 3}, {3, 0}}) {
    svc.SetResult("GetNewsContent", nStatus);
    svc.SetResult("GetSymbolNewsContent", nStatus);
    EXPECT_EQ(mgr.GetNewsContent("1", 3, 4, strContent), nCode) << "1 lies inside 11,12; status " << nStatus;
    EXPECT_EQ(mgr.GetSymbolNewsContent("12", "2330", 3, 4, strContent), nCode) << nStatus;
  }
  EXPECT_EQ(mgr.GetNewsContent("13", 3, 4, strContent), 0);
  EXPECT_EQ(mgr.GetSymbolNewsContent("13", "2330", 3, 4, strContent), 0);
  EXPECT_EQ(log.Count("GetNewsContent(13;3;4)") + log.Count("GetSymbolNewsContent(13;2330;3;4)"), 0u);
}

TEST(ParseUrlTest, CutsTheFirstLinkTarget) {
  const std::tuple<const char*, bool, const char*> cases[] = {
      {"<a href='abc'>x</a>", true, "abc"},
      {"<a href='abc", false, "abc"},
      {"plain", false, "plain"},
      {"", false, ""},
      {"see <a href='p1'>1</a> <a href='p2'>2</a>", true, "p1"}};
  for (const auto& [text, bResult, after] : cases) {
    CString strText = text;
    EXPECT_EQ(CRssNewsMgrTestAccess::ParseUrl(strText), bResult) << text;
    EXPECT_EQ(strText, after);
  }
}
