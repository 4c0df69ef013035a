// Headline queries, date order and news content.
#include <gmock/gmock.h>

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

struct ContentCase {
  int nStatus;
  int nCode;
};

class ContentCodeTest : public ManagerTest, public ::testing::WithParamInterface<ContentCase> {};

TEST_P(ContentCodeTest, ServiceStatusMapsToTheManagersCode) {
  Open("11,12");
  svc.SetResult("GetNewsContent", GetParam().nStatus);
  svc.SetResult("GetSymbolNewsContent", GetParam().nStatus);
  CString strContent;
  EXPECT_EQ(mgr.GetNewsContent("1", 3, 4, strContent), GetParam().nCode) << "1 lies inside 11,12";
  EXPECT_EQ(mgr.GetSymbolNewsContent("12", "2330", 3, 4, strContent), GetParam().nCode);
  EXPECT_EQ(mgr.GetNewsContent("13", 3, 4, strContent), 0);
  EXPECT_EQ(mgr.GetSymbolNewsContent("13", "2330", 3, 4, strContent), 0);
  EXPECT_EQ(log.Count("GetNewsContent(13;3;4)") + log.Count("GetSymbolNewsContent(13;2330;3;4)"), 0u)
      << "a provider outside the list is not asked";
}

INSTANTIATE_TEST_SUITE_P(Statuses, ContentCodeTest,
                         ::testing::Values(ContentCase{-1, 0}, ContentCase{0, 1}, ContentCase{1, 2}, ContentCase{2, 3},
                                           ContentCase{3, 0}));

struct UrlCase {
  const char* text;
  bool bResult;
  const char* after;
};

class ParseUrlTest : public ::testing::TestWithParam<UrlCase> {};

TEST_P(ParseUrlTest, CutsTheFirstLinkTarget) {
  CString strText = GetParam().text;
  EXPECT_EQ(CRssNewsMgrTestAccess::ParseUrl(strText), GetParam().bResult);
  EXPECT_EQ(strText, GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Examples, ParseUrlTest,
                         ::testing::Values(UrlCase{"<a href='abc'>x</a>", true, "abc"},
                                           UrlCase{"<a href='abc", false, "abc"}, UrlCase{"plain", false, "plain"},
                                           UrlCase{"", false, ""},
                                           UrlCase{"see <a href='p1'>1</a> <a href='p2'>2</a>", true, "p1"}));
