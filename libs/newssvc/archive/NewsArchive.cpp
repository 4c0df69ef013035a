#include "libs/newssvc/archive/NewsArchive.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <unordered_map>

#include "libs/newssvc/archive/ArchiveSchema.h"
#include "libs/newssvc/archive/HanBigramTokenizer.h"
#include "libs/newssvc/archive/SymbolList.h"
#include "port/CodePage.h"
#include "port/FileMove.h"
#include "port/Path.h"

namespace newssvc {

namespace {

constexpr int kReaderBusyMilliseconds = 1000;
constexpr std::size_t kIdleReaders = 4;
// A reader maps up to this much of the file: a page read through the map costs no system call and no copy, and a
// search reads each hit's row at random. A 32-bit host keeps its address space and reads as before. Windows
// cannot shorten a file while a view of it is mapped (SQLite then leaves it at its size without an error), so
// the idle readers' maps would keep the archive from ever giving pages back: there, readers read as before too.
#ifdef _WIN32
constexpr const char* kReaderMap = "PRAGMA mmap_size = 0";
#else
constexpr const char* kReaderMap = sizeof(void*) >= 8 ? "PRAGMA mmap_size = 1073741824" : "PRAGMA mmap_size = 0";
#endif
// Write-ahead log pages after which the maintenance thread is asked for a checkpoint.
constexpr int kCheckpointPages = 1000;
// A file up to this size is checked as it opens, before anything is written to it (a matter of milliseconds);
// a larger one by the maintenance thread a while later, so that reading it does not slow the service's start.
constexpr std::int64_t kCheckAtOpenBytes = std::int64_t{16} << 20;
constexpr std::chrono::milliseconds kLaterCheck = std::chrono::minutes(1);

const char kItemColumns[] = "serial, key, published, first_seen, title, link, description, symbols";

// The index answers the words first (CROSS JOIN keeps that order, so a narrow date or a symbol never makes
// the match a test per row); the items it names are then filtered, sorted and cut, carrying only their
// rowids through the sort.
const char kSearch[] =
    "SELECT i.rowid FROM item_search CROSS JOIN items i ON i.rowid = item_search.rowid "
    "WHERE item_search MATCH ?1 AND i.published >= ?2 AND i.published < ?3 "
    "AND (?5 = '' OR EXISTS (SELECT 1 FROM item_symbols s WHERE s.symbol = ?5 AND s.provider = i.provider "
    "AND s.published = i.published AND s.serial = i.serial))";
const char kSearchEnd[] = " ORDER BY i.published DESC, i.serial DESC LIMIT ?4";
// The returned hits' items and snippets, in one pass over the match: the hits' rowids come as a JSON array, and
// the unary plus keeps them from FTS5, which would run the match again for each of them. A snippet renders the
// item's text again, so it is made for the returned hits only, after the sort.
const char kSearchHits[] =
    "SELECT i.serial, i.key, i.published, i.first_seen, i.title, i.link, i.description, i.symbols, i.provider, "
    "snippet(item_search, -1, char(2), char(3), '...', 24), i.rowid "
    "FROM item_search CROSS JOIN items i ON i.rowid = item_search.rowid "
    "WHERE item_search MATCH ?1 AND +item_search.rowid IN (SELECT value FROM json_each(?2))";

ArchiveItem ReadItem(const CSqliteStatement& row) {
  ArchiveItem item;
  item.serial = static_cast<long>(row.Int(0));
  item.key = row.Text(1);
  item.published = row.Int(2);
  item.firstSeen = row.Int(3);
  item.title = row.Text(4);
  item.link = row.Text(5);
  item.description = row.Text(6);
  item.symbols = SplitSymbols(row.Text(7));
  return item;
}

// Checkpoints run on the maintenance thread; while it is not running, the writer checkpoints itself.
int OnWalCommit(void* maintenance, sqlite3* db, const char*, int pages) {
  if (pages >= kCheckpointPages && !static_cast<CArchiveMaintenance*>(maintenance)->RequestCheckpoint())
    sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  return SQLITE_OK;
}

}  // namespace

struct CNewsArchive::Writer {
  CSqliteDb db;
  CSqliteStatement findKey;
  CSqliteStatement lastSerial;
  CSqliteStatement saveSerial;
  CSqliteStatement insertItem;
  CSqliteStatement insertSymbol;
  CSqliteStatement saveState;
};

struct CNewsArchive::Reader {
  CSqliteDb db;
  CSqliteStatement byDate;
  CSqliteStatement bySymbol;
  CSqliteStatement bySerial;
  CSqliteStatement byKey;
  CSqliteStatement lastSerial;
  CSqliteStatement newest;
  CSqliteStatement searchHits;
};

// A read connection from the pool, held with the file lock shared, returned when the lease ends.
class CNewsArchive::ReaderLease {
 public:
  explicit ReaderLease(const CNewsArchive& archive)
      : m_archive(archive), m_lock(archive.m_fileLock), m_reader(archive.TakeReader()) {}
  ~ReaderLease() {
    if (m_reader) m_archive.ReturnReader(std::move(m_reader));
  }
  ReaderLease(const ReaderLease&) = delete;
  ReaderLease& operator=(const ReaderLease&) = delete;
  Reader* operator->() const { return m_reader.get(); }
  Reader& operator*() const { return *m_reader; }
  explicit operator bool() const { return m_reader != nullptr; }

