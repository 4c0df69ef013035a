// CRssNewsMgr: notifications to every registered view, and the provider ID list.
#include <algorithm>
#include <iterator>

#include "module/ModuleStrings.h"
#include "news/RssNewsMgr.h"

CString CRssNewsMgr::GetProviderIDs() {
  port::MutexLock lock(m_mtx);
  return m_strProviderIDs;
}

void CRssNewsMgr::SetProviderIDs(const CString& strProviderIDs) {
  port::MutexLock lock(m_mtx);
  m_strProviderIDs = strProviderIDs;
}

void CRssNewsMgr::NotifyAllObj(NotifyType eType, const CString& strText, EventType eEvent) {
  std::vector<PlannedCall> calls;
  {
    port::MutexLock lock(m_mtx);
    calls = PlanNotifyAllLocked(eType, strText, eEvent);
  }
  // Nothing is caught: a view's exception ends the walk and reaches the caller.
  RunCalls(calls);
}

std::vector<CRssNewsMgr::PlannedCall> CRssNewsMgr::PlanNotifyAllLocked(NotifyType eType, const CString& strText,
                                                                       EventType eEvent) {
  CStringArray arrProviderIDs;
  SplitIDs(m_strProviderIDs, arrProviderIDs, VXRSS::IdSeparator());
  std::vector<PlannedCall> calls;
  for (const auto& [key, vecObj] : m_mapObj) {
    const CString strBooking = key.strBookingID;
    const bool bProviderBooking = strBooking == m_strProviderIDs;
    for (IRSSNewsObjEvent* pObj : vecObj) {
      if (!pObj) continue;
      if (eType == NOTIFY_CLEAR) {
        const bool bWanted = bProviderBooking ? eEvent != EVENT_SYMBOL : eEvent != EVENT_PROVIDER;
        if (bWanted) {
          calls.push_back(PlanCallLocked(pObj, [strText](IRSSNewsObjEvent& view) { view.OnHeadlineClear(strText); }));
        }
      } else if (bProviderBooking) {
        calls.push_back(PlanCallLocked(
            pObj, [strBooking](IRSSNewsObjEvent& view) { view.OnProviderHeadlineChange(strBooking, 0); }));
      } else {
        for (const CString& strProviderID : arrProviderIDs) {
          calls.push_back(PlanCallLocked(pObj, [strProviderID, strBooking](IRSSNewsObjEvent& view) {
            view.OnSymbolHeadlineChange(strProviderID, strBooking, 0);
          }));
        }
      }
    }
  }
  return calls;
}

// The registry moves to the new list and the calls that drop the old bookings and make the new ones are
// planned in one step, and sent before any view is told: a view that leaves or registers again from its
// OnHeadlineClear then finds the registry and the service agreeing, and its own booking calls follow ours.
// The views are told to reload only after every booking has been made again.
void CRssNewsMgr::RefreshProviderIDs(const CString& strProviderIDs) {
  std::optional<SessionLease> session;
  std::vector<ServiceCall> calls;
  {
    port::MutexLock lock(m_mtx);
    session = LeaseSessionLocked();
    if (!session) return;
    calls = RekeyRegistryLocked(strProviderIDs);
    if (!strProviderIDs.IsEmpty()) {
      std::vector<ServiceCall> booking = PlanRebookingLocked(strProviderIDs);
      calls.insert(calls.end(), std::make_move_iterator(booking.begin()), std::make_move_iterator(booking.end()));
    }
  }
  for (const ServiceCall& call : calls) call(*session->pSvc);
  NotifyAllObj(NOTIFY_CLEAR, CString(), EVENT_ALL);
  if (!strProviderIDs.IsEmpty()) NotifyAllObj(NOTIFY_CHANGE, CString(), EVENT_ALL);
}

