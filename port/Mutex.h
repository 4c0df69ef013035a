// port::Mutex and port::MutexLock: a mutex and its scoped lock that clang's thread-safety analysis knows.
// A member declared GUARDED_BY(m) may only be touched with m held, a function declared REQUIRES(m) only be
// called with m held, one declared EXCLUDES(m) only without it; a build with -Wthread-safety turns every
// breach into a compile error. On compilers without the analysis (g++, MinGW) the attributes expand to
// nothing and the classes are plain std::mutex and std::lock_guard.
//
// The analysis follows locks taken through MutexLock only, not through std::lock_guard or std::unique_lock.
// A lambda is checked as a function of its own that holds nothing: a condition variable's predicate that
// reads guarded members is written as a loop around the wait instead.
#pragma once

#include <condition_variable>
#include <mutex>
#include <shared_mutex>

#if defined(__clang__)
#define VX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define VX_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(name) VX_THREAD_ANNOTATION(capability(name))
#define SCOPED_CAPABILITY VX_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(m) VX_THREAD_ANNOTATION(guarded_by(m))
#define PT_GUARDED_BY(m) VX_THREAD_ANNOTATION(pt_guarded_by(m))
#define REQUIRES(...) VX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) VX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) VX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) VX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define ACQUIRE_SHARED(...) VX_THREAD_ANNOTATION(acquire_shared_capability(__VA_ARGS__))
#define RELEASE_SHARED(...) VX_THREAD_ANNOTATION(release_shared_capability(__VA_ARGS__))

namespace port {

class CAPABILITY("mutex") Mutex {
 public:
  void lock() ACQUIRE() { m_mutex.lock(); }
  void unlock() RELEASE() { m_mutex.unlock(); }

 private:
  std::mutex m_mutex;
};

class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : m_mutex(mutex) { m_mutex.lock(); }
  ~MutexLock() RELEASE() {
    if (m_bHeld) m_mutex.unlock();
  }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  // Lets the mutex go inside the scope (to call out) and takes it again.
  void Unlock() RELEASE() {
    m_mutex.unlock();
    m_bHeld = false;
  }
  void Lock() ACQUIRE() {
    m_mutex.lock();
    m_bHeld = true;
  }

 private:
  Mutex& m_mutex;
  bool m_bHeld = true;
};

// A reader-writer mutex: lock() and unlock() for the one writer, lock_shared() and unlock_shared() for the
// readers, so that std::shared_lock works with it too.
class CAPABILITY("shared mutex") SharedMutex {
 public:
  void lock() ACQUIRE() { m_mutex.lock(); }
  void unlock() RELEASE() { m_mutex.unlock(); }
  void lock_shared() ACQUIRE_SHARED() { m_mutex.lock_shared(); }
  void unlock_shared() RELEASE_SHARED() { m_mutex.unlock_shared(); }

 private:
  std::shared_mutex m_mutex;
};

class SCOPED_CAPABILITY WriterLock {
 public:
  explicit WriterLock(SharedMutex& mutex) ACQUIRE(mutex) : m_mutex(mutex) { m_mutex.lock(); }
  ~WriterLock() RELEASE() { m_mutex.unlock(); }
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;

 private:
  SharedMutex& m_mutex;
};

// Waits on a port::Mutex held by the caller: wait(mutex), wait_for(mutex, timeout), notify_all().
using CondVar = std::condition_variable_any;

}  // namespace port
