#include "tests/model/ModelService.h"

CModelService::CModelService(const CModelScript& script) : m_script(script) {
  // One category with one item, enough for the manager to rebuild its tree.
  m_svc.AddCategory("Market", {{"P1", "Provider one"}});
  const auto count = [this](int delta, bool bSymbol) {
    return [this, delta, bSymbol](const fakes::FakeNewsSvc::Args& args) {
      const std::string key = bSymbol ? "S " + args[0] + ";" + args[1] + ";" + args[2] : "P " + args[0];
      if ((m_net[key] += delta) == 0) m_net.erase(key);
    };
  };
  m_svc.OnCall("BookProviderNews", count(1, false));
  m_svc.OnCall("UnbookProviderNews", count(-1, false));
  m_svc.OnCall("BookSymbolNews_Date", count(1, true));
  m_svc.OnCall("UnbookSymbolNews_Date", count(-1, true));
  m_svc.AnswerWith([this](const std::string& op, int nDefault, std::vector<NewsHeadline>* pList, CString* pContent) {
    return Answer(op, nDefault, pList, pContent);
  });
}

int CModelService::Answer(const std::string& op, int nDefault, std::vector<NewsHeadline>* pList, CString* pContent) {
  if (op == "GetCategoryCount") return m_script.CategoryCount();
  if (op == "BookProviderNews" || op == "BookSymbolNews_Date") return NextRefuses(AnswerKind::kBook) ? 0 : 1;
  if (op == "UnbookSymbolNews_Date") return NextRefuses(AnswerKind::kUnbookSymbol) ? 0 : 1;
  if (op == "ReqTotalHeadline") return NextRefuses(AnswerKind::kRequest) ? 1 : 0;
  if (op == "CancelTotalHeadline") return NextRefuses(AnswerKind::kCancel) ? 1 : 0;
  if (pList) return FillList(*pList);
  if (pContent) return FillContent(*pContent);
  return nDefault;
}

int CModelService::FillList(std::vector<NewsHeadline>& vecList) {
  if (NextRefuses(AnswerKind::kListStatus)) return 1;
  const int count = NextRoll(AnswerKind::kListSize) % 3;
  for (int i = 0; i < count; ++i) vecList.push_back(fakes::MakeHeadline({"", "", std::to_string(i)}));
  return 0;
}

int CModelService::FillContent(CString& strContent) {
  const int roll = NextRoll(AnswerKind::kContentStatus);
  strContent = CString("content-" + std::to_string(roll));
  return roll < 70 ? 0 : roll % 4;
}
