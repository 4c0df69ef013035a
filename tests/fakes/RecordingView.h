// RecordingView: a news view that records every callback as "name.Operation(arg;arg;...)" in a CallLog and
// can run a hook inside each callback (to re-enter the manager, throw, or wait). Headline lists it receives
// are taken over: their tags are recorded and their blocks freed, as a view that owns them would.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "news/RSSNewsObjEvent.h"
#include "tests/fakes/CallLog.h"

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

  void OnProviderHeadlineChange(const CString& strProviderID, long lDate) override;
  void OnSymbolHeadlineChange(const CString& strProviderID, const CString& strSymbolID, long lDate) override;
  void OnNewsContentArrive(const CString& strProviderID, long lKey1, long lKey2, const CString& strContent) override;
  void OnSymbolNewsContentArrive(const CString& strProviderID, const CString& strSymbolID, long lKey1, long lKey2,
                                 const CString& strContent) override;
  void OnHeadlineClear(const CString& strProviderID) override;
  void OnTotalHeadline(std::vector<NewsHeadline>& vecHeadline) override;
  void OnCategoryReady() override;

 private:
  void Called(const std::string& op, const std::vector<std::string>& args);

  std::string m_name;
  CallLog& m_log;
  Hook m_hook;
};

}  // namespace fakes
