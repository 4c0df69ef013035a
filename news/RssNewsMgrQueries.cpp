// CRssNewsMgr: headline queries. Lists keep the service's order; their records' blocks go to the caller.
#include <algorithm>
#include <new>

#include "module/ModuleStrings.h"
#include "news/HeadlineBlocks.h"
#include "news/HeadlineDateOrder.h"
#include "news/RssNewsMgr.h"

namespace {

// Moves the records to the end of `out`; a record that cannot be stored is dropped with its block.
bool AppendHeadlines(CScopedHeadlines& list, std::vector<NewsHeadline>& vecOut) {
  bool bAllStored = true;
  std::vector<NewsHeadline> vecRecords = list.Release();
  for (NewsHeadline& record : vecRecords) {
    try {
      vecOut.push_back(record);
    } catch (const std::bad_alloc&) {
      ::operator delete(record.pBlock);
      bAllStored = false;
    }
  }
  return bAllStored;
}

}  // namespace

bool CRssNewsMgr::GetNewsHeadline(IRSSNewsObjEvent* pObj, std::vector<NewsHeadline>& vecOut) {
  vecOut.clear();
  std::optional<SessionLease> session;
  CString strBooking;
  CString strProviderIDs;
  int nTaskID = 0;
  {
    port::MutexLock lock(m_mtx);
    session = LeaseSessionLocked();
    if (!session || !pObj) return false;
    // A view that has left holds no booking: nothing would reach it.
    if (!HoldsABookingLocked(pObj)) return false;
    strBooking = m_mapObjInfo.find(pObj)->second.booking.strBookingID;
    if (!IsInProviderListLocked(strBooking)) {
      session.reset();
    } else {
      // The provider booking: the list reaches the view later through OnTotalHeadline.
      strProviderIDs = m_strProviderIDs;
      if (!BuildTaskInfo(nTaskID, pObj, strProviderIDs)) return false;
    }
  }
  if (!session) return GetSvcNewsHeadline(CString(), strBooking, vecOut);

  bool bResult = true;
  CStringArray arrIDs;
  SplitIDs(strProviderIDs, arrIDs, VXRSS::IdSeparator());
  for (const CString& strID : arrIDs) {
    if (session->pSvc->ReqTotalHeadline(strID, nTaskID) != 0) bResult = false;
  }
  return bResult;
}

bool CRssNewsMgr::PullProviderNewsHeadline_Date(const CString& strProviderIDs, long lDate,
                                                std::vector<NewsHeadline>& vecOut) {
  vecOut.clear();
  std::optional<SessionLease> session = LeaseSession();
  if (!session) return false;
  if (lDate < 1) return GetSvcNewsHeadline(strProviderIDs, vecOut);
  // Status 0 means the list was filled, as for every other caller of this operation.
  return session->pSvc->GetProviderHeadline_Date(strProviderIDs, lDate, vecOut) == 0;
}

bool CRssNewsMgr::PullSymbolNewsHeadline_Date(const CString& strProviderIDs, const CString& strSymbolIDs, long lDate,
                                              std::vector<NewsHeadline>& vecOut) {
  vecOut.clear();
  std::optional<SessionLease> session = LeaseSession();
  if (!session) return false;
  if (lDate < 1) return GetSvcNewsHeadline(strProviderIDs, strSymbolIDs, vecOut);
  return session->pSvc->GetSymbolHeadline_Date(strProviderIDs, strSymbolIDs, lDate, vecOut) == 0;
}

bool CRssNewsMgr::SearchNewsHeadline(const CString& strWords, const CString& strProviderIDs, const CString& strSymbolID,
                                     long lFromDate, long lToDate, int nMax, std::vector<NewsHeadline>& vecOut) {
  vecOut.clear();
  std::optional<SessionLease> session = LeaseSession();
  if (!session) return false;
  return session->pSvc->SearchHeadline(strWords, strProviderIDs, strSymbolID, lFromDate, lToDate, nMax, vecOut) == 0;
}

// The whole list of each ID of `strIDs`, one after the other behind what `vecOut` already holds.
bool CRssNewsMgr::GetSvcNewsHeadline(const CString& strIDs, std::vector<NewsHeadline>& vecOut) {
  std::optional<SessionLease> session = LeaseSession();
  if (!session) return false;
  bool bResult = true;
  CStringArray arrIDs;
  SplitIDs(strIDs, arrIDs, VXRSS::IdSeparator());
  for (const CString& strID : arrIDs) {
    CScopedHeadlines list;
    if (session->pSvc->GetTotalHeadline(strID, list.List()) != 0 || !AppendHeadlines(list, vecOut)) bResult = false;
  }
  return bResult;
}

// One symbol's lists from each provider (all configured providers when none are given), provider by provider.
bool CRssNewsMgr::GetSvcNewsHeadline(const CString& strProviderIDs, const CString& strSymbolIDs,
                                     std::vector<NewsHeadline>& vecOut) {
  std::optional<SessionLease> session;
  CString strProviders = strProviderIDs;
  {
    port::MutexLock lock(m_mtx);
    session = LeaseSessionLocked();
    if (strProviders.IsEmpty()) strProviders = m_strProviderIDs;
  }
  if (!session) return false;
  bool bResult = true;
  CStringArray arrProviderIDs;
  SplitIDs(strProviders, arrProviderIDs, VXRSS::IdSeparator());
  for (const CString& strProviderID : arrProviderIDs) {
    CScopedHeadlines list;
    if (session->pSvc->GetSymbolHeadline(strProviderID, strSymbolIDs, list.List()) != 0 ||
        !AppendHeadlines(list, vecOut)) {
      bResult = false;
    }
  }
  return bResult;
}

bool CRssNewsMgr::SortByDate(std::vector<NewsHeadline>& vecList) {
  std::stable_sort(vecList.begin(), vecList.end(), HeadlineDateOrder(false));
  return true;
}
