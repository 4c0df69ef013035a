// CRssNewsMgr: the observer registry. Views book news through AddNotify and leave through RemoveNotify; the
// first view of a booking books it at the service and the last one unbooks it.
#include <algorithm>
#include <new>

#include "module/ModuleStrings.h"
#include "news/HeadlineBlocks.h"
#include "news/RssNewsMgr.h"

bool CRssNewsMgr::AddNotify(IRSSNewsObjEvent* pObj, const CString& strIDs, long lDate) {
  std::optional<SessionLease> session;
  CString strProviderIDs;
  bool bBook = false;
  PlannedCall announce;
  {
    port::MutexLock lock(m_mtx);
    session = LeaseSessionLocked();
    if (!session || strIDs.IsEmpty()) return false;
    m_calls.Reopen(pObj);
    if (!m_bCategoryReady) {
      try {
        m_vecPendingNotify.emplace_back(strIDs, pObj);
      } catch (const std::bad_alloc&) {
        return false;
      }
      return true;
    }
    const CBookingInfo key(strIDs, static_cast<int32_t>(lDate));
    bool bNewKey = false;
    if (!InsertElementToMapObj(key, pObj, bNewKey)) return false;
    RecordOfLocked(pObj).booking = key;
    strProviderIDs = m_strProviderIDs;
    bBook = bNewKey && !strProviderIDs.IsEmpty();
    if (bBook) ++m_nRefCount;
    announce = PlanCallLocked(pObj, [strProviderIDs, strIDs](IRSSNewsObjEvent& view) {
      view.OnSymbolHeadlineChange(strProviderIDs, strIDs, 0);
    });
  }
  if (bBook && session->pSvc->BookSymbolNews_Date(strIDs, lDate, strProviderIDs) == 0) return false;
  if (!pObj) return true;
  try {
    RunCall(announce);
  } catch (...) {
    // A view that fails while it is being registered is not kept.
    RemoveFailedView(pObj);
    return false;
  }
  return true;
}

bool CRssNewsMgr::AddNotify(IRSSNewsObjEvent* pObj) {
  std::optional<SessionLease> session;
  CString strProviderIDs;
  bool bBook = false;
  {
    port::MutexLock lock(m_mtx);
    session = LeaseSessionLocked();
    if (!session) return false;
    m_calls.Reopen(pObj);
    if (!m_bCategoryReady) {
      try {
        m_vecPendingNotify.emplace_back(CString(), pObj);
      } catch (const std::bad_alloc&) {
        return false;
      }
      return true;
    }
    strProviderIDs = m_strProviderIDs;
    bool bNewKey = false;
    if (!InsertElementToMapObj(CBookingInfo(strProviderIDs, 0), pObj, bNewKey)) return false;
    // Only the text changes: an earlier symbol booking's date stays in the record.
    RecordOfLocked(pObj).booking.strBookingID = strProviderIDs;
    bBook = bNewKey && !strProviderIDs.IsEmpty();
    if (bBook) ++m_nRefCount;
  }
  if (bBook && session->pSvc->BookProviderNews(strProviderIDs) == 0) return false;

  int nTaskID = 0;
  {
    port::MutexLock lock(m_mtx);
    if (!BuildTaskInfo(nTaskID, pObj, strProviderIDs)) return false;
  }
  CStringArray arrIDs;
  SplitIDs(strProviderIDs, arrIDs, VXRSS::IdSeparator());
  for (const CString& strID : arrIDs) {
    if (session->pSvc->ReqTotalHeadline(strID, nTaskID) != 0) return false;
  }
  return true;
}

// After RemoveNotify no call to the view starts, and calls running on other threads have ended, so the host
// may destroy the view once it returns.
bool CRssNewsMgr::RemoveNotify(IRSSNewsObjEvent* pObj, const CString& /*strIDs: not used*/) {
  const bool bResult = RemoveFailedView(pObj);
  m_calls.WaitUntilIdle(pObj);
  return bResult;
}

bool CRssNewsMgr::RemoveFailedView(IRSSNewsObjEvent* pObj) {
  const bool bResult = RemoveFromRegistry(pObj);
  ForgetView(pObj);
  return bResult;
}

