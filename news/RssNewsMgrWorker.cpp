// CRssNewsMgr: the worker thread that delivers recorded headline changes to the views once a second.
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <system_error>
#include <unordered_map>

#include "news/RssNewsMgr.h"

namespace {

// The pause between two delivery passes; a stop request ends it at once.
constexpr std::chrono::milliseconds kPassInterval(1000);

}  // namespace

// Called by Init only, after it has closed any earlier session and with it the earlier worker.
bool CRssNewsMgr::StartThread() {
  try {
    auto pStop = std::make_unique<CStopEvent>();
    CStopEvent& evStop = *pStop;
    const port::MutexLock lock(m_mtxWorkers);
    m_worker = Worker{std::move(pStop), std::thread(&CRssNewsMgr::OnRunningProc, this, std::ref(evStop))};
  } catch (const std::system_error&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// Asks every worker to stop and joins each, except the one this is called on (from a view's callback on the
// worker): that one ends after its pass and is joined by the next EndThread on another thread. A worker is
// never killed: one that holds the heap's or a view's lock would leave the host process broken.
void CRssNewsMgr::EndThread() {
  std::vector<Worker> vecEnding;
  {
    const port::MutexLock lock(m_mtxWorkers);
    vecEnding = std::exchange(m_vecStoppedWorkers, {});
    if (m_worker.thread.joinable()) {
      m_worker.pStop->Set();
      vecEnding.push_back(std::exchange(m_worker, Worker{}));
    }
  }
  std::vector<Worker> vecStillRunning;
  for (Worker& worker : vecEnding) {
    if (worker.thread.get_id() == std::this_thread::get_id()) {
      vecStillRunning.push_back(std::move(worker));
    } else {
      worker.thread.join();
    }
  }
  if (vecStillRunning.empty()) return;
  const port::MutexLock lock(m_mtxWorkers);
  for (Worker& worker : vecStillRunning) m_vecStoppedWorkers.push_back(std::move(worker));
}

unsigned int CRssNewsMgr::OnRunningProc(CStopEvent& evStop) {
  while (!evStop.WaitFor(std::chrono::milliseconds(0))) {
    try {
      NotifyChangeSetToAllObj();
    } catch (const std::exception&) {
      // A pass that failed outside a view's callback (out of memory) is retried with the next one.
    }
    if (evStop.WaitFor(kPassInterval)) break;
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
          plan.recipients.push_back({pObj, m_calls.TicketFor(pObj)});
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
    port::MutexLock lock(m_mtx);
    plan = PlanDeliveryLocked();
  }
  bool bResult = true;
  std::vector<IRSSNewsObjEvent*> vecRemovals;
  {
    CCallTracker::Lane lane(m_calls);
    for (const DeliveryPlan::Step& step : plan.vecSteps) {
      const NewsChange& change = *step.pChange;
      for (const DeliveryPlan::Recipient* recipient : plan.audiences[step.nAudience]) {
        if (!recipient->pObj) {
          vecRemovals.push_back(nullptr);
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
          vecRemovals.push_back(recipient->pObj);
          bResult = false;
        }
      }
    }
  }
  // Once per failure, as each failed call would have removed the view.
  for (IRSSNewsObjEvent* pObj : vecRemovals) RemoveFailedView(pObj);
  return bResult;
}
