// CEventThread: the service's own thread. It runs posted tasks in order and, between them, a periodic
// tick (the feed poll). Stop wakes it at once and joins it. Any thread may post. m_mtx guards the queue and
// the tick; m_thread and m_id are written by Start and Stop only, which the owner never calls at once.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <thread>

#include "port/Mutex.h"

namespace newssvc {

class CEventThread {
 public:
  using Task = std::function<void()>;

  CEventThread() = default;
  ~CEventThread();
  CEventThread(const CEventThread&) = delete;
  CEventThread& operator=(const CEventThread&) = delete;

  // Starts the thread; `tick` runs every `interval` (the first time after one interval).
  void Start(Task tick, std::chrono::milliseconds interval) EXCLUDES(m_mtx);
  // Asks the thread to end and waits for it, unless called on the thread itself. Tasks not yet run are
  // dropped.
  void Stop() EXCLUDES(m_mtx);
  void SetInterval(std::chrono::milliseconds interval) EXCLUDES(m_mtx);
  void Post(Task task) EXCLUDES(m_mtx);
  bool IsCurrent() const { return std::this_thread::get_id() == m_id; }
  // Called from inside a task only: `owner`, the object that holds this thread, is destroyed on the thread
  // once the task has returned, and the thread then ends without touching anything of either.
  void ReleaseAfterTask(std::shared_ptr<void> owner) EXCLUDES(m_mtx);

 private:
  void Run() EXCLUDES(m_mtx);

  port::Mutex m_mtx;
  port::CondVar m_cv;
  std::deque<Task> m_tasks GUARDED_BY(m_mtx);
  std::shared_ptr<void> m_owner GUARDED_BY(m_mtx);  // handed over by ReleaseAfterTask
  Task m_tick GUARDED_BY(m_mtx);
  std::chrono::milliseconds m_interval GUARDED_BY(m_mtx){1000};
  bool m_bStop GUARDED_BY(m_mtx) = false;
  std::thread m_thread;
  std::thread::id m_id;
};

}  // namespace newssvc