// The registry part of RemoveNotify: cancel the view's open tasks, take it out of every booking list up to
// the first emptied booking, and drop that booking at the service.
bool CRssNewsMgr::RemoveFromRegistry(IRSSNewsObjEvent* pObj) {
  std::optional<SessionLease> session;
  std::vector<int> vecTaskIDs;
  {
    port::MutexLock lock(m_mtx);
    session = LeaseSessionLocked();
    if (!session) return false;
    for (const auto& [nTaskID, task] : m_mapTask) {
      if (task.pObj == pObj) vecTaskIDs.push_back(nTaskID);
    }
  }
  for (const int nTaskID : vecTaskIDs) {
    if (session->pSvc->CancelTotalHeadline(nTaskID) != 0) return false;
    ReleaseCancelledTask(nTaskID, pObj);
  }

  CBookingInfo emptied;
  CString strProviderIDs;
  {
    port::MutexLock lock(m_mtx);
    // The view leaves its bookings in key order, up to the first one that it leaves empty.
    bool bEmptied = false;
    for (const ObjMap::iterator& booking : BookingsHoldingLocked(pObj)) {
      std::vector<IRSSNewsObjEvent*>& vecObj = booking->second;
      vecObj.erase(std::find(vecObj.begin(), vecObj.end(), pObj));
      NoteLeftLocked(pObj, booking);
      if (!vecObj.empty()) continue;
      emptied = booking->first;
      m_idxBookingText.Remove(booking);
      m_mapObj.erase(booking);
      bEmptied = true;
      break;
    }
    if (!bEmptied) return true;
    strProviderIDs = m_strProviderIDs;
    if (strProviderIDs.IsEmpty()) return true;
    --m_nRefCount;
  }
  // The booking is gone from the registry whatever the service answers: what the service was asked to book
  // and unbook always matches what the registry holds. A refusal is reported to the caller.
  if (emptied.strBookingID.CompareNoCase(strProviderIDs) == 0) {
    session->pSvc->UnbookProviderNews(emptied.strBookingID);
    return true;
  }
  return session->pSvc->UnbookSymbolNews_Date(emptied.strBookingID, emptied.lBookingDate, strProviderIDs) != 0;
}

// From here on no call to the view starts, and a queued registration of it is not replayed.
void CRssNewsMgr::ForgetView(IRSSNewsObjEvent* pObj) {
  port::MutexLock lock(m_mtx);
  m_vecPendingNotify.erase(std::remove_if(m_vecPendingNotify.begin(), m_vecPendingNotify.end(),
                                          [pObj](const auto& queued) { return queued.second == pObj; }),
                           m_vecPendingNotify.end());
  m_calls.Revoke(pObj);
}

