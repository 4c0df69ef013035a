// CCallTracker: knows which calls into a callee (a view, or the service session) are running on which
// thread, and which callees have been revoked. The manager plans its calls to views under its own mutex,
// taking a ticket, and runs them after releasing it; a call whose callee was revoked since the ticket was
// taken does not start. Revoking and then waiting for the callee to go idle is what lets a host destroy a
// view as soon as RemoveNotify returns.
//
// The tracker's mutex is its own and is never held while a call runs. Lock order: the manager's mutex may
// be held when the tracker is used, never the other way round.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class CCallTracker {
 public:
  using Key = const void*;

  // What a planned call remembers of its callee's state when it was planned.
  struct Ticket {
    std::uint64_t keyEpoch = 0;
    std::uint64_t allEpoch = 0;
  };

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

  Ticket TicketFor(Key key);
  // A scope for a call planned under `ticket`, or nothing when the callee was revoked since.
  std::optional<Scope> EnterIfCurrent(Key key, const Ticket& ticket);
  // A scope for a call that needs no ticket (the service session).
  Scope Enter(Key key) { return Scope(*this, key); }

  // The callee accepts calls again (a view that registers anew).
  void Reopen(Key key);
  // No call planned before this starts; later plans start only after Reopen.
  void Revoke(Key key);
  // No call planned before this starts, for every callee.
  void RevokeAll();

  // Waits until no call into `key` runs on another thread. Calls on this thread are not waited for, nor
  // calls on a thread that is itself inside a call into `key` and waiting here too (two callbacks of one
  // view that each remove the view must not wait for each other).
  // Two callbacks of different views that each remove the other view would still wait for each other:
  // a view must not block, inside a callback, on the thread that removes it.
  void WaitUntilIdle(Key key);
  // Waits until no call into any callee runs on another thread.
  void WaitUntilAllIdle();

 private:
  struct CalleeState {
    std::uint64_t epoch = 0;
    bool open = true;
    std::vector<std::thread::id> running;
    std::vector<std::thread::id> waiting;
  };

  void Leave(Key key);
  static bool IsPristine(const CalleeState& state);
  bool MustWaitFor(const CalleeState& state, std::thread::id self) const;

  std::mutex m_mutex;
  std::condition_variable m_idle;
  std::map<Key, CalleeState> m_callees;
  std::uint64_t m_nextEpoch = 1;
  std::uint64_t m_allEpoch = 0;
};
