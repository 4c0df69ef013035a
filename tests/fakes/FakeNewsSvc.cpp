#include "tests/fakes/FakeNewsSvc.h"

// The service library's exported functions, served by the installed fake.
IWTRSSNewsSvc* QMGetWTRSSNewsSvc(const CString& str1, const CString& str2, const CString& strConfig) {
  fakes::FakeNewsSvc* const pSvc = fakes::FakeNewsSvc::Installed();
  return pSvc ? pSvc->Open(str1, str2, strConfig) : nullptr;
}

void QMReleaseWTRSSNewsSvc(IWTRSSNewsSvc** ppSvc) {
  if (fakes::FakeNewsSvc* const pSvc = fakes::FakeNewsSvc::Installed()) pSvc->Record("QMReleaseWTRSSNewsSvc", {});
  if (ppSvc) *ppSvc = nullptr;
}

void QMRSSNewsSvcSetServerTime(long lValue1, long lValue2) {
  if (fakes::FakeNewsSvc* const pSvc = fakes::FakeNewsSvc::Installed()) {
    pSvc->Record("QMRSSNewsSvcSetServerTime", {std::to_string(lValue1), std::to_string(lValue2)});
  }
}

void QMRSSNewsSvc_UpdateProviderCache() {
  if (fakes::FakeNewsSvc* const pSvc = fakes::FakeNewsSvc::Installed()) pSvc->Record("UpdateProviderCache", {});
}

void QMRSSNewsSvc_UpdateSymbolCache(const CString& strID, int nDate) {
  if (fakes::FakeNewsSvc* const pSvc = fakes::FakeNewsSvc::Installed()) {
    pSvc->Record("UpdateSymbolCache", {strID.str(), std::to_string(nDate)});
  }
}
