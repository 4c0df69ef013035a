#include "tests/model/ModelView.h"

#include <initializer_list>
#include <stdexcept>

#include "tests/model/ModelService.h"

namespace {

std::string Text(const CString& s) { return "'" + s.str() + "'"; }

// "name.Operation(arg,arg,...)", the spelling of one view call in the trace.
std::string Call(const IRSSNewsObjEvent* pObj, const char* op, std::initializer_list<std::string> args) {
  std::string call = ViewName(pObj) + "." + op + "(";
  for (const std::string& arg : args) call += (&arg == args.begin() ? "" : ",") + arg;
  return call + ")";
}

}  // namespace

std::string ViewName(const IRSSNewsObjEvent* pObj) {
  return pObj ? static_cast<const CModelView*>(pObj)->Name() : std::string("null");
}

bool ViewArmed(const IRSSNewsObjEvent* pObj) { return pObj && static_cast<const CModelView*>(pObj)->Armed(); }

bool ViewRemovesItself(const IRSSNewsObjEvent* pObj) {
  return pObj && static_cast<const CModelView*>(pObj)->RemovesItself();
}

std::string ProviderChangeCall(const IRSSNewsObjEvent* pObj, const CString& strProviderID, long lDate) {
  return Call(pObj, "OnProviderHeadlineChange", {Text(strProviderID), std::to_string(lDate)});
}

std::string SymbolChangeCall(const IRSSNewsObjEvent* pObj, const CString& strProviderID, const CString& strSymbolID,
                             long lDate) {
  return Call(pObj, "OnSymbolHeadlineChange", {Text(strProviderID), Text(strSymbolID), std::to_string(lDate)});
}

std::string ContentCall(const IRSSNewsObjEvent* pObj, const CString& strProviderID, long lKey1, long lKey2,
                        const CString& strContent) {
  return Call(pObj, "OnNewsContentArrive",
              {Text(strProviderID), std::to_string(lKey1), std::to_string(lKey2), Text(strContent)});
}

std::string SymbolContentCall(const IRSSNewsObjEvent* pObj, const CString& strProviderID, const CString& strSymbolID,
                              long lKey1, long lKey2, const CString& strContent) {
  return Call(pObj, "OnSymbolNewsContentArrive",
              {Text(strProviderID), Text(strSymbolID), std::to_string(lKey1), std::to_string(lKey2), Text(strContent)});
}

std::string ClearCall(const IRSSNewsObjEvent* pObj, const CString& strProviderID) {
  return Call(pObj, "OnHeadlineClear", {Text(strProviderID)});
}

std::string TotalHeadlineCall(const IRSSNewsObjEvent* pObj, std::size_t nCount) {
  return Call(pObj, "OnTotalHeadline", {std::to_string(nCount)});
}

std::string CategoryReadyCall(const IRSSNewsObjEvent* pObj) { return Call(pObj, "OnCategoryReady", {}); }

void CModelView::AfterHeadlineCall() {
  if (m_pRemover) m_pRemover->RemoveNotify(this, "");
  if (m_bArmed) throw std::runtime_error(m_name + " fails on purpose");
}

void CModelView::OnProviderHeadlineChange(const CString& strProviderID, long lDate) {
  m_trace.push_back(ProviderChangeCall(this, strProviderID, lDate));
  AfterHeadlineCall();
}

void CModelView::OnSymbolHeadlineChange(const CString& strProviderID, const CString& strSymbolID, long lDate) {
  m_trace.push_back(SymbolChangeCall(this, strProviderID, strSymbolID, lDate));
  AfterHeadlineCall();
}

void CModelView::OnNewsContentArrive(const CString& strProviderID, long lKey1, long lKey2, const CString& strContent) {
  m_trace.push_back(ContentCall(this, strProviderID, lKey1, lKey2, strContent));
}

void CModelView::OnSymbolNewsContentArrive(const CString& strProviderID, const CString& strSymbolID, long lKey1,
                                           long lKey2, const CString& strContent) {
  m_trace.push_back(SymbolContentCall(this, strProviderID, strSymbolID, lKey1, lKey2, strContent));
}

void CModelView::OnHeadlineClear(const CString& strProviderID) { m_trace.push_back(ClearCall(this, strProviderID)); }

void CModelView::OnTotalHeadline(std::vector<NewsHeadline>& vecHeadline) {
  m_trace.push_back(TotalHeadlineCall(this, vecHeadline.size()));
  // The view owns the records' blocks from here on, whether or not it then fails.
  FreeHeadlines(vecHeadline);
  AfterHeadlineCall();
}

void CModelView::OnCategoryReady() { m_trace.push_back(CategoryReadyCall(this)); }
