#include "tests/model/ModelView.h"

#include <stdexcept>

#include "tests/fakes/FakeNewsSvc.h"

namespace {

std::string Text(const CString& s) { return s.str(); }

// A view call spelled as the recording view writes it.
std::string Call(const IRSSNewsObjEvent* pObj, const char* op, const fakes::FakeNewsSvc::Args& args) {
  return ViewName(pObj) + "." + fakes::FakeNewsSvc::Format(op, args);
}

}  // namespace

std::string ViewName(const IRSSNewsObjEvent* pObj) {
  return pObj ? static_cast<const CModelView*>(pObj)->Name() : std::string("null");
}

bool ViewArmed(const IRSSNewsObjEvent* pObj) { return pObj && static_cast<const CModelView*>(pObj)->Armed(); }

bool ViewRemovesItself(const IRSSNewsObjEvent* pObj) {
  return pObj && static_cast<const CModelView*>(pObj)->RemovesItself();
}

bool ViewReenters(const IRSSNewsObjEvent* pObj) {
  return pObj && static_cast<const CModelView*>(pObj)->ReentersOnClear();
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

std::string TotalHeadlineCall(const IRSSNewsObjEvent* pObj, std::vector<NewsHeadline>& vecHeadline) {
  return Call(pObj, "OnTotalHeadline", {fakes::TakeTags(vecHeadline)});
}

std::string CategoryReadyCall(const IRSSNewsObjEvent* pObj) { return Call(pObj, "OnCategoryReady", {}); }

CModelView::CModelView(std::string name, Trace& trace) : RecordingView(std::move(name), trace) {
  SetHook([this](const std::string& entry) { AfterHeadlineCall(entry); });
}

void CModelView::AfterHeadlineCall(const std::string& entry) {
  if (m_pReenterer && entry.find(".OnHeadlineClear(") != std::string::npos) {
    m_pReenterer->RemoveNotify(this, "");
    m_pReenterer->AddNotify(this);
    return;
  }
  const bool bHeadlineCall =
      entry.find("HeadlineChange(") != std::string::npos || entry.find(".OnTotalHeadline(") != std::string::npos;
  if (!bHeadlineCall) return;
  if (m_pRemover) m_pRemover->RemoveNotify(this, "");
  if (m_bArmed) throw std::runtime_error(Name() + " fails on purpose");
}
