// CRssNewsMgr: the category tree copied from the service, and the replay of registrations that waited for it.
#include <memory>
#include <new>

#include "news/RssNewsMgr.h"

namespace {

// Category objects are handed back to the service with Release once read.
struct CategoryRelease {
  void operator()(IRSSNewsCategory* pCategory) const { pCategory->Release(); }
};
using CategoryHandle = std::unique_ptr<IRSSNewsCategory, CategoryRelease>;

}  // namespace

bool CRssNewsMgr::InitCategory() {
  std::optional<SessionLease> session;
  {
    port::MutexLock lock(m_mtx);
    m_mapCategory.clear();
    session = LeaseSessionLocked();
  }
  if (!session) return false;
  const int nCount = session->pSvc->GetCategoryCount();
  if (nCount < 0) return false;

  // Read without the lock (the service may call back meanwhile), then published at once.
  decltype(m_mapCategory) mapCategory;
  bool bAllStored = true;
  for (int i = 0; i < nCount; ++i) {
    const CategoryHandle category(session->pSvc->GetCategory(i));
    if (!category) continue;
    const CString strName = category->GetName();
    for (int j = 0; j < category->GetItemCount(); ++j) {
      try {
        mapCategory[strName].emplace_back(category->GetItemID(j), category->GetItemName(j));
      } catch (const std::bad_alloc&) {
        bAllStored = false;
      }
    }
  }
  port::MutexLock lock(m_mtx);
  m_mapCategory.swap(mapCategory);
  return bAllStored;
}

void CRssNewsMgr::OnCategoryChange() {
  {
    port::MutexLock lock(m_mtx);
    m_bCategoryReady = true;
  }
  InitCategory();

  std::pair<CString, IRSSNewsObjEvent*> registration;
  long lDate = 0;
  while (TakeNextQueuedRegistration(registration, lDate)) {
    const auto& [strIDs, pObj] = registration;
    if (strIDs.IsEmpty()) {
      AddNotify(pObj);
    } else {
      AddNotify(pObj, strIDs, lDate);
    }
  }

  std::vector<PlannedCall> calls;
  {
    port::MutexLock lock(m_mtx);
    for (const auto& booking : m_mapObj) {
      for (IRSSNewsObjEvent* pObj : booking.second) {
        if (pObj) calls.push_back(PlanCallLocked(pObj, [](IRSSNewsObjEvent& view) { view.OnCategoryReady(); }));
      }
    }
  }
  RunCalls(calls);
}

bool CRssNewsMgr::GetNewsProviderName(const CString& strProviderID, CString& strName) {
  port::MutexLock lock(m_mtx);
  if (!m_pNewsSvc || strProviderID.IsEmpty()) return false;
  for (const auto& [strCategory, vecItems] : m_mapCategory) {
    for (const auto& item : vecItems) {
      if (item.first.CompareNoCase(strProviderID) == 0) {
        strName = strCategory;
        return true;
      }
    }
  }
  return false;
}
