// HeadlineView: a news view of the demo. It prints what the manager tells it and pulls the changed
// headlines, as a host's view would.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "news/RSSNewsObjEvent.h"
#include "news/RssNewsMgr.h"

namespace demo {

class HeadlineView : public IRSSNewsObjEvent {
 public:
  HeadlineView(CRssNewsMgr& manager, std::string name) : m_manager(manager), m_name(std::move(name)) {}

  void OnProviderHeadlineChange(const CString& strProviderID, long lDate) override;
  void OnSymbolHeadlineChange(const CString& strProviderID, const CString& strSymbolID, long lDate) override;
  void OnNewsContentArrive(const CString& strProviderID, long lKey1, long lKey2, const CString& strContent) override;
  void OnSymbolNewsContentArrive(const CString& strProviderID, const CString& strSymbolID, long lKey1, long lKey2,
                                 const CString& strContent) override;
  void OnHeadlineClear(const CString& strProviderID) override;
  void OnTotalHeadline(std::vector<NewsHeadline>& vecHeadline) override;
  void OnCategoryReady() override;

  // Whether the worker delivered a provider's headline change whose newest headline has this title.
  bool Delivered(const std::string& titleUtf8);
  // Waits for the full list asked for when the view was added; false when it has not come within `timeout`.
  bool WaitForTotalHeadline(std::chrono::seconds timeout);

 private:
  void Print(const std::string& text) const;
  void PrintNewest(std::vector<NewsHeadline>& list, const std::string& what) const;

  CRssNewsMgr& m_manager;
  const std::string m_name;
  std::mutex m_mtx;  // guards the members below
  std::set<std::string> m_delivered;
  std::condition_variable m_cvTotal;
  bool m_bTotalArrived = false;
};

}  // namespace demo
