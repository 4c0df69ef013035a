// RecordingView: a news view that records every callback as "name.Operation(arg;arg;...)" in a CallLog and
// can run a hook inside each callback (to re-enter the manager, throw, or wait). Headline lists it receives
// are taken over: their tags are recorded and their blocks freed, as a view that owns them would.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "news/RSSNewsObjEvent.h"
#include "tests/fakes/CallLog.h"
#include "tests/fakes/FakeNewsSvc.h"

namespace fakes {

class RecordingView : public IRSSNewsObjEvent {
 public:
  // Called inside each callback with the callback's entry.
  using Hook = std::function<void(const std::string& entry)>;

  RecordingView(std::string name, CallLog& log) : m_name(std::move(name)), m_log(log) {}
  virtual ~RecordingView() = default;

  // Set before the view is registered; the hook runs on whatever thread calls the view.
  void SetHook(Hook hook) { m_hook = std::move(hook); }
  const std::string& Name() const { return m_name; }

  void OnProviderHeadlineChange(const CString& strID, long lDate) override {
    Called("OnProviderHeadlineChange", {strID.str(), std::to_string(lDate)});
  }
  void OnSymbolHeadlineChange(const CString& strID, const CString& strSymbol, long lDate) override {
    Called("OnSymbolHeadlineChange", {strID.str(), strSymbol.str(), std::to_string(lDate)});
  }
  void OnNewsContentArrive(const CString& strID, long lKey1, long lKey2, const CString& strContent) override {
    Called("OnNewsContentArrive", {strID.str(), std::to_string(lKey1), std::to_string(lKey2), strContent.str()});
  }
  void OnSymbolNewsContentArrive(const CString& strID, const CString& strSymbol, long lKey1, long lKey2,
                                 const CString& strContent) override {
    Called("OnSymbolNewsContentArrive",
           {strID.str(), strSymbol.str(), std::to_string(lKey1), std::to_string(lKey2), strContent.str()});
  }
  void OnHeadlineClear(const CString& strID) override { Called("OnHeadlineClear", {strID.str()}); }
  // The view owns the blocks from here on.
  void OnTotalHeadline(std::vector<NewsHeadline>& vecHeadline) override {
    Called("OnTotalHeadline", {TakeTags(vecHeadline)});
  }
  void OnCategoryReady() override { Called("OnCategoryReady", {}); }

 private:
  void Called(const std::string& op, const std::vector<std::string>& args) {
    const std::string entry = m_name + "." + FakeNewsSvc::Format(op, args);
    m_log.Add(entry);
    if (m_hook) m_hook(entry);
  }

  std::string m_name;
  CallLog& m_log;
  Hook m_hook;
};

}  // namespace fakes