bool CRssNewsMgr::InsertElementToMapObj(const CBookingInfo& key, IRSSNewsObjEvent* pObj, bool& bNewKey) {
  bNewKey = false;
  try {
    const auto it = m_mapObj.find(key);
    if (it != m_mapObj.end()) {
      std::vector<IRSSNewsObjEvent*>& vecObj = it->second;
      if (std::find(vecObj.begin(), vecObj.end(), pObj) != vecObj.end()) return false;
      vecObj.push_back(pObj);
      try {
        NoteJoinedLocked(pObj, it);
      } catch (const std::bad_alloc&) {
        vecObj.pop_back();
        throw;
      }
      return true;
    }
    const auto created = m_mapObj.emplace(key, std::vector<IRSSNewsObjEvent*>{pObj}).first;
    try {
      m_idxBookingText.Add(created);
      try {
        NoteJoinedLocked(pObj, created);
      } catch (const std::bad_alloc&) {
        m_idxBookingText.Remove(created);
        throw;
      }
    } catch (const std::bad_alloc&) {
      m_mapObj.erase(created);
      throw;
    }
    bNewKey = true;
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

CRssNewsMgr::ViewRecord& CRssNewsMgr::RecordOfLocked(IRSSNewsObjEvent* pObj) {
  return m_mapObjInfo.try_emplace(pObj, ViewRecord{CBookingInfo(), m_mapObj.end()}).first->second;
}

void CRssNewsMgr::NoteJoinedLocked(IRSSNewsObjEvent* pObj, ObjMap::iterator booking) {
  ViewRecord& record = RecordOfLocked(pObj);
  if (record.itHeldIn == m_mapObj.end()) {
    record.itHeldIn = booking;
  } else {
    m_mapFurtherBookings.emplace(pObj, booking);
  }
}

// Takes nothing: erasing from the maps never allocates.
void CRssNewsMgr::NoteLeftLocked(IRSSNewsObjEvent* pObj, ObjMap::iterator booking) {
  const auto [first, last] = m_mapFurtherBookings.equal_range(pObj);
  ViewRecord& record = m_mapObjInfo.find(pObj)->second;
  if (record.itHeldIn == booking) {
    // One of the further bookings, if any, takes its place.
    record.itHeldIn = first == last ? m_mapObj.end() : first->second;
    if (first != last) m_mapFurtherBookings.erase(first);
    return;
  }
  const auto further = std::find_if(first, last, [booking](const auto& entry) { return entry.second == booking; });
  if (further != last) m_mapFurtherBookings.erase(further);
}

std::vector<CRssNewsMgr::ObjMap::iterator> CRssNewsMgr::BookingsHoldingLocked(IRSSNewsObjEvent* pObj) const {
  std::vector<ObjMap::iterator> bookings;
  const auto record = m_mapObjInfo.find(pObj);
  if (record == m_mapObjInfo.end() || record->second.itHeldIn == m_mapObj.end()) return bookings;
  bookings.push_back(record->second.itHeldIn);
  const auto [first, last] = m_mapFurtherBookings.equal_range(pObj);
  for (auto it = first; it != last; ++it) bookings.push_back(it->second);
  std::sort(bookings.begin(), bookings.end(),
            [](ObjMap::iterator a, ObjMap::iterator b) { return a->first < b->first; });
  return bookings;
}

bool CRssNewsMgr::HoldsABookingLocked(IRSSNewsObjEvent* pObj) const {
  const auto record = m_mapObjInfo.find(pObj);
  return record != m_mapObjInfo.end() && record->second.itHeldIn != m_mapObj.end();
}

bool CRssNewsMgr::SearchObjInfoByID(ObjMap::iterator& it, const CString& strID) {
  it = FindFirstBookingNoCase(strID);
  return it != m_mapObj.end();
}

// The first booking in map order whose text equals strID ignoring case; dates are not looked at.
CRssNewsMgr::ObjMap::iterator CRssNewsMgr::FindFirstBookingNoCase(const CString& strID) {
  return m_idxBookingText.FindFirst(strID, m_mapObj.end());
}

// With every slot taken the request is refused (false, nTaskID unchanged): sharing a slot would answer only
// one of the two views and a cancellation for either would end both.
bool CRssNewsMgr::BuildTaskInfo(int& nTaskID, IRSSNewsObjEvent* pObj, const CString& strIDs) {
  if (!pObj) return false;
  const auto freeSlot = std::find(std::begin(m_bTaskFree), std::end(m_bTaskFree), true);
  if (freeSlot == std::end(m_bTaskFree)) return false;
  nTaskID = static_cast<int>(freeSlot - std::begin(m_bTaskFree));
  *freeSlot = false;
  try {
    TaskInfo& task = m_mapTask[nTaskID];
    task.strIDs = strIDs;
    task.pObj = pObj;
    CStringArray arrIDs;
    SplitIDs(strIDs, arrIDs, VXRSS::IdSeparator());
    for (const CString& strID : arrIDs) task.vecIDs.push_back(strID);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// The service has cancelled the task, so no answer for it is due: its record goes and its slot is free
// again. An answer that still arrives finds no task and is ignored. The task is left alone when it was
// answered meanwhile and its slot given to another request.
void CRssNewsMgr::ReleaseCancelledTask(int nTaskID, IRSSNewsObjEvent* pObj) {
  port::MutexLock lock(m_mtx);
  const auto task = m_mapTask.find(nTaskID);
  if (task == m_mapTask.end() || task->second.pObj != pObj) return;
  FreeHeadlineBlocks(task->second.vecHeadline);
  m_mapTask.erase(task);
  m_bTaskFree[nTaskID] = true;
}

void CRssNewsMgr::SplitIDs(const CString& strSource, CStringArray& arrResult, CString strSeparator) {
  arrResult.RemoveAll();
  CString strRest = strSource;
  while (!strRest.IsEmpty()) {
    const int nPos = strRest.Find(strSeparator);
    if (nPos < 0) {
      arrResult.Add(strRest);
      return;
    }
    arrResult.Add(strRest.Left(nPos));
    strRest = strRest.Mid(nPos + strSeparator.GetLength());
  }
}

void CRssNewsMgr::ClearMapInfo() {
  for (auto& booking : m_mapObj) booking.second.clear();
  m_mapObj.clear();
  m_idxBookingText.Clear();
  m_mapObjInfo.clear();
  m_mapFurtherBookings.clear();
  m_mapCategory.clear();
  // Headlines collected for tasks that will never be answered now belong to nobody else.
  for (auto& task : m_mapTask) FreeHeadlineBlocks(task.second.vecHeadline);
  m_mapTask.clear();
}

// Takes the oldest queued registration, with the date of the view's last booking (0 without one). One at a
// time, so that a RemoveNotify during the replay still keeps its view's later registrations from running.
bool CRssNewsMgr::TakeNextQueuedRegistration(std::pair<CString, IRSSNewsObjEvent*>& registration, long& lDate) {
  port::MutexLock lock(m_mtx);
  if (m_vecPendingNotify.empty()) return false;
  registration = m_vecPendingNotify.front();
  m_vecPendingNotify.erase(m_vecPendingNotify.begin());
  const auto info = m_mapObjInfo.find(registration.second);
  lDate = info == m_mapObjInfo.end() ? 0 : info->second.booking.lBookingDate;
  return true;
}

// Plain case-sensitive substring search of the whole list: any part of the list counts.
bool CRssNewsMgr::IsInProviderListLocked(const CString& strID) const { return m_strProviderIDs.Find(strID) >= 0; }

// A reported provider ID is served under the provider booking when it lies inside the provider list.
CString CRssNewsMgr::BookingKeyLocked(const CString& strProviderID) const {
  return IsInProviderListLocked(strProviderID) ? m_strProviderIDs : strProviderID;
}
