// The item store and the records it leads to: identity across re-reads, order, text conversion.
#include <gtest/gtest.h>

#include <vector>

#include "libs/newssvc/HeadlineRecord.h"
#include "libs/newssvc/ItemStore.h"

namespace {

using newssvc::CItemStore;
using newssvc::FeedItem;

FeedItem Item(const char* id, const char* link, const char* title, newssvc::UtcSeconds time) {
  FeedItem item;
  item.id = id;
  item.link = link;
  item.title = title;
  item.hasDate = time != 0;
  item.published = time;
  return item;
}

TEST(ItemStore, ReadingTheSameFeedAgainAddsNothing) {
  // Identity by guid, else link, else title: each item below differs from its twin in every other field.
  const std::vector<FeedItem> first = {Item("g1", "l1", "t1", 100), Item("", "l2", "t2", 200), Item("", "", "t3", 300)};
  const std::vector<FeedItem> again = {Item("g1", "lx", "tx", 999), Item("", "l2", "ty", 999), Item("", "", "t3", 999)};
  CItemStore store;
  EXPECT_EQ(store.Merge(first, 0).size(), 3u);
  EXPECT_TRUE(store.Merge(again, 0).empty());
  EXPECT_TRUE(store.Merge(first, 0).empty());
  EXPECT_EQ(store.Items().size(), 3u);
}

TEST(ItemStore, AFullStoreDropsItsOldestWithoutTakingThemBackAtTheNextRead) {
  std::vector<FeedItem> feed;
  for (int i = 0; i <= static_cast<int>(CItemStore::kMaxItems); ++i)
    feed.push_back(Item(("g" + std::to_string(i)).c_str(), "", "t", 1000 + i));
  CItemStore store;
  EXPECT_EQ(store.Merge(feed, 0).size(), CItemStore::kMaxItems + 1);
  EXPECT_EQ(store.Items().size(), CItemStore::kMaxItems);
  EXPECT_EQ(store.Items().back().key, "g1");  // g0, the oldest, went
  EXPECT_TRUE(store.Merge(feed, 0).empty());
}

TEST(ItemStore, KeepsNewestFirstAndDatesUndatedItemsWhenFirstSeen) {
  CItemStore store;
  store.Merge({Item("a", "", "a", 200), Item("b", "", "b", 100)}, 0);
  const std::vector<long> added = store.Merge({Item("c", "", "c", 0), Item("d", "", "d", 150)}, 500);
  ASSERT_EQ(added.size(), 2u);
  std::vector<std::string> order;
  for (const auto& item : store.Items()) order.push_back(item.title.str());
  EXPECT_EQ(order, (std::vector<std::string>{"c", "a", "d", "b"}));
  EXPECT_EQ(store.Items().front().time, 500);
  EXPECT_EQ(store.Find(added[0])->title, "c");
  EXPECT_EQ(store.Find(12345), nullptr);
}

TEST(ItemStore, ConvertsUtf8TextToBig5WithQuestionMarksForWhatBig5Lacks) {
  CItemStore store;
  // "台積電" in UTF-8, then an emoji Big5 cannot hold.
  store.Merge({Item("x", "http://e/1", "\xE5\x8F\xB0\xE7\xA9\x8D\xE9\x9B\xBB \xF0\x9F\x98\x80", 1)}, 0);
  EXPECT_EQ(store.Items().front().title.str(), "\xA5\x78\xBF\x6E\xB9\x71 ?");
}

TEST(HeadlineRecord, CarriesDateTimeKeysAndTheItemTextInItsBlock) {
  newssvc::StoredItem item;
  item.serial = 7;
  item.time = newssvc::FromCivil(2026, 1, 31, 20, 5, 9);  // 04:05:09 next day in Taipei
  item.title = CString("\xA5\x78\xBF\x6E\xB9\x71");
  item.link = "http://news.example/2330";
  item.symbols = {"2330", "2317"};
  newssvc::RecordZone taipei;
  taipei.fixed = true;
  taipei.offsetSeconds = 8 * 3600;

  std::vector<NewsHeadline> list = {newssvc::MakeHeadline("TWSTK", item, taipei)};
  const NewsHeadline& record = list.front();
  EXPECT_STREQ(record.szDate, "20260201");
  EXPECT_STREQ(record.szTime, "040509");
  EXPECT_EQ(record.lKey1, 7);
  EXPECT_EQ(record.lKey2, 20260201);
  EXPECT_STREQ(record.szProviderID, "TWSTK");
  EXPECT_STREQ(record.szReserved, "2330,2317");
  EXPECT_EQ(newssvc::BlockTitle(record), item.title);
  EXPECT_EQ(newssvc::BlockLink(record), item.link);
  EXPECT_EQ(newssvc::ItemContent(item).Find("<a href='http://news.example/2330'>"), 0);
  newssvc::FreeHeadlines(list);
}

}  // namespace
