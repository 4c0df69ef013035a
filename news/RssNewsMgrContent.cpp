// CRssNewsMgr: news content, asked for by views or announced by the service.
#include "module/ModuleStrings.h"
#include "news/RssNewsMgr.h"

namespace {

// The manager's code for a service content status: 1, 2, 3 for statuses 0, 1, 2; 0 for anything else.
int ContentCode(int nStatus) { return nStatus >= 0 && nStatus <= 2 ? nStatus + 1 : 0; }

}  // namespace

void CRssNewsMgr::OnNewsContentChange(const CString& strProviderID, long lKey1, long lKey2) {
  std::optional<SessionLease> session;
  CString strKey;
  {
    port::MutexLock lock(m_mtx);
    session = LeaseSessionLocked();
    if (!session) return;
    strKey = BookingKeyLocked(strProviderID);
    ObjMap::iterator booking;
    if (!SearchObjInfoByID(booking, strKey)) return;
  }
  CString strContent;
  if (session->pSvc->GetNewsContent(strProviderID, lKey1, lKey2, strContent) != 0) return;

  std::vector<PlannedCall> calls;
  {
    port::MutexLock lock(m_mtx);
    calls = PlanContentArrivalLocked(strKey, [strProviderID, lKey1, lKey2, strContent](IRSSNewsObjEvent& view) {
      view.OnNewsContentArrive(strProviderID, lKey1, lKey2, strContent);
    });
  }
  RunCalls(calls);
}

void CRssNewsMgr::OnSymbolNewsContentChange(const CString& strProviderID, const CString& strSymbolID, long lKey1,
                                            long lKey2) {
  const std::optional<SessionLease> session = LeaseSessionIfBooked(strSymbolID);
  if (!session) return;
  CString strContent;
  if (session->pSvc->GetSymbolNewsContent(strProviderID, strSymbolID, lKey1, lKey2, strContent) != 0) return;

  std::vector<PlannedCall> calls;
  {
    port::MutexLock lock(m_mtx);
    calls = PlanContentArrivalLocked(
        strSymbolID, [strProviderID, strSymbolID, lKey1, lKey2, strContent](IRSSNewsObjEvent& view) {
          view.OnSymbolNewsContentArrive(strProviderID, strSymbolID, lKey1, lKey2, strContent);
        });
  }
  RunCalls(calls);
}

// Every booking whose text equals the key ignoring case is served, each of its views in list order.
std::vector<CRssNewsMgr::PlannedCall> CRssNewsMgr::PlanContentArrivalLocked(const CString& strKey,
                                                                            const ViewCall& call) {
  std::vector<PlannedCall> calls;
  for (const ObjMap::iterator booking : m_idxBookingText.FindAll(strKey)) {
    for (IRSSNewsObjEvent* pObj : booking->second) {
      if (pObj) calls.push_back(PlanCallLocked(pObj, call));
    }
  }
  return calls;
}

int CRssNewsMgr::GetNewsContent(const CString& strProviderID, long lKey1, long lKey2, CString& strContent) {
  std::optional<SessionLease> session;
  {
    port::MutexLock lock(m_mtx);
    session = LeaseSessionLocked();
    if (!session || !IsInProviderListLocked(strProviderID)) return 0;
  }
  return ContentCode(session->pSvc->GetNewsContent(strProviderID, lKey1, lKey2, strContent));
}

int CRssNewsMgr::GetSymbolNewsContent(const CString& strProviderID, const CString& strSymbolID, long lKey1, long lKey2,
                                      CString& strContent) {
  std::optional<SessionLease> session;
  {
    port::MutexLock lock(m_mtx);
    session = LeaseSessionLocked();
    if (!session || !IsInProviderListLocked(strProviderID)) return 0;
  }
  return ContentCode(session->pSvc->GetSymbolNewsContent(strProviderID, strSymbolID, lKey1, lKey2, strContent));
}

// Cuts the target of the first "<a href='...'" link out of the text. Without a closing quote the text is
// left as what follows the opener, and the result is false.
bool CRssNewsMgr::ParseUrlFromContent(CString& strText) {
  if (strText.IsEmpty()) return false;
  const CString& strOpener = VXRSS::LinkOpener();
  const int nOpener = strText.Find(strOpener);
  if (nOpener < 0) return false;
  strText = strText.Right(strText.GetLength() - strOpener.GetLength() - nOpener);
  const int nCloser = strText.Find(VXRSS::LinkCloser());
  if (nCloser < 0) return false;
  strText = strText.Left(nCloser);
  return true;
}
