// CRssNewsMgr: the worker thread that delivers recorded headline changes to the views once a second.
#include <chrono>
#include <exception>
#include <system_error>
#include <unordered_map>

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

// Plans one delivery pass under the lock. The change set is taken whole, so changes recorded while the
// views are being called wait for the next pass instead of being merged into ones already delivered. The
// plan is compact, since a pass may make hundreds of thousands of calls: each view of the pass is looked
// up once (its ticket and booking text) and each served booking's list once.
CRssNewsMgr::DeliveryPlan CRssNewsMgr::PlanDeliveryLocked() {
  DeliveryPlan plan;
  plan.vecChanges = std::exchange(m_vecChangeSet, {});
  m_idxPendingChanges.Clear();
  std::unordered_map<const void*, std::size_t> audienceOf;  // booking node -> audience
  std::unordered_map<IRSSNewsObjEvent*, const DeliveryPlan::Recipient*> recipientOf;
  for (const NewsChange& change : plan.vecChanges) {
    // A burst from one provider or for one symbol repeats its texts: the previous change's booking serves.
    if (!plan.vecSteps.empty()) {
      const DeliveryPlan::Step& previous = plan.vecSteps.back();
      if (previous.pChange->strSubID == change.strSubID && previous.pChange->strID == change.strID) {
        plan.vecSteps.push_back({&change, previous.nAudience});
        continue;
      }
    }
    CString strKey = change.strSubID.IsEmpty() ? change.strID : change.strSubID;
    if (IsInProviderListLocked(strKey)) strKey = m_strProviderIDs;
    // Only the first booking in map order with this text is served.
    const auto booking = FindFirstBookingNoCase(strKey);
    if (booking == m_mapObj.end()) continue;
    const auto [audience, bNewAudience] = audienceOf.try_emplace(&booking->first, plan.audiences.size());
    if (bNewAudience) {
      std::vector<const DeliveryPlan::Recipient*> members;
      // A null entry is planned too: it is passed to RemoveNotify in its place in the walk.
      for (IRSSNewsObjEvent* pObj : booking->second) {
        auto [recipient, bNewRecipient] = recipientOf.try_emplace(pObj, nullptr);
        if (bNewRecipient) {
          plan.recipients.push_back({pObj, m_calls.TicketFor(pObj), m_mapObjInfo[pObj].strBookingID});
          recipient->second = &plan.recipients.back();
        }
        members.push_back(recipient->second);
      }
      plan.audiences.push_back(std::move(members));
    }
    plan.vecSteps.push_back({&change, audience->second});
  }
  return plan;
}

// One delivery pass: the calls run through one lane of the call tracker, which takes no lock per call
// while no view is being removed. Views whose call failed are removed after the pass.
bool CRssNewsMgr::NotifyChangeSetToAllObj() {
  DeliveryPlan plan;
  {
    std::lock_guard<std::mutex> lock(m_mtx);
    plan = PlanDeliveryLocked();
  }
  bool bResult = true;
  std::vector<std::pair<CString, IRSSNewsObjEvent*>> vecRemovals;
  {
    CCallTracker::Lane lane(m_calls);
    for (const DeliveryPlan::Step& step : plan.vecSteps) {
      const NewsChange& change = *step.pChange;
      for (const DeliveryPlan::Recipient* recipient : plan.audiences[step.nAudience]) {
        if (!recipient->pObj) {
          vecRemovals.emplace_back(recipient->strBookingText, nullptr);
          continue;
        }
        try {
          lane.Run(recipient->pObj, recipient->ticket, [&change, recipient] {
            if (change.strSubID.IsEmpty()) {
              recipient->pObj->OnProviderHeadlineChange(change.strID, change.lDate);
            } else {
              recipient->pObj->OnSymbolHeadlineChange(change.strID, change.strSubID, change.lDate);
            }
          });
        } catch (...) {
          vecRemovals.emplace_back(recipient->strBookingText, recipient->pObj);
          bResult = false;
        }
      }
    }
  }
  for (const auto& [strBookingText, pObj] : vecRemovals) {
    const bool bProviderBooking = strBookingText.CompareNoCase(GetProviderIDs()) == 0;
    RemoveNotify(pObj, bProviderBooking ? CString() : strBookingText);
  }
  return bResult;
}
