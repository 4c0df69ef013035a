// CCallTracker: knows which calls into a callee (a view, or the service session) are running on which
// thread, and which callees have been revoked. The manager plans its calls to views under its own mutex,
// taking a ticket, and runs them after releasing it; a call whose callee was revoked since the ticket was
// taken does not start. Revoking and then waiting for the callee to go idle is what lets a host destroy a
// view as soon as RemoveNotify returns.
//
// The tracker's mutex is its own and is never held while a call runs. Lock order: the manager's mutex may
// be held when the tracker is used, never the other way round.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include "port/Mutex.h"
#include "port/ProcessBarrier.h"

class CCallTracker {
 public:
  using Key = const void*;

  // What a planned call remembers of its callee's state when it was planned.
  struct Ticket {
    std::uint64_t keyEpoch = 0;
    std::uint64_t allEpoch = 0;
    std::uint64_t revocations = 0;  // how many revocations of any callee had happened
    bool open = true;               // the callee accepted calls
  };

  class Lane;

  // Marks one running call; leaving the scope ends it and wakes anyone waiting for the callee.
  class Scope {
   public:
    Scope(CCallTracker& tracker, Key key);
    ~Scope();
    Scope(Scope&& other) noexcept;
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
    Scope& operator=(Scope&& other) noexcept;

   private:
    friend class CCallTracker;
    struct Adopt {};  // the call is already registered as running

   public:
    // Only the tracker can name Adopt; public so that std::optional can construct it.
    Scope(Adopt, CCallTracker& tracker, Key key) : m_tracker(&tracker), m_key(key) {}

   private:
    CCallTracker* m_tracker;
    Key m_key;
  };

  Ticket TicketFor(Key key) EXCLUDES(m_mutex);
  // A scope for a call planned under `ticket`, or nothing when the callee was revoked since.
  std::optional<Scope> EnterIfCurrent(Key key, const Ticket& ticket) EXCLUDES(m_mutex);
  // A scope for a call that needs no ticket (the service session).
  Scope Enter(Key key) { return Scope(*this, key); }

  // The callee accepts calls again (a view that registers anew).
  void Reopen(Key key) EXCLUDES(m_mutex);
  // No call planned before this starts; later plans start only after Reopen.
  void Revoke(Key key) EXCLUDES(m_mutex);
  // No call planned before this starts, for every callee.
  void RevokeAll() EXCLUDES(m_mutex);

  // Waits until no call into `key` runs on another thread. Calls on this thread are not waited for, nor
  // calls on a thread that is itself inside a call into `key` and waiting here too (two callbacks of one
  // view that each remove the view must not wait for each other).
  // Two callbacks of different views that each remove the other view would still wait for each other:
  // a view must not block, inside a callback, on the thread that removes it.
  void WaitUntilIdle(Key key) EXCLUDES(m_mutex);
  // Waits until no call into any callee runs on another thread.
  void WaitUntilAllIdle() EXCLUDES(m_mutex);

 private:
  struct CalleeState {
    std::uint64_t epoch = 0;
    bool open = true;
    std::vector<std::thread::id> running;
    std::vector<std::thread::id> waiting;
  };

  // One thread's lane (see Lane): the callee its current call goes to, published for WaitUntilIdle.
  struct LaneSlot {
    std::atomic<Key> current{nullptr};
    bool claimed = false;   // under m_mutex
    std::thread::id owner;  // under m_mutex
  };
  static constexpr std::size_t kLanes = 4;

  void Leave(Key key) EXCLUDES(m_mutex);
  // Makes a lane's call visible before the lane reads the revocation count: with a compiler fence only
  // when revocations pass a process-wide barrier, else with a full fence.
  void Publish(LaneSlot& slot, Key key) const {
    if (m_bLightLanes) {
      slot.current.store(key, std::memory_order_relaxed);
      std::atomic_signal_fence(std::memory_order_seq_cst);
    } else {
      slot.current.store(key);
    }
  }
  // Raises the revocation count and, with light lanes, makes every lane's published call visible here.
  void CountRevocation();
  LaneSlot* ClaimLane() EXCLUDES(m_mutex);
  void ReleaseLane(LaneSlot* pSlot) EXCLUDES(m_mutex);
  // Ids of the threads inside a call into `key`, whether entered through a Scope or a lane.
  std::vector<std::thread::id> RunningIn(Key key) const REQUIRES(m_mutex);
  // Waits on m_idle for a while; lane calls end without a notification, so waiters look again after a
  // short time.
  void WaitAWhile() REQUIRES(m_mutex) { m_idle.wait_for(m_mutex, std::chrono::milliseconds(1)); }
  static bool IsPristine(const CalleeState& state);
  bool MustWaitFor(Key key, std::thread::id self) const REQUIRES(m_mutex);
  bool AllIdleBut(std::thread::id self) const REQUIRES(m_mutex);

  mutable port::Mutex m_mutex;
  port::CondVar m_idle;
  std::map<Key, CalleeState> m_callees GUARDED_BY(m_mutex);
  // A slot's claim and owner are guarded; its owner stores `current` through its own pointer to the slot.
  std::array<LaneSlot, kLanes> m_lanes GUARDED_BY(m_mutex);
  std::atomic<std::uint64_t> m_revocations{0};
  const bool m_bLightLanes = port::EnableProcessWideBarrier();
  std::uint64_t m_nextEpoch GUARDED_BY(m_mutex) = 1;
  std::uint64_t m_allEpoch GUARDED_BY(m_mutex) = 0;
};

// A lane runs a batch of planned calls on one thread (a delivery pass) without the tracker's mutex per call.
// While no callee has been revoked since a call was planned, the call only publishes its callee in the
// lane's slot and checks the revocation count; Revoke raises that count before WaitUntilIdle reads the
// slots, so either the call sees the revocation and takes the tracker's usual path, or WaitUntilIdle sees
// the call and waits for it. When every lane is taken, calls take the usual path.
class CCallTracker::Lane {
 public:
  explicit Lane(CCallTracker& tracker) : m_tracker(tracker), m_pSlot(tracker.ClaimLane()) {}
  ~Lane() { m_tracker.ReleaseLane(m_pSlot); }
  Lane(const Lane&) = delete;
  Lane& operator=(const Lane&) = delete;

  // Runs call() if the callee is still current for `ticket`; false when it was not run.
  template <class Call>
  bool Run(Key key, const Ticket& ticket, Call&& call) {
    if (m_pSlot && ticket.open) {
      m_tracker.Publish(*m_pSlot, key);
      if (m_tracker.m_revocations.load() == ticket.revocations) {
        const Clear clear{m_pSlot};
        call();
        return true;
      }
      m_pSlot->current.store(nullptr, std::memory_order_release);
    }
    const std::optional<Scope> running = m_tracker.EnterIfCurrent(key, ticket);
    if (!running) return false;
    call();
    return true;
  }

 private:
  // Ends the published call, also when it throws.
  struct Clear {
    LaneSlot* pSlot;
    ~Clear() { pSlot->current.store(nullptr, std::memory_order_release); }
  };

  CCallTracker& m_tracker;
  LaneSlot* m_pSlot;
};
