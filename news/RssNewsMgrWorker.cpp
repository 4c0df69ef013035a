// CRssNewsMgr: the worker thread that delivers recorded headline changes to the views once a second.
#include <chrono>
#include <exception>
#include <system_error>

#include "news/RssNewsMgr.h"

namespace {

// The pause between two delivery passes; a stop request ends it at once.
constexpr std::chrono::milliseconds kPassInterval(1000);

}  // namespace

bool CRssNewsMgr::StartThread() {
  m_evStop.Reset();
  try {
    m_hThread = std::thread(&CRssNewsMgr::RunningProc, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

// Asks the worker to stop and joins it. A worker is never killed: one that holds the heap's or a view's lock
// would leave the host process broken. A pass that has begun runs to its end first.
void CRssNewsMgr::EndThread() {
  if (!m_hThread.joinable()) return;
  m_evStop.Set();
  if (m_hThread.get_id() == std::this_thread::get_id()) {
    // Called from a view's callback on the worker itself: it ends after the current pass.
    m_hThread.detach();
    return;
  }
  m_hThread.join();
}

unsigned int CRssNewsMgr::RunningProc(void* pParam) { return static_cast<CRssNewsMgr*>(pParam)->OnRunningProc(); }

unsigned int CRssNewsMgr::OnRunningProc() {
  while (!m_evStop.WaitFor(std::chrono::milliseconds(0))) {
    try {
      NotifyChangeSetToAllObj();
    } catch (const std::exception&) {
      // A pass that failed outside a view's callback (out of memory) is retried with the next one.
    }
    if (m_evStop.WaitFor(kPassInterval)) break;
  }
  return 0;
}

// One delivery pass. The change set is taken whole at the start, so changes recorded while the views are
// being called wait for the next pass instead of being merged into ones already delivered.
bool CRssNewsMgr::NotifyChangeSetToAllObj() {
  std::vector<PlannedCall> calls;
  {
    std::lock_guard<std::mutex> lock(m_mtx);
    const std::vector<NewsChange> vecChanges = std::exchange(m_vecChangeSet, {});
    m_idxPendingChanges.Clear();
    for (const NewsChange& change : vecChanges) {
      CString strKey = change.strSubID.IsEmpty() ? change.strID : change.strSubID;
      if (IsInProviderListLocked(strKey)) strKey = m_strProviderIDs;
      // Only the first booking in map order with this text is served.
      const auto booking = FindFirstBookingNoCase(strKey);
      if (booking == m_mapObj.end()) continue;
      for (IRSSNewsObjEvent* pObj : booking->second) {
        // A null entry is planned too: it is passed to RemoveNotify in its place in the walk.
        PlannedCall planned = PlanCallLocked(pObj, [change](IRSSNewsObjEvent& view) {
          if (change.strSubID.IsEmpty()) {
            view.OnProviderHeadlineChange(change.strID, change.lDate);
          } else {
            view.OnSymbolHeadlineChange(change.strID, change.strSubID, change.lDate);
          }
        });
        planned.strBookingText = m_mapObjInfo[pObj].strBookingID;
        calls.push_back(std::move(planned));
      }
    }
  }

  bool bResult = true;
  std::vector<std::pair<CString, IRSSNewsObjEvent*>> vecRemovals;
  for (const PlannedCall& planned : calls) {
    if (!planned.pObj) {
      vecRemovals.emplace_back(planned.strBookingText, nullptr);
      continue;
    }
    try {
      RunCall(planned);
    } catch (...) {
      vecRemovals.emplace_back(planned.strBookingText, planned.pObj);
      bResult = false;
    }
  }
  for (const auto& [strBookingText, pObj] : vecRemovals) {
    const bool bProviderBooking = strBookingText.CompareNoCase(GetProviderIDs()) == 0;
    RemoveNotify(pObj, bProviderBooking ? CString() : strBookingText);
  }
  return bResult;
}
