// CModelView: a recording view whose calls land in the trace. While armed it throws from the
// headline callbacks, whose exceptions the manager catches and answers by removing the view.
//
// ViewCall spells each callback as the trace holds it; the reference model writes the same
// strings for the calls it expects.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "news/RSSNewsObjEvent.h"
#include "news/RssSubject.h"
#include "tests/fakes/CallLog.h"
#include "tests/fakes/RecordingView.h"

class CModelView : public fakes::RecordingView {
 public:
  CModelView(std::string name, CallLog& trace) : RecordingView(std::move(name), trace) {
    SetHook([this](const std::string& entry) { AfterCall(entry); });
  }

  void Arm(bool bArmed) { m_bArmed = bArmed; }
  bool Armed() const { return m_bArmed; }
  // While set, the view calls RemoveNotify on itself from inside each headline callback.
  void RemoveItselfThrough(IRssSubject* pSubject) { m_pRemover = pSubject; }
  bool RemovesItself() const { return m_pRemover != nullptr; }
  // While set, the view leaves and registers again for provider news from inside OnHeadlineClear.
  void ReenterOnClearThrough(IRssSubject* pSubject) { m_pReenterer = pSubject; }
  bool ReentersOnClear() const { return m_pReenterer != nullptr; }

 private:
  // Leaves and registers again inside OnHeadlineClear, or leaves inside a headline callback, when asked to;
  // then throws from a headline callback when armed.
  void AfterCall(const std::string& entry) {
    if (m_pReenterer && entry.find(".OnHeadlineClear(") != std::string::npos) {
      m_pReenterer->RemoveNotify(this, "");
      m_pReenterer->AddNotify(this);
      return;
    }
    if (entry.find("HeadlineChange(") == std::string::npos && entry.find(".OnTotalHeadline(") == std::string::npos) {
      return;
    }
    if (m_pRemover) m_pRemover->RemoveNotify(this, "");
    if (m_bArmed) throw std::runtime_error(Name() + " fails on purpose");
  }

  bool m_bArmed = false;
  IRssSubject* m_pRemover = nullptr;
  IRssSubject* m_pReenterer = nullptr;
};

// The model view behind a view pointer (null for a null pointer).
inline const CModelView* AsModelView(const IRSSNewsObjEvent* pObj) { return static_cast<const CModelView*>(pObj); }
// The name a trace gives a view pointer ("null" for a null pointer).
inline std::string ViewName(const IRSSNewsObjEvent* pObj) { return pObj ? AsModelView(pObj)->Name() : "null"; }
// A view call spelled as the recording view writes it: "view.Operation(arg;arg)".
inline std::string ViewCall(const IRSSNewsObjEvent* pObj, const char* op, const std::vector<std::string>& args) {
  return ViewName(pObj) + "." + fakes::FakeNewsSvc::Format(op, args);
}
