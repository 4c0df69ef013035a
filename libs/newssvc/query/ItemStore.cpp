#include "libs/newssvc/query/ItemStore.h"

#include <algorithm>

namespace newssvc {

std::vector<FeedItem> CItemStore::TakeUnseen(const std::vector<FeedItem>& feed) {
  std::vector<FeedItem> unseen;
  std::set<std::string> keep;
  for (const StoredItem& item : m_items) keep.insert(item.key);
  for (const FeedItem& item : feed) {
    const std::string& key = item.IdentityKey();
    if (key.empty()) continue;
    if (m_knownKeys.count(key) == 0 && keep.count(key) == 0) unseen.push_back(item);
    keep.insert(key);
  }
  m_knownKeys.swap(keep);
  return unseen;
}

void CItemStore::Add(std::vector<StoredItem> items) {
  if (items.empty()) return;
  for (StoredItem& item : items) {
    m_knownKeys.insert(item.key);
    m_items.push_back(std::move(item));
  }
  Sort();
  if (m_items.size() > kMaxItems) m_items.resize(kMaxItems);
}

void CItemStore::Renumber(const std::string& key, long serial) {
  const auto it = std::find_if(m_items.begin(), m_items.end(), [&](const StoredItem& item) { return item.key == key; });
  if (it == m_items.end()) return;
  it->formerSerial = it->serial;
  it->serial = serial;
  Sort();
}

const StoredItem* CItemStore::Find(long serial) const {
  const auto it = std::find_if(m_items.begin(), m_items.end(), [serial](const StoredItem& item) {
    return item.serial == serial || (serial != 0 && item.formerSerial == serial);
  });
  return it == m_items.end() ? nullptr : &*it;
}

void CItemStore::Sort() {
  std::stable_sort(m_items.begin(), m_items.end(), [](const StoredItem& a, const StoredItem& b) {
    return a.time != b.time ? a.time > b.time : a.serial > b.serial;
  });
}

}  // namespace newssvc
