// CRssNewsMgr: construction, the service session (Init, Finit), the module logger and the small accessors.
#include <algorithm>

#include "module/ModuleLog.h"
#include "module/ModuleStrings.h"
#include "news/RssNewsMgr.h"
#include "port/Path.h"
#include "settings/RSSNewsData.h"

CRssNewsMgr::CRssNewsMgr() = default;

CRssNewsMgr::~CRssNewsMgr() { Finit(); }

bool CRssNewsMgr::Init(const CString& strFactoryArg1, const CString& strFactoryArg2, const CString& strConfigRoot,
                       const CString& strSessionArg1, const CString& strSessionArg2, const CString& strSessionArg3,
                       bool bAuthorizedExch, const CString& strUserRoot) {
  bool bSessionOpen = false;
  {
    port::MutexLock lock(m_mtx);
    bSessionOpen = m_pNewsSvc != nullptr;
  }
  if (bSessionOpen) Finit();

  VXRSS::CreateModuleLog(port::JoinPath(port::ExecutableFolder(), VXRSS::LogFolderName()));

  {
    port::MutexLock lock(m_mtx);
    std::fill(std::begin(m_bTaskFree), std::end(m_bTaskFree), true);
  }

  const CString strConfigFolder = port::JoinPath(strConfigRoot, VXRSS::ConfigFolderName());
  IWTRSSNewsSvc* const pSvc = QMGetWTRSSNewsSvc(strFactoryArg1, strFactoryArg2, strConfigFolder);
  if (!pSvc) return false;

  CRSSNewsDataMgr& store = VXRSS::GetRSSNewsDataMgr();
  store.SetAuthorizedExch(bAuthorizedExch);
  CString strProviderIDs;
  if (bAuthorizedExch) {
    store.InitFolderPath(port::JoinPath(strUserRoot, VXRSS::DataFolderName()));
    store.Load();
    strProviderIDs = store.GetRSSNewsSels();
  }
  {
    port::MutexLock lock(m_mtx);
    m_pNewsSvc = pSvc;
    m_strProviderIDs = strProviderIDs;
  }

  pSvc->SetSessionInfo(strSessionArg3, strSessionArg1, strSessionArg2);
  if (pSvc->Connect() == 0) return false;
  Login();

  const bool bCategoryReady = pSvc->GetCategoryCount() > 0;
  {
    port::MutexLock lock(m_mtx);
    m_bCategoryReady = bCategoryReady;
  }
  if (!InitCategory()) return false;
  return StartThread();
}

void CRssNewsMgr::Finit() {
  EndThread();
  {
    port::MutexLock lock(m_mtx);
    ClearMapInfo();
    // Calls to views that were planned before this point no longer start: the registry they came from
    // is gone.
    m_calls.RevokeAll();
  }
  VXRSS::DestroyModuleLog();
  CloseSession();
}

void CRssNewsMgr::CloseSession() {
  IWTRSSNewsSvc* pSvc = nullptr;
  {
    port::MutexLock lock(m_mtx);
    // From here on every operation sees no session.
    pSvc = std::exchange(m_pNewsSvc, nullptr);
  }
  if (!pSvc) return;
  // Operations on other threads that still hold the session, and view calls they make, end first.
  m_calls.WaitUntilAllIdle();
  Logout(pSvc);
  pSvc->Disconnect();
  QMReleaseWTRSSNewsSvc(&pSvc);
}

std::optional<CRssNewsMgr::SessionLease> CRssNewsMgr::LeaseSessionLocked() {
  if (!m_pNewsSvc) return std::nullopt;
  return SessionLease{m_pNewsSvc, m_calls.Enter(&m_pNewsSvc)};
}

std::optional<CRssNewsMgr::SessionLease> CRssNewsMgr::LeaseSession() {
  port::MutexLock lock(m_mtx);
  return LeaseSessionLocked();
}

std::optional<CRssNewsMgr::SessionLease> CRssNewsMgr::LeaseSessionIfBooked(const CString& strID) {
  port::MutexLock lock(m_mtx);
  ObjMap::iterator booking;
  if (!m_pNewsSvc || !SearchObjInfoByID(booking, strID)) return std::nullopt;
  return LeaseSessionLocked();
}

bool CRssNewsMgr::Login() {
  std::optional<SessionLease> session = LeaseSession();
  if (!session) return false;
  session->pSvc->Login(this);
  return true;
}

bool CRssNewsMgr::Logout(IWTRSSNewsSvc* pSession) {
  if (!pSession) return false;
  pSession->Logout(this);
  return true;
}

bool CRssNewsMgr::SetServerTime(long lValue1, long lValue2) {
  std::optional<SessionLease> session = LeaseSession();
  if (!session) return false;
  QMRSSNewsSvcSetServerTime(lValue1, lValue2);
  return true;
}

int CRssNewsMgr::GetRefCount() {
  port::MutexLock lock(m_mtx);
  return m_nRefCount;
}

bool CRssNewsMgr::IsCategoryReady() {
  port::MutexLock lock(m_mtx);
  return m_bCategoryReady;
}

void CRssNewsMgr::GetRSSNewsSel(CString& strSel) {
  port::MutexLock lock(m_mtx);
  strSel = m_strRSSNewsSel;
}

bool CRssNewsMgr::Log(int nLevel, const CString& strText) { return VXRSS::WriteModuleLog(nLevel, strText); }

CRssNewsMgr::PlannedCall CRssNewsMgr::PlanCallLocked(IRSSNewsObjEvent* pObj, ViewCall call) {
  return PlannedCall{pObj, m_calls.TicketFor(pObj), std::move(call)};
}

bool CRssNewsMgr::RunCall(const PlannedCall& planned) {
  const std::optional<CCallTracker::Scope> running = m_calls.EnterIfCurrent(planned.pObj, planned.ticket);
  if (!running) return false;
  planned.call(*planned.pObj);
  return true;
}

void CRssNewsMgr::RunCalls(const std::vector<PlannedCall>& calls) {
  for (const PlannedCall& planned : calls) RunCall(planned);
}
