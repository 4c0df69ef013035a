#include "demo/HeadlineView.h"

#include "demo/Console.h"

namespace demo {

// The worker reports a provider and a date; the newest headline of that date is the news.
void HeadlineView::OnProviderHeadlineChange(const CString& strProviderID, long lDate) {
  if (lDate <= 0) {
    Print("provider list changed: " + Utf8(strProviderID));
    return;
  }
  std::vector<NewsHeadline> list;
  m_manager.PullProviderNewsHeadline_Date(strProviderID, lDate, list);
  if (!list.empty() && list.front().pBlock) {
    std::lock_guard<std::mutex> lock(m_mtx);
    m_delivered.insert(Utf8(CString(static_cast<const char*>(list.front().pBlock))));
  }
  PrintNewest(list, "live update " + Utf8(strProviderID) + " " + std::to_string(lDate));
}

void HeadlineView::OnSymbolHeadlineChange(const CString& strProviderID, const CString& strSymbolID, long lDate) {
  if (lDate <= 0) return;  // the greeting at registration: the tour prints the lists itself
  std::vector<NewsHeadline> list;
  m_manager.PullSymbolNewsHeadline_Date(strProviderID, strSymbolID, lDate, list);
  PrintNewest(list, "live update for symbol " + Utf8(strSymbolID));
}

void HeadlineView::OnNewsContentArrive(const CString& strProviderID, long, long, const CString& strContent) {
  Print("content from " + Utf8(strProviderID) + ": " + Utf8(strContent));
}

void HeadlineView::OnSymbolNewsContentArrive(const CString& strProviderID, const CString& strSymbolID, long, long,
                                             const CString& strContent) {
  Print("content for " + Utf8(strSymbolID) + " from " + Utf8(strProviderID) + ": " + Utf8(strContent));
}

void HeadlineView::OnHeadlineClear(const CString& strProviderID) {
  Print("headlines cleared: " + (strProviderID.IsEmpty() ? std::string("all") : Utf8(strProviderID)));
}

// The full list of every provider, newest first within each; the view owns the blocks now.
void HeadlineView::OnTotalHeadline(std::vector<NewsHeadline>& vecHeadline) {
  Print("received " + std::to_string(vecHeadline.size()) + " headlines of the selected providers");
  FreeBlocks(vecHeadline);
  {
    std::lock_guard<std::mutex> lock(m_mtx);
    m_bTotalArrived = true;
  }
  m_cvTotal.notify_all();
}

bool HeadlineView::Delivered(const std::string& titleUtf8) {
  std::lock_guard<std::mutex> lock(m_mtx);
  return m_delivered.count(titleUtf8) != 0;
}

bool HeadlineView::WaitForTotalHeadline(std::chrono::seconds timeout) {
  std::unique_lock<std::mutex> lock(m_mtx);
  return m_cvTotal.wait_for(lock, timeout, [this] { return m_bTotalArrived; });
}

void HeadlineView::OnCategoryReady() { Print("categories ready"); }

void HeadlineView::Print(const std::string& text) const { PrintLine("  <" + m_name + "> " + text); }

void HeadlineView::PrintNewest(std::vector<NewsHeadline>& list, const std::string& what) const {
  if (list.empty()) {
    Print(what + ": (no headlines)");
  } else {
    Print(what + ": " + FormatHeadline(list.front()));
  }
  FreeBlocks(list);
}

}  // namespace demo
