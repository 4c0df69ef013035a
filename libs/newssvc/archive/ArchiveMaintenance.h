// CArchiveMaintenance: the archive's own thread for the work that may take long, so that it never runs on
// the service's event thread: the integrity check of a large file a while after it opened, deleting items past the
// retention period in small batches, indexing for search in small batches the items a file held before it
// was searched, giving the pages retention freed back to the file system, and checkpoints of the
// write-ahead log. It works on a connection of its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "libs/newssvc/common/Dates.h"
#include "port/Mutex.h"

struct sqlite3;

namespace newssvc {

class CSqliteDb;

// Items published before the returned time are past a retention period of `retentionDays`.
UtcSeconds RetentionCutoff(int retentionDays);

class CArchiveMaintenance {
 public:
  // Items deleted or indexed per transaction: short enough that the ingest, of this process or another,
  // never waits long for the write lock; between two batches the lock is left free for a moment.
  static constexpr int kBatchItems = 500;
  static constexpr std::chrono::milliseconds kBatchPause{5};
  // Pages given back to the file system per transaction.
  static constexpr int kVacuumPages = 1000;

  struct Settings {
    std::string path;
    int retentionDays = 90;
    std::chrono::milliseconds retentionEvery = std::chrono::hours(1);
    // When the thread checks the file's integrity after it starts; none: the file needs no check (the archive
    // checked it as it opened it, or made it new).
    std::optional<std::chrono::milliseconds> checkAfter;
    // Called on the maintenance thread when the integrity check fails, with SQLite's report; the thread
    // then ends.
    std::function<void(const std::string&)> onDamage;
    // Called with a failure to report (the archive logs it).
    std::function<void(const std::string&)> onError;
    // Held around each retention transaction. The ingest writer holds it too, so that this process's two
    // writers take turns instead of one of them running into SQLite's busy time-out, which is kept short
    // for locks held by other processes.
    port::Mutex* writeLock = nullptr;
  };

  CArchiveMaintenance() = default;
  ~CArchiveMaintenance() { Stop(); }
  CArchiveMaintenance(const CArchiveMaintenance&) = delete;
  CArchiveMaintenance& operator=(const CArchiveMaintenance&) = delete;

  void Start(Settings settings) EXCLUDES(m_mtx);
  void Stop() EXCLUDES(m_mtx);
  bool IsStarted() const { return m_thread.joinable(); }
  // Asks for a checkpoint of the write-ahead log soon; false when the thread is not running (then the
  // caller checkpoints).
  bool RequestCheckpoint() EXCLUDES(m_mtx);

  // Deletes the items published before `cutoff`, in batches; false when a batch failed. Public so that the
  // retention can be driven directly.
  bool DeleteBefore(CSqliteDb& db, UtcSeconds cutoff, const std::function<bool()>& keepGoing) const;

 private:
  void Run() EXCLUDES(m_mtx);
  bool Wait(std::chrono::milliseconds timeout) EXCLUDES(m_mtx);  // false when asked to stop
  bool IndexBacklog(CSqliteDb& db, const std::function<bool()>& keepGoing) const;
  void GivePagesBack(CSqliteDb& db, const std::function<bool()>& keepGoing);
  bool FoundDamage(CSqliteDb& db) EXCLUDES(m_mtx);  // true when the check found damage and reported it

  Settings m_settings;  // set by Start before the thread starts, then read by the thread alone
  port::Mutex m_mtx;
  port::CondVar m_cv;
  bool m_bStop GUARDED_BY(m_mtx) = false;
  bool m_bCheckpoint GUARDED_BY(m_mtx) = false;
  bool m_bRunning GUARDED_BY(m_mtx) = false;  // the thread works on the file
  // The thread's connection, interrupted by Stop (a long check must not hold it up).
  sqlite3* m_pWorking GUARDED_BY(m_mtx) = nullptr;
  std::thread m_thread;
};

}  // namespace newssvc
