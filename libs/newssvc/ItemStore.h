// CItemStore: the items of one provider, newest first, kept across re-reads of its feed. An item's identity
// is its guid/id, else its link, else its title, so reading the same feed again adds nothing, and items
// that have left the feed stay until the store is full.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "libs/newssvc/FeedItem.h"
#include "port/CString.h"

namespace newssvc {

struct StoredItem {
  std::string key;      // identity: guid/id, else link, else title
  long serial = 0;      // 1, 2, ... in the order the items were first seen; the item's first key
  UtcSeconds time = 0;  // publication time, or the time the item was first seen
  CString title;        // Big5
  CString link;
  CString description;
  std::vector<std::string> symbols;
};

class CItemStore {
 public:
  static constexpr std::size_t kMaxItems = 2000;

  // Adds the items not seen before; `now` dates an item without a date of its own. Returns the serials of
  // the new items.
  std::vector<long> Merge(const std::vector<FeedItem>& items, UtcSeconds now);

  // Newest first; equal times keep the later-seen item first.
  const std::vector<StoredItem>& Items() const { return m_items; }
  const StoredItem* Find(long serial) const;
  // New items are numbered after `serial` (the highest number an earlier session gave).
  void ContinueAfter(long serial) {
    if (serial >= m_nextSerial) m_nextSerial = serial + 1;
  }

 private:
  void DropOldest();
  void ForgetKeys(const std::vector<FeedItem>& feed);

  std::vector<StoredItem> m_items;
  std::set<std::string> m_knownKeys;  // identity keys that count as seen
  long m_nextSerial = 1;
};

}  // namespace newssvc
