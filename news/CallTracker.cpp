#include "news/CallTracker.h"

#include <algorithm>
#include <utility>

namespace {

bool Contains(const std::vector<std::thread::id>& ids, std::thread::id id) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

void EraseOne(std::vector<std::thread::id>& ids, std::thread::id id) {
  const auto it = std::find(ids.begin(), ids.end(), id);
  if (it != ids.end()) ids.erase(it);
}

}  // namespace

CCallTracker::Scope::Scope(CCallTracker& tracker, Key key) : m_tracker(&tracker), m_key(key) {
  port::MutexLock lock(tracker.m_mutex);
  tracker.m_callees[key].running.push_back(std::this_thread::get_id());
}

CCallTracker::Scope::~Scope() {
  if (m_tracker) m_tracker->Leave(m_key);
}

CCallTracker::Scope::Scope(Scope&& other) noexcept : m_tracker(other.m_tracker), m_key(other.m_key) {
  other.m_tracker = nullptr;
}

CCallTracker::Scope& CCallTracker::Scope::operator=(Scope&& other) noexcept {
  if (this != &other) {
    if (m_tracker) m_tracker->Leave(m_key);
    m_tracker = std::exchange(other.m_tracker, nullptr);
    m_key = other.m_key;
  }
  return *this;
}

void CCallTracker::Leave(Key key) {
  {
    port::MutexLock lock(m_mutex);
    const auto it = m_callees.find(key);
    EraseOne(it->second.running, std::this_thread::get_id());
    // A callee that was never revoked and is idle needs no entry: a missing entry reads as open at epoch 0,
    // which is what every ticket for it holds. This keeps the tracker from growing with every view called.
    if (IsPristine(it->second)) m_callees.erase(it);
  }
  m_idle.notify_all();
}

bool CCallTracker::IsPristine(const CalleeState& state) {
  return state.open && state.epoch == 0 && state.running.empty() && state.waiting.empty();
}

CCallTracker::Ticket CCallTracker::TicketFor(Key key) {
  port::MutexLock lock(m_mutex);
  const auto it = m_callees.find(key);
  if (it == m_callees.end()) return Ticket{0, m_allEpoch, m_revocations.load(), true};
  return Ticket{it->second.epoch, m_allEpoch, m_revocations.load(), it->second.open};
}

std::optional<CCallTracker::Scope> CCallTracker::EnterIfCurrent(Key key, const Ticket& ticket) {
  port::MutexLock lock(m_mutex);
  CalleeState& state = m_callees[key];
  if (!state.open || state.epoch != ticket.keyEpoch || m_allEpoch != ticket.allEpoch) return std::nullopt;
  // Registered here, under the same lock as the check, so a Revoke cannot slip in between.
  state.running.push_back(std::this_thread::get_id());
  std::optional<Scope> scope;
  scope.emplace(Scope::Adopt{}, *this, key);
  return scope;
}

void CCallTracker::Reopen(Key key) {
  port::MutexLock lock(m_mutex);
  const auto it = m_callees.find(key);
  if (it != m_callees.end()) it->second.open = true;
}

void CCallTracker::Revoke(Key key) {
  port::MutexLock lock(m_mutex);
  CalleeState& state = m_callees[key];
  state.epoch = m_nextEpoch++;
  state.open = false;
  CountRevocation();
}

void CCallTracker::RevokeAll() {
  port::MutexLock lock(m_mutex);
  ++m_allEpoch;
  CountRevocation();
}

bool CCallTracker::MustWaitFor(Key key, std::thread::id self) const {
  const std::vector<std::thread::id> running = RunningIn(key);
  const auto state = m_callees.find(key);
  const bool selfInside = Contains(running, self);
  for (const std::thread::id id : running) {
    if (id == self) continue;
    if (selfInside && state != m_callees.end() && Contains(state->second.waiting, id)) continue;
    return true;
  }
  return false;
}

void CCallTracker::WaitUntilIdle(Key key) {
  const std::thread::id self = std::this_thread::get_id();
  port::MutexLock lock(m_mutex);
  m_callees[key].waiting.push_back(self);
  // A thread that starts waiting may release another waiter (see MustWaitFor).
  m_idle.notify_all();
  while (MustWaitFor(key, self)) WaitAWhile();
  EraseOne(m_callees[key].waiting, self);
}

void CCallTracker::WaitUntilAllIdle() {
  const std::thread::id self = std::this_thread::get_id();
  port::MutexLock lock(m_mutex);
  while (!AllIdleBut(self)) WaitAWhile();
}

bool CCallTracker::AllIdleBut(std::thread::id self) const {
  const bool bLanesIdle = std::all_of(m_lanes.begin(), m_lanes.end(), [&](const LaneSlot& slot) {
    return !slot.claimed || slot.owner == self || slot.current.load() == nullptr;
  });
  return bLanesIdle && std::all_of(m_callees.begin(), m_callees.end(), [&](const auto& entry) {
           const auto& running = entry.second.running;
           return std::all_of(running.begin(), running.end(), [&](std::thread::id id) { return id == self; });
         });
}

CCallTracker::LaneSlot* CCallTracker::ClaimLane() {
  port::MutexLock lock(m_mutex);
  for (LaneSlot& slot : m_lanes) {
    if (slot.claimed) continue;
    slot.claimed = true;
    slot.owner = std::this_thread::get_id();
    return &slot;
  }
  return nullptr;
}

void CCallTracker::ReleaseLane(LaneSlot* pSlot) {
  if (!pSlot) return;
  port::MutexLock lock(m_mutex);
  pSlot->claimed = false;
}

std::vector<std::thread::id> CCallTracker::RunningIn(Key key) const {
  std::vector<std::thread::id> ids;
  const auto it = m_callees.find(key);
  if (it != m_callees.end()) ids = it->second.running;
  for (const LaneSlot& slot : m_lanes) {
    if (slot.claimed && slot.current.load() == key) ids.push_back(slot.owner);
  }
  return ids;
}

void CCallTracker::CountRevocation() {
  m_revocations.fetch_add(1);
  if (m_bLightLanes) port::ProcessWideBarrier();
}
