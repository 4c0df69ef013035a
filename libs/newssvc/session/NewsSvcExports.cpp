// The service library's exported functions.
#include <memory>

#include "libs/newssvc/WTRSSNewsSvc.h"
#include "libs/newssvc/session/RssNewsSession.h"
#include "libs/newssvc/session/SessionRegistry.h"

using newssvc::CRssNewsSession;
using newssvc::CSessionRegistry;

IWTRSSNewsSvc* QMGetWTRSSNewsSvc(const CString& str1, const CString& str2, const CString& strConfig) {
  auto session = std::make_unique<CRssNewsSession>(strConfig, str1, str2);
  if (!session->Open()) return nullptr;
  CSessionRegistry::Instance().Add(session.get());
  return session.release();
}

void QMReleaseWTRSSNewsSvc(IWTRSSNewsSvc** ppSvc) {
  if (!ppSvc || !*ppSvc) return;
  // Every session this library hands out is a CRssNewsSession.
  std::unique_ptr<CRssNewsSession> session(static_cast<CRssNewsSession*>(*ppSvc));
  *ppSvc = nullptr;
  CSessionRegistry::Instance().Remove(session.get());
  CRssNewsSession::Destroy(std::move(session));
}

void QMRSSNewsSvcSetServerTime(long lValue1, long lValue2) {
  CSessionRegistry::Instance().ForEach([=](CRssNewsSession& session) { session.SetServerTime(lValue1, lValue2); });
}

void QMRSSNewsSvc_UpdateProviderCache() {
  CSessionRegistry::Instance().ForEach([](CRssNewsSession& session) { session.UpdateProviderCache(); });
}

void QMRSSNewsSvc_UpdateSymbolCache(const CString& strID, int nDate) {
  CSessionRegistry::Instance().ForEach([&](CRssNewsSession& session) { session.UpdateSymbolCache(strID, nDate); });
}
