// Views for the benchmarks: one that only counts its calls, and one that spends a long time in each
// headline callback, as a view that redraws a large board on the worker thread would.
#pragma once

#include <atomic>
#include <chrono>

#include "news/RSSNewsObjEvent.h"

class CCountingView : public IRSSNewsObjEvent {
 public:
  void OnProviderHeadlineChange(const CString& strProviderID, long lDate) override;
  void OnSymbolHeadlineChange(const CString& strProviderID, const CString& strSymbolID, long lDate) override;
  void OnNewsContentArrive(const CString&, long, long, const CString&) override {}
  void OnSymbolNewsContentArrive(const CString&, const CString&, long, long, const CString&) override {}
  void OnHeadlineClear(const CString&) override {}
  void OnTotalHeadline(std::vector<NewsHeadline>& vecHeadline) override;
  void OnCategoryReady() override {}

  long Calls() const { return m_nCalls; }

 private:
  long m_nCalls = 0;
};

class CSlowView : public CCountingView {
 public:
  explicit CSlowView(std::chrono::milliseconds delay) : m_delay(delay) {}
  void OnProviderHeadlineChange(const CString& strProviderID, long lDate) override;
  // True once a callback has started, read from another thread.
  bool Entered() const { return m_bEntered.load(); }

 private:
  std::chrono::milliseconds m_delay;
  std::atomic<bool> m_bEntered{false};
};
