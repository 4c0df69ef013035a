#include "tests/fakes/RecordingView.h"

#include "tests/fakes/FakeNewsSvc.h"

namespace fakes {

void RecordingView::Called(const std::string& op, const std::vector<std::string>& args) {
  const std::string entry = m_name + "." + FakeNewsSvc::Format(op, args);
  m_log.Add(entry);
  if (m_hook) m_hook(entry);
}

void RecordingView::OnProviderHeadlineChange(const CString& strProviderID, long lDate) {
  Called("OnProviderHeadlineChange", {strProviderID.str(), std::to_string(lDate)});
}

void RecordingView::OnSymbolHeadlineChange(const CString& strProviderID, const CString& strSymbolID, long lDate) {
  Called("OnSymbolHeadlineChange", {strProviderID.str(), strSymbolID.str(), std::to_string(lDate)});
}

void RecordingView::OnNewsContentArrive(const CString& strProviderID, long lKey1, long lKey2,
                                        const CString& strContent) {
  Called("OnNewsContentArrive", {strProviderID.str(), std::to_string(lKey1), std::to_string(lKey2), strContent.str()});
}

void RecordingView::OnSymbolNewsContentArrive(const CString& strProviderID, const CString& strSymbolID, long lKey1,
                                              long lKey2, const CString& strContent) {
  Called("OnSymbolNewsContentArrive",
         {strProviderID.str(), strSymbolID.str(), std::to_string(lKey1), std::to_string(lKey2), strContent.str()});
}

void RecordingView::OnHeadlineClear(const CString& strProviderID) { Called("OnHeadlineClear", {strProviderID.str()}); }

void RecordingView::OnTotalHeadline(std::vector<NewsHeadline>& vecHeadline) {
  // The view owns the blocks from here on.
  const std::string tags = TakeTags(vecHeadline);
  Called("OnTotalHeadline", {tags});
}

void RecordingView::OnCategoryReady() { Called("OnCategoryReady", {}); }

}  // namespace fakes
