#include "tests/model/ModelService.h"

#include <new>

#include "tests/fakes/FakeNewsSvc.h"

namespace {

// The session the exported functions hand out; set by the model test before the manager's Init.
CModelService* g_pInstalled = nullptr;

std::string Text(const CString& s) { return "'" + s.str() + "'"; }

// One category with one item, enough for the manager to rebuild its tree.
class CModelCategory : public IRSSNewsCategory {
 public:
  void Release() override {}
  CString GetName() override { return "Market"; }
  int GetItemCount() override { return 1; }
  CString GetItemID(int) override { return "P1"; }
  CString GetItemName(int) override { return "Provider one"; }
};

CModelCategory g_category;

}  // namespace

void FreeHeadlines(std::vector<NewsHeadline>& vecList) {
  for (NewsHeadline& h : vecList) {
    ::operator delete(h.pBlock);
    h.pBlock = nullptr;
  }
  vecList.clear();
}

void CModelService::Install() { g_pInstalled = this; }

int CModelService::Login(IWTRSSNewsSvcEvent*) { return 1; }
int CModelService::Logout(IWTRSSNewsSvcEvent*) { return 1; }
int CModelService::SetSessionInfo(const CString&, const CString&, const CString&) { return 1; }
int CModelService::Connect() { return 1; }
int CModelService::Disconnect() { return 1; }

int CModelService::GetCategoryCount() {
  Record("GetCategoryCount");
  return m_script.CategoryCount();
}

IRSSNewsCategory* CModelService::GetCategory(int nIndex) {
  Record("GetCategory(" + std::to_string(nIndex) + ")");
  return &g_category;
}

int CModelService::BookProviderNews(const CString& strProviderIDs) {
  Record("BookProviderNews(" + Text(strProviderIDs) + ")");
  return NextRefuses(AnswerKind::kBook) ? 0 : 1;
}

int CModelService::UnbookProviderNews(const CString& strProviderIDs) {
  Record("UnbookProviderNews(" + Text(strProviderIDs) + ")");
  return 1;
}

int CModelService::FillList(std::vector<NewsHeadline>& vecList) {
  if (NextRefuses(AnswerKind::kListStatus)) return 1;
  const int count = NextRoll(AnswerKind::kListSize) % 3;
  for (int i = 0; i < count; ++i) {
    vecList.push_back(fakes::MakeHeadline({"", "", std::to_string(i)}));
  }
  return 0;
}

int CModelService::FillContent(CString& strContent) {
  const int roll = NextRoll(AnswerKind::kContentStatus);
  strContent = CString("content-" + std::to_string(roll));
  return roll < 70 ? 0 : roll % 4;
}

int CModelService::GetTotalHeadline(const CString& strProviderID, std::vector<NewsHeadline>& vecList) {
  Record("GetTotalHeadline(" + Text(strProviderID) + ")");
  return FillList(vecList);
}

int CModelService::ReqTotalHeadline(const CString& strProviderID, int nTaskID) {
  Record("ReqTotalHeadline(" + Text(strProviderID) + "," + std::to_string(nTaskID) + ")");
  return NextRefuses(AnswerKind::kRequest) ? 1 : 0;
}

int CModelService::CancelTotalHeadline(int nTaskID) {
  Record("CancelTotalHeadline(" + std::to_string(nTaskID) + ")");
  return NextRefuses(AnswerKind::kCancel) ? 1 : 0;
}

int CModelService::GetProviderHeadline_Date(const CString& strProviderID, long lDate,
                                            std::vector<NewsHeadline>& vecList) {
  Record("GetProviderHeadline_Date(" + Text(strProviderID) + "," + std::to_string(lDate) + ")");
  return FillList(vecList);
}

int CModelService::GetNewsContent(const CString& strProviderID, long lKey1, long lKey2, CString& strContent) {
  Record("GetNewsContent(" + Text(strProviderID) + "," + std::to_string(lKey1) + "," + std::to_string(lKey2) + ")");
  return FillContent(strContent);
}

int CModelService::BookSymbolNews_Date(const CString& strSymbolIDs, long lDate, const CString& strProviderIDs) {
  Record("BookSymbolNews_Date(" + Text(strSymbolIDs) + "," + std::to_string(lDate) + "," + Text(strProviderIDs) + ")");
  return NextRefuses(AnswerKind::kBook) ? 0 : 1;
}

int CModelService::UnbookSymbolNews_Date(const CString& strSymbolIDs, long lDate, const CString& strProviderIDs) {
  Record("UnbookSymbolNews_Date(" + Text(strSymbolIDs) + "," + std::to_string(lDate) + "," + Text(strProviderIDs) +
         ")");
  return NextRefuses(AnswerKind::kUnbookSymbol) ? 0 : 1;
}

int CModelService::GetSymbolHeadline(const CString& strProviderID, const CString& strSymbolIDs,
                                     std::vector<NewsHeadline>& vecList) {
  Record("GetSymbolHeadline(" + Text(strProviderID) + "," + Text(strSymbolIDs) + ")");
  return FillList(vecList);
}

int CModelService::GetSymbolHeadline_Date(const CString& strProviderID, const CString& strSymbolID, long lDate,
                                          std::vector<NewsHeadline>& vecList) {
  Record("GetSymbolHeadline_Date(" + Text(strProviderID) + "," + Text(strSymbolID) + "," + std::to_string(lDate) + ")");
  return FillList(vecList);
}

int CModelService::GetSymbolNewsContent(const CString& strProviderID, const CString& strSymbolID, long lKey1,
                                        long lKey2, CString& strContent) {
  Record("GetSymbolNewsContent(" + Text(strProviderID) + "," + Text(strSymbolID) + "," + std::to_string(lKey1) + "," +
         std::to_string(lKey2) + ")");
  return FillContent(strContent);
}

IWTRSSNewsSvc* QMGetWTRSSNewsSvc(const CString&, const CString&, const CString&) { return g_pInstalled; }

void QMReleaseWTRSSNewsSvc(IWTRSSNewsSvc** ppSvc) {
  if (ppSvc) *ppSvc = nullptr;
}

void QMRSSNewsSvcSetServerTime(long, long) {}

void QMRSSNewsSvc_UpdateProviderCache() {
  if (g_pInstalled) g_pInstalled->Record("UpdateProviderCache");
}

void QMRSSNewsSvc_UpdateSymbolCache(const CString& strID, int nDate) {
  if (g_pInstalled) g_pInstalled->Record("UpdateSymbolCache(" + Text(strID) + "," + std::to_string(nDate) + ")");
}
