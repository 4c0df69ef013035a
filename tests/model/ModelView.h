// CModelView: a view that writes every callback it receives into a trace. While armed it throws from the
// headline callbacks, whose exceptions the manager catches and answers by removing the view.
//
// The *Call functions spell each callback as the trace holds it; the reference model writes the same
// strings for the calls it expects.
#pragma once

#include <string>
#include <vector>

#include "news/RSSNewsObjEvent.h"
#include "news/RssSubject.h"
#include "tests/model/ModelScript.h"

class CModelView : public IRSSNewsObjEvent {
 public:
  CModelView(std::string name, Trace& trace) : m_name(std::move(name)), m_trace(trace) {}
  virtual ~CModelView() = default;
  CModelView(const CModelView&) = delete;
  CModelView& operator=(const CModelView&) = delete;

  const std::string& Name() const { return m_name; }
  void Arm(bool bArmed) { m_bArmed = bArmed; }
  bool Armed() const { return m_bArmed; }
  // While set, the view calls RemoveNotify on itself from inside each headline callback.
  void RemoveItselfThrough(IRssSubject* pSubject) { m_pRemover = pSubject; }
  bool RemovesItself() const { return m_pRemover != nullptr; }

  void OnProviderHeadlineChange(const CString& strProviderID, long lDate) override;
  void OnSymbolHeadlineChange(const CString& strProviderID, const CString& strSymbolID, long lDate) override;
  void OnNewsContentArrive(const CString& strProviderID, long lKey1, long lKey2, const CString& strContent) override;
  void OnSymbolNewsContentArrive(const CString& strProviderID, const CString& strSymbolID, long lKey1, long lKey2,
                                 const CString& strContent) override;
  void OnHeadlineClear(const CString& strProviderID) override;
  void OnTotalHeadline(std::vector<NewsHeadline>& vecHeadline) override;
  void OnCategoryReady() override;

 private:
  // Removes the view when asked to, then throws when armed.
  void AfterHeadlineCall();

  std::string m_name;
  Trace& m_trace;
  bool m_bArmed = false;
  IRssSubject* m_pRemover = nullptr;
};

// The name a trace gives a view pointer ("null" for a null pointer).
std::string ViewName(const IRSSNewsObjEvent* pObj);
bool ViewArmed(const IRSSNewsObjEvent* pObj);
bool ViewRemovesItself(const IRSSNewsObjEvent* pObj);

std::string ProviderChangeCall(const IRSSNewsObjEvent* pObj, const CString& strProviderID, long lDate);
std::string SymbolChangeCall(const IRSSNewsObjEvent* pObj, const CString& strProviderID, const CString& strSymbolID,
                             long lDate);
std::string ContentCall(const IRSSNewsObjEvent* pObj, const CString& strProviderID, long lKey1, long lKey2,
                        const CString& strContent);
std::string SymbolContentCall(const IRSSNewsObjEvent* pObj, const CString& strProviderID, const CString& strSymbolID,
                              long lKey1, long lKey2, const CString& strContent);
std::string ClearCall(const IRSSNewsObjEvent* pObj, const CString& strProviderID);
std::string TotalHeadlineCall(const IRSSNewsObjEvent* pObj, std::size_t nCount);
std::string CategoryReadyCall(const IRSSNewsObjEvent* pObj);
