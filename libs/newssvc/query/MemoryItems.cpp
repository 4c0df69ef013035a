#include "libs/newssvc/query/MemoryItems.h"

#include "libs/newssvc/parse/HtmlText.h"
#include "port/CodePage.h"

namespace newssvc {

// The archive holds a title as HTML (text escaped), and earlier versions wrote titles as the feed gave them:
// both read back as their text.
StoredItem FromArchive(const ArchiveItem& archived) {
  StoredItem item;
  item.key = archived.key;
  item.serial = archived.serial;
  item.time = archived.published;
  item.title = port::Big5FromUtf8(HtmlToText(archived.title));
  item.link = port::Big5FromUtf8(archived.link);
  item.description = port::Big5FromUtf8(archived.description);
  item.symbols = archived.symbols;
  return item;
}

void CMemoryItems::Retain(const std::vector<ProviderConfig>& providers) {
  std::map<CString, CItemStore> kept;
  port::MutexLock lock(m_mtx);
  for (const ProviderConfig& provider : providers) {
    const auto store = m_stores.find(provider.id);
    if (store != m_stores.end()) kept.emplace(provider.id, std::move(store->second));
  }
  m_stores.swap(kept);
}

std::vector<FeedItem> CMemoryItems::TakeUnseen(const CString& providerID, const std::vector<FeedItem>& feed) {
  port::MutexLock lock(m_mtx);
  return m_stores[providerID].TakeUnseen(feed);
}

void CMemoryItems::Update(const CString& providerID, const std::vector<std::pair<std::string, long>>& renumbered,
                          std::vector<StoredItem> added) {
  port::MutexLock lock(m_mtx);
  CItemStore& store = m_stores[providerID];
  for (const auto& item : renumbered) store.Renumber(item.first, item.second);
  store.Add(std::move(added));
}

bool CMemoryItems::Find(const CString& providerID, long serial, StoredItem& item) const {
  port::MutexLock lock(m_mtx);
  const auto store = m_stores.find(providerID);
  const StoredItem* found = store == m_stores.end() ? nullptr : store->second.Find(serial);
  if (found) item = *found;
  return found != nullptr;
}

bool CMemoryItems::Newest(const CString& providerID, UtcSeconds& time) const {
  port::MutexLock lock(m_mtx);
  const auto store = m_stores.find(providerID);
  if (store == m_stores.end() || store->second.Items().empty()) return false;
  time = store->second.Items().front().time;
  return true;
}

}  // namespace newssvc