// Moves the registry over to the new list in one step, so no other thread sees it half moved, and returns
// the unbooking calls the service must see. The service's answers are not looked at.
std::vector<CRssNewsMgr::ServiceCall> CRssNewsMgr::RekeyRegistryLocked(const CString& strNewIDs) {
  const CString strOldIDs = m_strProviderIDs;
  std::vector<ServiceCall> calls;
  ObjMap::iterator oldProvider;
  if (SearchObjInfoByID(oldProvider, strOldIDs) && !strOldIDs.IsEmpty()) {
    --m_nRefCount;
    calls.push_back([strOldIDs](IWTRSSNewsSvc& svc) { svc.UnbookProviderNews(strOldIDs); });
  }

  std::vector<ObjMap::iterator> moved;
  for (auto it = m_mapObj.begin(); it != m_mapObj.end(); ++it) {
    const CBookingInfo& key = it->first;
    if (key.strBookingID == strNewIDs) continue;
    if (key.strBookingID.CompareNoCase(strOldIDs) == 0) {
      const auto [targetBooking, bCreated] = m_mapObj.try_emplace(CBookingInfo(strNewIDs, 0));
      if (bCreated) m_idxBookingText.Add(targetBooking);
      std::vector<IRSSNewsObjEvent*>& target = targetBooking->second;
      for (IRSSNewsObjEvent* pObj : it->second) {
        NoteLeftLocked(pObj, it);
        if (std::find(target.begin(), target.end(), pObj) != target.end()) continue;
        target.push_back(pObj);
        NoteJoinedLocked(pObj, targetBooking);
      }
      moved.push_back(it);
    } else if (!strOldIDs.IsEmpty()) {
      --m_nRefCount;
      calls.push_back([key, strOldIDs](IWTRSSNewsSvc& svc) {
        svc.UnbookSymbolNews_Date(key.strBookingID, key.lBookingDate, strOldIDs);
      });
    }
  }
  for (const auto& it : moved) {
    m_idxBookingText.Remove(it);
    m_mapObj.erase(it);
  }

  for (auto& entry : m_mapObjInfo) {
    if (entry.second.booking.strBookingID == strOldIDs) entry.second.booking.strBookingID = strNewIDs;
  }
  m_strProviderIDs = strNewIDs;
  return calls;
}

std::vector<CRssNewsMgr::ServiceCall> CRssNewsMgr::PlanRebookingLocked(const CString& strNewIDs) {
  std::vector<ServiceCall> calls;
  for (const auto& booking : m_mapObj) {
    const CBookingInfo key = booking.first;
    ++m_nRefCount;
    if (key.strBookingID.CompareNoCase(strNewIDs) == 0) {
      calls.push_back([strNewIDs](IWTRSSNewsSvc& svc) { svc.BookProviderNews(strNewIDs); });
    } else {
      calls.push_back([key, strNewIDs](IWTRSSNewsSvc& svc) {
        svc.BookSymbolNews_Date(key.strBookingID, key.lBookingDate, strNewIDs);
      });
    }
  }
  return calls;
}

// At most one outstanding refresh per booking text: the next headline event for it clears the mark.
void CRssNewsMgr::UIRefresh(IRSSNewsObjEvent* pObj) {
  CBookingInfo key;
  bool bProviderBooking = false;
  {
    port::MutexLock lock(m_mtx);
    if (!m_pNewsSvc) return;
    const std::vector<ObjMap::iterator> bookings = BookingsHoldingLocked(pObj);
    if (bookings.empty()) return;
    key = bookings.front()->first;
    if (std::find(m_vecPendingIDs.begin(), m_vecPendingIDs.end(), key.strBookingID) != m_vecPendingIDs.end()) return;
    m_vecPendingIDs.push_back(key.strBookingID);
    bProviderBooking = key.strBookingID.CompareNoCase(m_strProviderIDs) == 0;
  }
  if (bProviderBooking) {
    QMRSSNewsSvc_UpdateProviderCache();
  } else {
    QMRSSNewsSvc_UpdateSymbolCache(key.strBookingID, key.lBookingDate);
  }
}
