// CEventThread: the service's own thread. It runs posted tasks in order and, between them, a periodic
// tick (the feed poll). Stop wakes it at once and joins it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace newssvc {

class CEventThread {
 public:
  using Task = std::function<void()>;

  CEventThread() = default;
  ~CEventThread();
  CEventThread(const CEventThread&) = delete;
  CEventThread& operator=(const CEventThread&) = delete;

  // Starts the thread; `tick` runs every `interval` (the first time after one interval).
  void Start(Task tick, std::chrono::milliseconds interval);
  // Asks the thread to end and waits for it, unless called on the thread itself. Tasks not yet run are
  // dropped.
  void Stop();
  void SetInterval(std::chrono::milliseconds interval);
  void Post(Task task);
  bool IsCurrent() const { return std::this_thread::get_id() == m_id; }
  // Called from inside a task only: `owner`, the object that holds this thread, is destroyed on the thread
  // once the task has returned, and the thread then ends without touching anything of either.
  void ReleaseAfterTask(std::shared_ptr<void> owner);

 private:
  void Run();

  std::mutex m_mtx;
  std::condition_variable m_cv;
  std::deque<Task> m_tasks;
  std::shared_ptr<void> m_owner;  // handed over by ReleaseAfterTask
  Task m_tick;
  std::chrono::milliseconds m_interval{1000};
  bool m_bStop = false;
  std::thread m_thread;
  std::thread::id m_id;
};

}  // namespace newssvc