 private:
  const CNewsArchive& m_archive;
  std::shared_lock<port::SharedMutex> m_lock;
  std::unique_ptr<Reader> m_reader;
};

CNewsArchive::CNewsArchive(std::string folder, int retentionDays)
    : m_strFolder(std::move(folder)),
      m_strPath(port::JoinPath(CString(m_strFolder), CString(kFileName)).str()),
      m_nRetentionDays(retentionDays > 0 ? retentionDays : kDefaultRetentionDays) {}

CNewsArchive::~CNewsArchive() { m_maintenance.Stop(); }

bool CNewsArchive::Open() {
  std::error_code ignored;
  std::filesystem::create_directories(port::FileSystemPath(CString(m_strFolder)), ignored);
  return OpenForWriting();
}

bool CNewsArchive::OpenForWriting() {
  const OpenResult result = OpenWriter();
  std::string damage;
  if (result == OpenResult::kReady && (m_maintenance.IsStarted() || CheckAndStartMaintenance(damage))) return true;
  if (result == OpenResult::kFailed) return false;
  Recover(result == OpenResult::kDamaged ? "not a database" : "integrity check: " + damage);
  return m_writer != nullptr;
}

bool CNewsArchive::CheckAndStartMaintenance(std::string& damage) {
  CSqliteDb& db = m_writer->db;
  std::int64_t pages = 0, pageSize = 0;
  std::optional<std::chrono::milliseconds> checkAfter = kLaterCheck;
  if (db.QueryInt("PRAGMA page_count", pages) && db.QueryInt("PRAGMA page_size", pageSize) &&
      pages * pageSize <= kCheckAtOpenBytes) {
    std::string report;
    if (!db.QueryText("PRAGMA quick_check", report)) {
      checkAfter = std::chrono::milliseconds(0);  // it could not run now: the maintenance thread runs it
    } else if (report != "ok") {
      damage = report;
      return false;
    } else {
      checkAfter.reset();
    }
  }
  StartMaintenance(checkAfter);
  return true;
}

CNewsArchive::OpenResult CNewsArchive::OpenWriter() {
  m_writer.reset();
  auto writer = std::make_unique<Writer>();
  CSqliteDb& db = writer->db;
  if (!db.Open(m_strPath, true)) {
    NoteFailure("cannot open " + m_strPath + ": " + db.ErrorText());
    return OpenResult::kFailed;
  }
  db.SetBusyTimeout(kFaultBusyMilliseconds);  // opened on the host's thread too: waits only briefly
  std::int64_t tables = 0;
  if (!db.QueryInt("SELECT count(*) FROM sqlite_master", tables)) {
    const int code = db.ErrorCode() & 0xff;
    if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT) return OpenResult::kDamaged;
    NoteFailure("cannot read " + m_strPath + ": " + db.ErrorText());
    return OpenResult::kFailed;
  }
  // A new file gives pages back after retention; set before the write-ahead log, which fixes a new file's
  // header without it (the maintenance would then rewrite the file once).
  db.Exec("PRAGMA auto_vacuum = INCREMENTAL");
  std::string journal;
  if ((!db.QueryText("PRAGMA journal_mode = WAL", journal) || journal != "wal") && !m_bJournalLogged) {
    // It works all the same, with readers and the writer waiting for each other.
    m_bJournalLogged = true;
    LogLine(m_strPath + " cannot use a write-ahead log (" + (journal.empty() ? db.ErrorText() : journal) +
            "): queries wait while items are written");
  }
  db.Exec("PRAGMA synchronous = FULL");  // a reported item survives a power cut too
  const SchemaResult schema = MigrateSchema(db);
  if (schema != SchemaResult::kCurrent) {
    NoteFailure(schema == SchemaResult::kNewer ? m_strPath + " comes from a newer version of the service"
                                               : "cannot prepare " + m_strPath + ": " + db.ErrorText());
    return OpenResult::kFailed;
  }
  writer->findKey = CSqliteStatement(db, "SELECT serial FROM items WHERE provider = ?1 AND key = ?2");
  writer->lastSerial = CSqliteStatement(db, "SELECT last FROM serials WHERE provider = ?1");
  writer->saveSerial = CSqliteStatement(db, "INSERT OR REPLACE INTO serials(provider, last) VALUES(?1, ?2)");
  writer->insertItem = CSqliteStatement(
      db,
      "INSERT INTO items(provider, serial, key, published, first_seen, title, link, description, symbols) "
      "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
  writer->insertSymbol = CSqliteStatement(
      db, "INSERT OR IGNORE INTO item_symbols(symbol, provider, published, serial) VALUES(?1, ?2, ?3, ?4)");
  writer->saveState =
      CSqliteStatement(db,
                       "INSERT OR REPLACE INTO feeds(provider, etag, last_modified, url, next_poll, last_error, "
                       "source, failures, gone) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
  for (const CSqliteStatement* statement : {&writer->findKey, &writer->lastSerial, &writer->saveSerial,
                                            &writer->insertItem, &writer->insertSymbol, &writer->saveState}) {
    if (statement->IsReady()) continue;
    NoteFailure("cannot prepare " + m_strPath + ": " + db.ErrorText());
    return OpenResult::kFailed;
  }
  sqlite3_wal_hook(db.Handle(), &OnWalCommit, &m_maintenance);
  m_writer = std::move(writer);
  return OpenResult::kReady;
}

// Called with the file lock held exclusively; closes this process's connections to the file first. False
// when the file could not be moved (under Windows, while another process has it open).
bool CNewsArchive::MoveAside(const std::string& reason) {
  m_writer.reset();
  {
    port::MutexLock lock(m_poolMtx);
    m_idleReaders.clear();
  }
  const auto now =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  const std::string aside = AsidePath(m_strPath, now);
  const bool moved = port::MoveFileOver(CString(m_strPath), CString(aside));
  if (moved) {
    for (const char* companion : {"-wal", "-shm"}) {
      std::error_code ignored;
      if (std::filesystem::exists(port::FileSystemPath(CString(m_strPath + companion)), ignored))
        port::MoveFileOver(CString(m_strPath + companion), CString(aside + companion));
    }
    LogLine(m_strPath + " is damaged (" + reason + "): moved to " + aside + "; a new archive starts");
  } else if (!m_bAsideFailureLogged) {
    LogLine(m_strPath + " is damaged (" + reason + ") and could not be moved to " + aside +
            ": it is tried again at each write, and new items are kept in memory meanwhile");
  }
  m_bAsideFailureLogged = !moved;
  return moved;
}

// A file that cannot be moved aside yet is not written: the next write tries again.
void CNewsArchive::Recover(const std::string& reason) {
  m_maintenance.Stop();
  bool moved = false;
  {
    port::WriterLock lock(m_fileLock);
    moved = MoveAside(reason);
  }
  if (!moved) {
    MarkDamaged(reason);
    return;
  }
  m_bDamaged = false;
  if (OpenWriter() == OpenResult::kReady) StartMaintenance(std::nullopt);  // a new file: nothing to check
}

std::string CNewsArchive::AsidePath(const std::string& path, UtcSeconds when) {
  const CivilTime civil = ToCivil(when, 0);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02dT%02d%02d%02dZ", civil.year, civil.month, civil.day, civil.hour,
                civil.minute, civil.second);
  return path + ".damaged-" + stamp;
}

void CNewsArchive::MarkDamaged(const std::string& reason) {
  {
    port::MutexLock lock(m_damageMtx);
    m_strDamage = reason;
  }
  m_bDamaged = true;
}

void CNewsArchive::StartMaintenance(std::optional<std::chrono::milliseconds> checkAfter) {
  CArchiveMaintenance::Settings settings;
  settings.path = m_strPath;
  settings.checkAfter = checkAfter;
  settings.retentionDays = m_nRetentionDays;
  settings.onDamage = [this](const std::string& report) { MarkDamaged("integrity check: " + report); };
  settings.onError = [this](const std::string& text) { LogLine(text); };
  settings.writeLock = &m_writeMtx;
  m_maintenance.Start(std::move(settings));
}

bool CNewsArchive::Store(std::vector<ArchiveBatch>& batches, const std::map<std::string, FeedState>& states) {
  if (m_bDamaged) {
    std::string reason;
    {
      port::MutexLock lock(m_damageMtx);
      reason = m_strDamage;
    }
    Recover(reason);
    if (m_bDamaged) return false;  // not moved aside yet: the items stay in memory
  }
  if (!m_writer && !OpenForWriting()) return false;
  std::vector<long> serials;
  bool written = false;
  {
    port::MutexLock lock(m_writeMtx);
    m_writer->db.SetBusyTimeout(m_bFaulted ? kFaultBusyMilliseconds : kWriterBusyMilliseconds);
    written = WriteAll(batches, states, serials);
  }
  if (!written) {
    NoteFailure("cannot write " + m_strPath + ": " + m_strLastError);
    m_writer.reset();  // opened again at the next write: a file made writable again is then written
    return false;
  }
  auto serial = serials.begin();
  for (ArchiveBatch& batch : batches)
    for (ArchiveItem& item : batch.items) item.serial = *serial++;
  NoteSuccess();
  return true;
}

UtcSeconds CNewsArchive::OldestKept() const { return RetentionCutoff(m_nRetentionDays); }

bool CNewsArchive::WriteAll(const std::vector<ArchiveBatch>& batches, const std::map<std::string, FeedState>& states,
                            std::vector<long>& serials) {
  Writer& w = *m_writer;
  if (w.db.Exec("BEGIN IMMEDIATE") != SQLITE_OK) {
    m_strLastError = w.db.ErrorText();
    return false;
  }
  bool ok = true;
  for (const ArchiveBatch& batch : batches) ok = ok && WriteItems(batch, serials);
  for (const auto& entry : states) {
    if (!ok) break;
    const FeedState& state = entry.second;
    ok = w.saveState.Bind(1, entry.first)
             .Bind(2, state.etag)
             .Bind(3, state.lastModified)
             .Bind(4, state.url)
             .Bind(5, state.nextPollMs)
             .Bind(6, state.lastError)
             .Bind(7, state.source)
             .Bind(8, std::int64_t{state.failures})
             .Bind(9, std::int64_t{state.gone ? 1 : 0})
             .Run() == SQLITE_DONE;
  }
  if (ok && w.db.Exec("COMMIT") == SQLITE_OK) return true;
  const std::string error = w.db.ErrorText();
  w.db.Exec("ROLLBACK");
  m_strLastError = error;
  return false;
}

// Numbers the batch's items after the provider's last serial (or the batch's `after`), except those whose
// key the archive holds already; the serials are appended to `serials` in the items' order.
bool CNewsArchive::WriteItems(const ArchiveBatch& batch, std::vector<long>& serials) {
  Writer& w = *m_writer;
  int rc = w.lastSerial.Bind(1, batch.provider).Step();
  const long given = rc == SQLITE_ROW ? static_cast<long>(w.lastSerial.Int(0)) : 0;
  w.lastSerial.Reset();
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return false;
  long last = std::max(given, batch.after);
  for (const ArchiveItem& item : batch.items) {
    rc = w.findKey.Bind(1, batch.provider).Bind(2, item.key).Step();
    const long archived = rc == SQLITE_ROW ? static_cast<long>(w.findKey.Int(0)) : 0;
    w.findKey.Reset();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return false;
    if (archived != 0) {
      serials.push_back(archived);
      continue;
    }
    serials.push_back(++last);
    if (w.insertItem.Bind(1, batch.provider)
            .Bind(2, std::int64_t{last})
            .Bind(3, item.key)
            .Bind(4, item.published)
            .Bind(5, item.firstSeen)
            .Bind(6, item.title)
            .Bind(7, item.link)
            .Bind(8, item.description)
            .Bind(9, JoinSymbols(item.symbols))
            .Run() != SQLITE_DONE)
      return false;
    for (const std::string& symbol : item.symbols)
      if (w.insertSymbol.Bind(1, symbol)
              .Bind(2, batch.provider)
              .Bind(3, item.published)
              .Bind(4, std::int64_t{last})
              .Run() != SQLITE_DONE)
        return false;
  }
  return last == given || w.saveSerial.Bind(1, batch.provider).Bind(2, std::int64_t{last}).Run() == SQLITE_DONE;
}

void CNewsArchive::NoteFailure(const std::string& what) {
  if (m_bFaulted) return;
  m_bFaulted = true;
  LogLine(what + "; new items are kept in memory until they can be stored");
}

void CNewsArchive::NoteSuccess() {
  if (!m_bFaulted) return;
  m_bFaulted = false;
  LogLine(m_strPath + " is written again");
}

void CNewsArchive::LogLine(const std::string& text) {
  // Opened at the first line: a healthy archive leaves no empty log behind.
  std::call_once(m_logOpened, [this] { m_log.storage(m_strFolder.c_str(), "RSSNewsSvc", "archive", true, false); });
  m_log(0x100).Write("%s", text.c_str());
}

std::unique_ptr<CNewsArchive::Reader> CNewsArchive::TakeReader() const {
  {
    port::MutexLock lock(m_poolMtx);
    if (!m_idleReaders.empty()) {
      std::unique_ptr<Reader> reader = std::move(m_idleReaders.back());
      m_idleReaders.pop_back();
      return reader;
    }
  }
  auto reader = std::make_unique<Reader>();
  if (!reader->db.Open(m_strPath, false)) return nullptr;
  reader->db.SetBusyTimeout(kReaderBusyMilliseconds);
  reader->db.Exec(kReaderMap);
  const std::string columns = kItemColumns;
  const std::string byDate = "SELECT " + columns +
                             " FROM items WHERE provider = ?1 AND published >= ?2 AND published < ?3 "
                             "ORDER BY published DESC, serial DESC LIMIT ?4";
  const std::string bySymbol =
      "SELECT i.serial, i.key, i.published, i.first_seen, i.title, i.link, i.description, i.symbols "
      "FROM item_symbols s JOIN items i ON i.provider = s.provider AND i.serial = s.serial "
      "WHERE s.symbol = ?5 AND s.provider = ?1 AND s.published >= ?2 AND s.published < ?3 "
      "ORDER BY s.published DESC, s.serial DESC LIMIT ?4";
  const std::string bySerial = "SELECT " + columns + " FROM items WHERE provider = ?1 AND serial = ?2";
  const std::pair<CSqliteStatement*, std::string> statements[] = {
      {&reader->byDate, byDate},
      {&reader->bySymbol, bySymbol},
      {&reader->bySerial, bySerial},
      {&reader->byKey, "SELECT 1 FROM items WHERE provider = ?1 AND key = ?2 AND serial <= ?3"},
      {&reader->lastSerial, "SELECT max(last) FROM serials WHERE provider = ?1"},
      {&reader->newest, "SELECT max(published) FROM items WHERE provider = ?1"},
      {&reader->searchHits, kSearchHits}};
  // The first that fails ends it: a file locked elsewhere costs one busy wait, not one per statement.
  for (const auto& statement : statements) {
    *statement.first = CSqliteStatement(reader->db, statement.second.c_str());
    if (!statement.first->IsReady()) return nullptr;
  }
  return reader;
}

void CNewsArchive::ReturnReader(std::unique_ptr<Reader> reader) const {
  port::MutexLock lock(m_poolMtx);
  if (m_idleReaders.size() < kIdleReaders) m_idleReaders.push_back(std::move(reader));
}

bool CNewsArchive::Query(const ArchiveQuery& query, std::vector<ArchiveItem>& items) const {
  ReaderLease reader(*this);
  if (!reader) return false;
  CSqliteStatement& statement = query.symbol.empty() ? reader->byDate : reader->bySymbol;
  statement.Bind(1, query.provider).Bind(2, query.from).Bind(3, query.to).Bind(4, std::int64_t{query.limit});
  if (!query.symbol.empty()) statement.Bind(5, query.symbol);
  int rc = SQLITE_ROW;
  while ((rc = statement.Step()) == SQLITE_ROW) items.push_back(ReadItem(statement));
  statement.Reset();
  return rc == SQLITE_DONE;
}

bool CNewsArchive::Search(const ArchiveSearch& search, std::vector<SearchHit>& hits) const {
  const std::string expression = SearchExpression(search.words);
  if (expression.empty()) return true;
  ReaderLease reader(*this);
  if (!reader) return false;
  std::string sql = kSearch;
  if (!search.providers.empty()) {
    sql += " AND i.provider IN (?6";
    for (std::size_t i = 1; i < search.providers.size(); ++i) sql += ", ?" + std::to_string(i + 6);
    sql += ")";
  }
  CSqliteStatement statement(reader->db, (sql + kSearchEnd).c_str());
  if (!statement.IsReady()) return false;
  statement.Bind(1, expression).Bind(2, search.from).Bind(3, search.to).Bind(4, std::int64_t{search.limit});
  statement.Bind(5, search.symbol);
  for (std::size_t i = 0; i < search.providers.size(); ++i)
    statement.Bind(static_cast<int>(i + 6), search.providers[i]);
  std::vector<std::int64_t> rowids;
  int rc = SQLITE_ROW;
  while ((rc = statement.Step()) == SQLITE_ROW) rowids.push_back(statement.Int(0));
  if (rc != SQLITE_DONE) return false;
  return rowids.empty() || ReadHits(*reader, expression, rowids, hits);
}

bool CNewsArchive::ReadHits(Reader& reader, const std::string& expression, const std::vector<std::int64_t>& rowids,
                            std::vector<SearchHit>& hits) {
  std::string list;
  for (const std::int64_t rowid : rowids) list += (list.empty() ? "[" : ",") + std::to_string(rowid);
  list += ']';
  std::unordered_map<std::int64_t, SearchHit> found;
  CSqliteStatement& statement = reader.searchHits;
  statement.Bind(1, expression).Bind(2, list);
  int rc = SQLITE_ROW;
  while ((rc = statement.Step()) == SQLITE_ROW)
    found.emplace(statement.Int(10), SearchHit{statement.Text(8), ReadItem(statement), statement.Text(9)});
  statement.Reset();
  for (const std::int64_t rowid : rowids) {
    const auto hit = found.find(rowid);
    if (hit != found.end()) hits.push_back(std::move(hit->second));
  }
  return rc == SQLITE_DONE;
}

bool CNewsArchive::Find(const std::string& provider, long serial, ArchiveItem& item, bool& found) const {
  ReaderLease reader(*this);
  if (!reader) return false;
  CSqliteStatement& statement = reader->bySerial;
  const int rc = statement.Bind(1, provider).Bind(2, std::int64_t{serial}).Step();
  found = rc == SQLITE_ROW;
  if (found) item = ReadItem(statement);
  statement.Reset();
  return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

bool CNewsArchive::KnownKeys(const std::string& provider, const std::vector<std::string>& keys,
                             std::vector<std::string>& known, long upTo) const {
  ReaderLease reader(*this);
  if (!reader) return false;
  CSqliteStatement& statement = reader->byKey;
  for (const std::string& key : keys) {
    const int rc = statement.Bind(1, provider).Bind(2, key).Bind(3, std::int64_t{upTo}).Step();
    statement.Reset();
    if (rc == SQLITE_ROW) known.push_back(key);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return false;
  }
  return true;
}

bool CNewsArchive::LastSerial(const std::string& provider, long& serial) const {
  ReaderLease reader(*this);
  if (!reader) return false;
  CSqliteStatement& statement = reader->lastSerial;
  const int rc = statement.Bind(1, provider).Step();
  if (rc == SQLITE_ROW) serial = static_cast<long>(statement.Int(0));
  statement.Reset();
  return rc == SQLITE_ROW;
}

bool CNewsArchive::Newest(const std::string& provider, UtcSeconds& published) const {
  ReaderLease reader(*this);
  if (!reader) return false;
  CSqliteStatement& statement = reader->newest;
  const int rc = statement.Bind(1, provider).Step();
  if (rc == SQLITE_ROW) published = statement.Int(0);
  statement.Reset();
  return rc == SQLITE_ROW;
}

bool CNewsArchive::LoadFeedStates(std::map<std::string, FeedState>& states) const {
  ReaderLease reader(*this);
  if (!reader) return false;
  CSqliteStatement statement(
      reader->db,
      "SELECT provider, etag, last_modified, url, next_poll, last_error, source, failures, gone FROM feeds");
  if (!statement.IsReady()) return false;
  int rc = SQLITE_ROW;
  while ((rc = statement.Step()) == SQLITE_ROW) {
    FeedState& state = states[statement.Text(0)];
    state.etag = statement.Text(1);
    state.lastModified = statement.Text(2);
    state.url = statement.Text(3);
    state.nextPollMs = statement.Int(4);
    state.lastError = statement.Text(5);
    state.source = statement.Text(6);
    state.failures = static_cast<int>(statement.Int(7));
    state.gone = statement.Int(8) != 0;
  }
  return rc == SQLITE_DONE;
}

}  // namespace newssvc
