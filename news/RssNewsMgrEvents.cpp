// CRssNewsMgr: the service's headline events. They record pending changes for the worker, clear refresh
// marks, tell views at once when a list is empty, and collect and answer total-headline tasks.
#include <algorithm>
#include <new>

#include "news/HeadlineBlocks.h"
#include "news/RssNewsMgr.h"

void CRssNewsMgr::OnProviderHeadLineChange_Date(const CString& strProviderID, long lDate) {
  std::optional<SessionLease> session;
  {
    port::MutexLock lock(m_mtx);
    session = LeaseSessionLocked();
    if (!session || strProviderID.IsEmpty()) return;
    ObjMap::iterator booking;
    if (!SearchObjInfoByID(booking, strProviderID) && !IsInProviderListLocked(strProviderID)) return;
  }
  // Fetched only to see whether it is empty; its blocks are freed on the way out.
  CScopedHeadlines list;
  if (session->pSvc->GetProviderHeadline_Date(strProviderID, lDate, list.List()) != 0) return;
  if (list.List().empty()) NotifyAllObj(NOTIFY_CLEAR, strProviderID, EVENT_PROVIDER);

  port::MutexLock lock(m_mtx);
  const CString strKey = BookingKeyLocked(strProviderID);
  ObjMap::iterator booking;
  if (SearchObjInfoByID(booking, strKey)) RecordChangeLocked(NewsChange{strProviderID, CString(), lDate});
  ClearPendingIDLocked(strKey);
}

void CRssNewsMgr::OnSymbolNewsHeadLineChange_Date(const CString& strProviderID, const CString& strSymbolID,
                                                  long lDate) {
  const std::optional<SessionLease> session = LeaseSessionIfBooked(strSymbolID);
  if (!session) return;
  CScopedHeadlines list;
  if (session->pSvc->GetSymbolHeadline_Date(strProviderID, strSymbolID, lDate, list.List()) != 0) return;
  if (list.List().empty()) NotifyAllObj(NOTIFY_CLEAR, strProviderID, EVENT_SYMBOL);

  port::MutexLock lock(m_mtx);
  RecordChangeLocked(NewsChange{strProviderID, strSymbolID, lDate});
  ClearPendingIDLocked(strSymbolID);
}

void CRssNewsMgr::OnGetTotalHeadLineReq(const CString& strProviderID, int nTaskID) {
  std::optional<SessionLease> session;
  {
    port::MutexLock lock(m_mtx);
    session = LeaseSessionLocked();
    if (!session || !IsTaskAwaitingLocked(nTaskID, strProviderID)) return;
  }
  CScopedHeadlines list;
  if (session->pSvc->GetTotalHeadline(strProviderID, list.List()) != 0) return;

  IRSSNewsObjEvent* pObj = nullptr;
  std::vector<NewsHeadline> vecHeadline;
  PlannedCall delivery;
  {
    port::MutexLock lock(m_mtx);
    // Another answer for the same ID may have been taken in while the list was fetched.
    if (!IsTaskAwaitingLocked(nTaskID, strProviderID)) return;
    TaskInfo& task = m_mapTask[nTaskID];
    const std::vector<NewsHeadline> vecArrived = list.Release();
    task.vecHeadline.insert(task.vecHeadline.end(), vecArrived.begin(), vecArrived.end());
    task.vecIDs.erase(std::remove(task.vecIDs.begin(), task.vecIDs.end(), strProviderID), task.vecIDs.end());
    if (!task.vecIDs.empty()) return;
    // Complete: taken out of the table now so it is answered once; its ID stays taken until the view has it.
    pObj = task.pObj;
    vecHeadline = std::move(task.vecHeadline);
    m_mapTask.erase(nTaskID);
    delivery = PlanCallLocked(pObj, [&vecHeadline](IRSSNewsObjEvent& view) { view.OnTotalHeadline(vecHeadline); });
  }

  // A null view or one whose callback throws is a failed delivery; a view removed meanwhile is not called.
  bool bFailed = pObj == nullptr;
  bool bReached = false;
  if (pObj) {
    try {
      bReached = RunCall(delivery);
    } catch (...) {
      bReached = true;
      bFailed = true;
    }
  }
  // A view that was reached owns the blocks from now on; otherwise nobody else will free them.
  if (!bReached) FreeHeadlineBlocks(vecHeadline);
  {
    port::MutexLock lock(m_mtx);
    m_bTaskFree[nTaskID] = true;
  }
  if (bFailed) RemoveFailedView(pObj);
}

bool CRssNewsMgr::IsTaskAwaitingLocked(int nTaskID, const CString& strProviderID) const {
  const auto task = m_mapTask.find(nTaskID);
  return task != m_mapTask.end() &&
         std::find(task->second.vecIDs.begin(), task->second.vecIDs.end(), strProviderID) != task->second.vecIDs.end();
}

bool CRssNewsMgr::IsChangePending(const NewsChange& change) const {
  return m_idxPendingChanges.Contains(change, m_vecChangeSet);
}

void CRssNewsMgr::RecordChangeLocked(const NewsChange& change) {
  if (IsChangePending(change)) return;
  m_vecChangeSet.push_back(change);
  try {
    m_idxPendingChanges.Add(m_vecChangeSet, m_vecChangeSet.size() - 1);
  } catch (const std::bad_alloc&) {
    m_vecChangeSet.pop_back();
    throw;
  }
}

void CRssNewsMgr::ClearPendingIDLocked(const CString& strID) {
  m_vecPendingIDs.erase(std::remove(m_vecPendingIDs.begin(), m_vecPendingIDs.end(), strID), m_vecPendingIDs.end());
}
