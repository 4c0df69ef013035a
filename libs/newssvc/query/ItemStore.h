// CItemStore: the items of one provider in memory, newest first, kept across re-reads of its feed. An
// item's identity is its guid/id, else its link, else its title, so reading the same feed again finds
// nothing new, and items that have left the feed stay until the store is full. It has no lock: CMemoryItems
// holds every store behind its own.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "libs/newssvc/parse/FeedItem.h"
#include "port/CString.h"

namespace newssvc {

struct StoredItem {
  std::string key;        // identity: guid/id, else link, else title
  long serial = 0;        // the item's first key: the archive's number for it, or this process's own
  long formerSerial = 0;  // this process's number for it before the archive numbered it (0: none)
  UtcSeconds time = 0;    // publication time, or the time the item was first seen
  CString title;          // Big5
  CString link;
  CString description;
  std::vector<std::string> symbols;
};

class CItemStore {
 public:
  static constexpr std::size_t kMaxItems = 2000;

  // The items of `feed` whose keys the store has not seen (the first of each key), in the feed's order.
  // From then on the keys of the stored items and of `feed` count as seen: an item dropped from the store
  // that the feed still lists is not new again, and a feed whose items keep changing cannot make the key
  // set grow without end.
  std::vector<FeedItem> TakeUnseen(const std::vector<FeedItem>& feed);
  // Adds items the caller has numbered; beyond kMaxItems the oldest go.
  void Add(std::vector<StoredItem> items);
  // Gives the item with `key` the serial `serial`; Find still finds it by the one it had.
  void Renumber(const std::string& key, long serial);

  // Newest first; equal times keep the later-numbered item first.
  const std::vector<StoredItem>& Items() const { return m_items; }
  const StoredItem* Find(long serial) const;

 private:
  void Sort();

  std::vector<StoredItem> m_items;
  std::set<std::string> m_knownKeys;  // identity keys that count as seen
};

}  // namespace newssvc
