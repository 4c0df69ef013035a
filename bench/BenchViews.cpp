// Defined apart from the benchmarks so that no call to a view can be devirtualised there.
#include "bench/BenchViews.h"

#include <thread>

void CCountingView::OnProviderHeadlineChange(const CString&, long) { ++m_nCalls; }

void CCountingView::OnSymbolHeadlineChange(const CString&, const CString&, long) { ++m_nCalls; }

void CCountingView::OnTotalHeadline(std::vector<NewsHeadline>& vecHeadline) {
  for (NewsHeadline& h : vecHeadline) ::operator delete(h.pBlock);
  vecHeadline.clear();
}

void CSlowView::OnProviderHeadlineChange(const CString& strProviderID, long lDate) {
  CCountingView::OnProviderHeadlineChange(strProviderID, lDate);
  m_bEntered = true;
  std::this_thread::sleep_for(m_delay);
}
