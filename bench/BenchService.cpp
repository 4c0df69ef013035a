#include "bench/BenchService.h"

#include <cstring>
#include <new>

namespace {

// One category listing the provider the benchmarks use.
class CBenchCategory : public IRSSNewsCategory {
 public:
  void Release() override {}
  CString GetName() override { return "Market"; }
  int GetItemCount() override { return 1; }
  CString GetItemID(int) override { return "P1"; }
  CString GetItemName(int) override { return "Provider one"; }
};

CBenchCategory g_category;
CBenchService g_service;

}  // namespace

IRSSNewsCategory* CBenchService::GetCategory(int) { return &g_category; }

int CBenchService::OneRecord(std::vector<NewsHeadline>& vecList) {
  NewsHeadline h;
  std::memset(&h, 0, sizeof h);
  h.pBlock = ::operator new(16);
  vecList.push_back(h);
  return 0;
}

// The service library's exported functions, served by the one benchmark session.
IWTRSSNewsSvc* QMGetWTRSSNewsSvc(const CString&, const CString&, const CString&) { return &g_service; }
void QMReleaseWTRSSNewsSvc(IWTRSSNewsSvc** ppSvc) {
  if (ppSvc) *ppSvc = nullptr;
}
void QMRSSNewsSvcSetServerTime(long, long) {}
void QMRSSNewsSvc_UpdateProviderCache() {}
void QMRSSNewsSvc_UpdateSymbolCache(const CString&, int) {}
