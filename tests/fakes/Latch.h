// Latch: a one-shot signal between threads, for tests that hold a call open until they let it go.
#pragma once

#include <condition_variable>
#include <mutex>

class Latch {
 public:
  void Open() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_bOpen = true;
    }
    m_cv.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [this] { return m_bOpen; });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_bOpen = false;
};
