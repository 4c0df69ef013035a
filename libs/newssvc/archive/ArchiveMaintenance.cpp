#include "libs/newssvc/archive/ArchiveMaintenance.h"

#include <sqlite3.h>

#include <algorithm>
#include <vector>

#include "libs/newssvc/archive/Sqlite.h"
#include "libs/newssvc/archive/SymbolList.h"

namespace newssvc {

namespace {

// Longer than another process's commit or retention batch takes.
constexpr int kBusyMilliseconds = 2000;
// SQLite's auto_vacuum setting that lets a file give freed pages back.
constexpr std::int64_t kIncrementalVacuum = 2;

// The statements of a retention pass, prepared once per pass.
struct RetentionStatements {
  explicit RetentionStatements(CSqliteDb& db)
      : select(db,
               "SELECT rowid, serial, published, symbols FROM items WHERE provider = ?1 AND published < ?2 "
               "ORDER BY published LIMIT ?3"),
        deleteItem(db, "DELETE FROM items WHERE rowid = ?1"),
        deleteSymbol(
            db, "DELETE FROM item_symbols WHERE symbol = ?1 AND provider = ?2 AND published = ?3 AND serial = ?4") {}
  bool IsReady() const { return select.IsReady() && deleteItem.IsReady() && deleteSymbol.IsReady(); }
  CSqliteStatement select;
  CSqliteStatement deleteItem;
  CSqliteStatement deleteSymbol;
};

// One batch of at most kBatchItems old items of one provider, with their symbol rows; the number deleted,
// or -1 on failure. A provider with nothing old costs one index seek and no write transaction.
int DeleteBatch(CSqliteDb& db, RetentionStatements& pass, const std::string& provider, UtcSeconds cutoff) {
  pass.select.Bind(1, provider).Bind(2, cutoff).Bind(3, std::int64_t{CArchiveMaintenance::kBatchItems});
  int rc = pass.select.Step();
  pass.select.Reset();
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? 0 : -1;
  if (db.Exec("BEGIN IMMEDIATE") != SQLITE_OK) return -1;
  pass.select.Bind(1, provider).Bind(2, cutoff).Bind(3, std::int64_t{CArchiveMaintenance::kBatchItems});
  int deleted = 0;
  bool ok = true;
  while (ok && (rc = pass.select.Step()) == SQLITE_ROW) {
    ok = pass.deleteItem.Bind(1, pass.select.Int(0)).Run() == SQLITE_DONE;
    for (const std::string& symbol : SplitSymbols(pass.select.Text(3)))
      ok = ok && pass.deleteSymbol.Bind(1, symbol)
                         .Bind(2, provider)
                         .Bind(3, pass.select.Int(2))
                         .Bind(4, pass.select.Int(1))
                         .Run() == SQLITE_DONE;
    ++deleted;
  }
  pass.select.Reset();
  if (!ok || rc != SQLITE_DONE || db.Exec("COMMIT") != SQLITE_OK) {
    db.Exec("ROLLBACK");
    return -1;
  }
  return deleted;
}

}  // namespace

UtcSeconds RetentionCutoff(int retentionDays) {
  const UtcSeconds now =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  return now - static_cast<UtcSeconds>(retentionDays) * 86400;
}

void CArchiveMaintenance::Start(Settings settings) {
  Stop();
  port::MutexLock lock(m_mtx);
  m_settings = std::move(settings);
  m_bStop = false;
  m_thread = std::thread(&CArchiveMaintenance::Run, this);
}

void CArchiveMaintenance::Stop() {
  {
    port::MutexLock lock(m_mtx);
    m_bStop = true;
    if (m_pWorking) sqlite3_interrupt(m_pWorking);
  }
  m_cv.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

bool CArchiveMaintenance::RequestCheckpoint() {
  {
    port::MutexLock lock(m_mtx);
    if (!m_bRunning) return false;
    m_bCheckpoint = true;
  }
  m_cv.notify_all();
  return true;
}

bool CArchiveMaintenance::Wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  port::MutexLock lock(m_mtx);
  while (!m_bStop && !m_bCheckpoint) {
    if (m_cv.wait_until(m_mtx, deadline) == std::cv_status::timeout) break;
  }
  return !m_bStop;
}

// Providers are walked with one index seek each, so that a large archive is not scanned.
bool CArchiveMaintenance::DeleteBefore(CSqliteDb& db, UtcSeconds cutoff, const std::function<bool()>& keepGoing) const {
  CSqliteStatement next(db, "SELECT provider FROM items WHERE provider > ?1 ORDER BY provider LIMIT 1");
  RetentionStatements statements(db);
  if (!next.IsReady() || !statements.IsReady()) return false;
  std::string provider;
  for (;;) {
    const int rc = next.Bind(1, provider).Step();
    if (rc != SQLITE_ROW) {
      next.Reset();
      return rc == SQLITE_DONE;
    }
    provider = next.Text(0);
    next.Reset();
    int deleted = kBatchItems;
    while (deleted == kBatchItems) {
      if (!keepGoing()) return true;
      {
        port::MutexLock lock(*m_settings.writeLock);
        deleted = DeleteBatch(db, statements, provider, cutoff);
      }
      if (deleted < 0) return false;
      if (deleted == kBatchItems) std::this_thread::sleep_for(kBatchPause);  // another batch follows
    }
  }
}

void CArchiveMaintenance::Run() {
  CSqliteDb db;
  if (!db.Open(m_settings.path, false)) return;
  db.SetBusyTimeout(kBusyMilliseconds);
  {
    port::MutexLock lock(m_mtx);
    if (m_bStop) return;
    m_pWorking = db.Handle();
    m_bRunning = true;
  }
  struct Release {
    CArchiveMaintenance& self;
    ~Release() {
      port::MutexLock lock(self.m_mtx);
      self.m_pWorking = nullptr;
      self.m_bRunning = false;
    }
  } release{*this};
  const auto keepGoing = [this] {
    port::MutexLock lock(m_mtx);
    return !m_bStop;
  };
  // A file made before the archive gave pages back is rewritten once so that it can (a long transaction,
  // during which the ingest keeps its items in memory). VACUUM may renumber the items' rowids, which the
  // search index refers to, so the index is emptied after it and every item left to IndexBacklog.
  std::int64_t vacuum = kIncrementalVacuum;
  if (db.QueryInt("PRAGMA auto_vacuum", vacuum) && vacuum != kIncrementalVacuum &&
      db.Exec("PRAGMA auto_vacuum = INCREMENTAL; VACUUM; BEGIN IMMEDIATE;"
              "INSERT INTO item_search(item_search) VALUES('delete-all'); DELETE FROM search_backlog;"
              "INSERT INTO search_backlog SELECT rowid + 1 FROM items ORDER BY rowid DESC LIMIT 1; COMMIT") !=
          SQLITE_OK)
    db.Exec("ROLLBACK");
  auto nextRetention = std::chrono::steady_clock::now();
  const auto checkAt = nextRetention + m_settings.checkAfter.value_or(std::chrono::milliseconds(0));
  bool checked = !m_settings.checkAfter;
  bool retentionFailed = false;
  for (;;) {
    const auto now = std::chrono::steady_clock::now();
    if (!checked && now >= checkAt) {
      checked = true;
      if (FoundDamage(db)) return;
    }
    if (now >= nextRetention) {
      const bool ok =
          DeleteBefore(db, RetentionCutoff(m_settings.retentionDays), keepGoing) && IndexBacklog(db, keepGoing);
      if (ok) GivePagesBack(db, keepGoing);
      if (!ok && !retentionFailed) m_settings.onError("retention or search indexing: " + db.ErrorText());
      retentionFailed = !ok;
      nextRetention = now + m_settings.retentionEvery;
    }
    bool checkpoint = false;
    {
      port::MutexLock lock(m_mtx);
      checkpoint = m_bCheckpoint;
      m_bCheckpoint = false;
    }
    if (checkpoint) db.Exec("PRAGMA wal_checkpoint(PASSIVE)");
    const auto wakeAt = checked ? nextRetention : std::min(checkAt, nextRetention);
    if (!Wait(std::chrono::duration_cast<std::chrono::milliseconds>(wakeAt - std::chrono::steady_clock::now()))) break;
  }
  db.Exec("PRAGMA wal_checkpoint(PASSIVE)");
}

// The items below search_backlog's mark (see ArchiveSchema.cpp) are indexed newest first, so that recent
// news is found first; each batch lowers the mark to the lowest rowid it indexed, or deletes it when no item
// is left below.
bool CArchiveMaintenance::IndexBacklog(CSqliteDb& db, const std::function<bool()>& keepGoing) const {
  const std::string indexBatch =
      "BEGIN IMMEDIATE;"
      "INSERT INTO item_search(rowid, title, body) SELECT rowid, html_text(title), html_text(description) "
      "FROM items WHERE rowid < (SELECT below FROM search_backlog) ORDER BY rowid DESC LIMIT " +
      std::to_string(kBatchItems) +
      ";"
      "UPDATE search_backlog SET below = coalesce((SELECT rowid FROM items WHERE rowid < below "
      "ORDER BY rowid DESC LIMIT 1 OFFSET " +
      std::to_string(kBatchItems - 1) +
      "), 0);"
      "DELETE FROM search_backlog WHERE NOT EXISTS (SELECT 1 FROM items WHERE rowid < below);"
      "COMMIT";
  std::int64_t below = 0;
  while (keepGoing() && db.QueryInt("SELECT below FROM search_backlog", below)) {
    {
      port::MutexLock lock(*m_settings.writeLock);
      if (db.Exec(indexBatch.c_str()) != SQLITE_OK) {
        db.Exec("ROLLBACK");
        return false;
      }
    }
    std::this_thread::sleep_for(kBatchPause);
  }
  return true;
}

// An interrupted check yields no row; only a finished one that found damage counts. Damage is reported with
// the connection closed, since the file is to be moved aside.
bool CArchiveMaintenance::FoundDamage(CSqliteDb& db) {
  std::string check;
  if (!db.QueryText("PRAGMA quick_check", check) || check == "ok") return false;
  {
    port::MutexLock lock(m_mtx);
    m_pWorking = nullptr;
    m_bRunning = false;
  }
  db.Close();
  m_settings.onDamage(check);
  return true;
}

// The pages retention freed go back to the file system, a few at a time, and the checkpoint that follows
// shortens the file.
void CArchiveMaintenance::GivePagesBack(CSqliteDb& db, const std::function<bool()>& keepGoing) {
  const std::string step = "PRAGMA incremental_vacuum(" + std::to_string(kVacuumPages) + ")";
  std::int64_t free = 0, before = -1;
  // A file that cannot give pages back (not yet rewritten) keeps its free pages: the loop ends.
  while (keepGoing() && db.QueryInt("PRAGMA freelist_count", free) && free > 0 && free != before) {
    before = free;
    port::MutexLock lock(*m_settings.writeLock);
    if (db.Exec(step.c_str()) != SQLITE_OK) return;
  }
  db.Exec("PRAGMA wal_checkpoint(PASSIVE)");
}

}  // namespace newssvc
