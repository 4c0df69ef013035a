// CMemoryItems: every provider's items in memory (a CItemStore each), the items the archive has not written
// yet or all items when there is no archive. Ingest writes them on the service's thread; queries read them
// on any thread. Its lock guards the stores; it calls no other part.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "libs/newssvc/archive/NewsArchive.h"
#include "libs/newssvc/config/ProviderConfig.h"
#include "libs/newssvc/query/ItemStore.h"
#include "port/CString.h"
#include "port/Mutex.h"

namespace newssvc {

// An archived item as the store keeps it: the one place where an item's text turns from the archive's
// UTF-8 (its title as HTML) into the service's Big5.
StoredItem FromArchive(const ArchiveItem& archived);

class CMemoryItems {
 public:
  // Forgets the providers not listed.
  void Retain(const std::vector<ProviderConfig>& providers) EXCLUDES(m_mtx);
  // The feed's items whose keys the provider's store has not seen (CItemStore::TakeUnseen).
  std::vector<FeedItem> TakeUnseen(const CString& providerID, const std::vector<FeedItem>& feed) EXCLUDES(m_mtx);
  // Gives stored items the archive's serials (key, serial), then adds the new ones.
  void Update(const CString& providerID, const std::vector<std::pair<std::string, long>>& renumbered,
              std::vector<StoredItem> added) EXCLUDES(m_mtx);

  // Copies the provider's items, newest first, that `wanted` takes.
  template <class Wanted>
  void Collect(const CString& providerID, Wanted wanted, std::vector<StoredItem>& items) const EXCLUDES(m_mtx) {
    port::MutexLock lock(m_mtx);
    const auto store = m_stores.find(providerID);
    if (store == m_stores.end()) return;
    for (const StoredItem& item : store->second.Items())
      if (wanted(item)) items.push_back(item);
  }
  bool Find(const CString& providerID, long serial, StoredItem& item) const EXCLUDES(m_mtx);
  // The publication time of the provider's newest item; false when it has none.
  bool Newest(const CString& providerID, UtcSeconds& time) const EXCLUDES(m_mtx);

 private:
  mutable port::Mutex m_mtx;
  std::map<CString, CItemStore> m_stores GUARDED_BY(m_mtx);
};

}  // namespace newssvc
