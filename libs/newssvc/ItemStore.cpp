#include "libs/newssvc/ItemStore.h"

#include <algorithm>
#include <set>

#include "port/CodePage.h"

namespace newssvc {

std::vector<long> CItemStore::Merge(const std::vector<FeedItem>& items, UtcSeconds now) {
  std::vector<long> added;
  for (const FeedItem& item : items) {
    const std::string& key = item.IdentityKey();
    if (key.empty() || m_knownKeys.count(key) != 0) continue;
    StoredItem stored;
    stored.key = key;
    stored.serial = m_nextSerial++;
    stored.time = item.hasDate ? item.published : now;
    stored.title = port::Big5FromUtf8(item.title);
    stored.link = port::Big5FromUtf8(item.link);
    stored.description = port::Big5FromUtf8(item.description);
    stored.symbols = item.symbols;
    m_knownKeys.insert(key);
    m_items.push_back(std::move(stored));
    added.push_back(m_items.back().serial);
  }
  if (!added.empty()) {
    std::stable_sort(m_items.begin(), m_items.end(), [](const StoredItem& a, const StoredItem& b) {
      return a.time != b.time ? a.time > b.time : a.serial > b.serial;
    });
    DropOldest();
  }
  ForgetKeys(items);
  return added;
}

const StoredItem* CItemStore::Find(long serial) const {
  const auto it =
      std::find_if(m_items.begin(), m_items.end(), [serial](const StoredItem& item) { return item.serial == serial; });
  return it == m_items.end() ? nullptr : &*it;
}

void CItemStore::DropOldest() {
  if (m_items.size() > kMaxItems) m_items.resize(kMaxItems);
}

// Keeps the keys of the stored items and of the feed as it was just read: an item dropped from the store
// that is still in the feed is not added again, and a feed whose items keep changing cannot make the key
// set grow without end.
void CItemStore::ForgetKeys(const std::vector<FeedItem>& feed) {
  std::set<std::string> keep;
  for (const StoredItem& item : m_items) keep.insert(item.key);
  for (const FeedItem& item : feed) keep.insert(item.IdentityKey());
  m_knownKeys.swap(keep);
}

}  // namespace newssvc
