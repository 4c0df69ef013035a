#include "libs/newssvc/session/EventThread.h"

namespace newssvc {

CEventThread::~CEventThread() {
  Stop();
  // Stopped from inside one of its own tasks: the thread is ending by itself and cannot join itself.
  if (m_thread.joinable()) m_thread.detach();
}

void CEventThread::Start(Task tick, std::chrono::milliseconds interval) {
  port::MutexLock lock(m_mtx);
  if (m_thread.joinable()) return;
  m_tick = std::move(tick);
  m_interval = interval;
  m_bStop = false;
  m_thread = std::thread(&CEventThread::Run, this);
  m_id = m_thread.get_id();
}

void CEventThread::Stop() {
  {
    port::MutexLock lock(m_mtx);
    m_bStop = true;
    m_tasks.clear();
  }
  m_cv.notify_all();
  if (m_thread.joinable() && !IsCurrent()) {
    m_thread.join();
    m_id = std::thread::id();
  }
}

void CEventThread::SetInterval(std::chrono::milliseconds interval) {
  port::MutexLock lock(m_mtx);
  m_interval = interval;
}

// Notifies under the lock: the task may release the owner, and with it this object, as soon as the lock is free.
void CEventThread::Post(Task task) {
  port::MutexLock lock(m_mtx);
  if (m_bStop) return;
  m_tasks.push_back(std::move(task));
  m_cv.notify_all();
}

void CEventThread::ReleaseAfterTask(std::shared_ptr<void> owner) {
  port::MutexLock lock(m_mtx);
  m_owner = std::move(owner);
}

void CEventThread::Run() {
  using Clock = std::chrono::steady_clock;
  port::MutexLock lock(m_mtx);
  Clock::time_point nextTick = Clock::now() + m_interval;
  while (!m_bStop) {
    while (!m_bStop && m_tasks.empty()) {
      if (m_cv.wait_until(m_mtx, nextTick) == std::cv_status::timeout) break;
    }
    if (m_bStop) break;
    Task task;
    if (!m_tasks.empty()) {
      task = std::move(m_tasks.front());
      m_tasks.pop_front();
    } else if (Clock::now() >= nextTick) {
      task = m_tick;
      nextTick = Clock::now() + m_interval;
    }
    if (!task) continue;
    lock.Unlock();  // tasks call out to the event sink, which may call back into the service
    task();
    lock.Lock();
    if (m_owner) {
      std::shared_ptr<void> owner = std::move(m_owner);
      lock.Unlock();
      owner.reset();  // destroys this object too: nothing of it may be touched from here on
      return;
    }
  }
}

}  // namespace newssvc
