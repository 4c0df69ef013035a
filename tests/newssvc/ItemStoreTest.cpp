// The item store: identity across re-reads, order, the bound on its size.
#include <gtest/gtest.h>

#include <vector>

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

}  // namespace
