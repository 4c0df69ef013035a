// CStopEvent: the worker's stop request. Auto-reset: a wait that sees the request consumes it, so a later
// start of the worker is not ended by an old request.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class CStopEvent {
 public:
  void Set() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_bSet = true;
    }
    m_cv.notify_all();
  }

  void Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bSet = false;
  }

  // Waits up to `timeout` for the request; true, with the request consumed, when it came.
  bool WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_cv.wait_for(lock, timeout, [this] { return m_bSet; })) return false;
    m_bSet = false;
    return true;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_bSet = false;
};
