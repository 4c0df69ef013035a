// CModelView: a recording view whose calls land in the trace. While armed it throws from the
// headline callbacks, whose exceptions the manager catches and answers by removing the view.
//
// ViewCall spells each callback as the trace holds it; the reference model writes the same
// strings for the calls it expects.
#pragma once

#include <string>
#include <vector>

#include "news/RSSNewsObjEvent.h"
#include "news/RssSubject.h"
#include "tests/fakes/RecordingView.h"
#include "tests/model/ModelScript.h"

class CModelView : public fakes::RecordingView {
 public:
  CModelView(std::string name, Trace& trace);

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
  void AfterHeadlineCall(const std::string& entry);

  bool m_bArmed = false;
  IRssSubject* m_pRemover = nullptr;
  IRssSubject* m_pReenterer = nullptr;
};

// The name a trace gives a view pointer ("null" for a null pointer).
std::string ViewName(const IRSSNewsObjEvent* pObj);
bool ViewArmed(const IRSSNewsObjEvent* pObj);
bool ViewRemovesItself(const IRSSNewsObjEvent* pObj);
bool ViewReenters(const IRSSNewsObjEvent* pObj);

// A view call spelled as the recording view writes it: "view.Operation(arg;arg)".
std::string ViewCall(const IRSSNewsObjEvent* pObj, const char* op, const std::vector<std::string>& args);
