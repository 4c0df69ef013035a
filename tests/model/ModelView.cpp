#include "tests/model/ModelView.h"

#include <stdexcept>

#include "tests/fakes/FakeNewsSvc.h"

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

std::string ViewCall(const IRSSNewsObjEvent* pObj, const char* op, const fakes::FakeNewsSvc::Args& args) {
  return ViewName(pObj) + "." + fakes::FakeNewsSvc::Format(op, args);
}

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
