// CStopEvent: the worker's stop request. Auto-reset: a wait that sees the request consumes it, so a later
// start of the worker is not ended by an old request.
#pragma once

#include <chrono>

#include "port/Mutex.h"

class CStopEvent {
 public:
  void Set() {
    {
      port::MutexLock lock(m_mutex);
      m_bSet = true;
    }
    m_cv.notify_all();
  }

  void Reset() {
    port::MutexLock lock(m_mutex);
    m_bSet = false;
  }

  // Waits up to `timeout` for the request; true, with the request consumed, when it came.
  bool WaitFor(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    port::MutexLock lock(m_mutex);
    while (!m_bSet) {
      if (m_cv.wait_until(m_mutex, deadline) == std::cv_status::timeout && !m_bSet) return false;
    }
    m_bSet = false;
    return true;
  }

 private:
  port::Mutex m_mutex;
  port::CondVar m_cv;
  bool m_bSet GUARDED_BY(m_mutex) = false;
};
