#include "libs/newssvc/archive/NewsArchive.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "libs/newssvc/archive/ArchiveSchema.h"
#include "libs/newssvc/archive/SymbolList.h"
#include "port/CodePage.h"
#include "port/FileMove.h"
#include "port/Path.h"

namespace newssvc {

namespace {

constexpr int kReaderBusyMilliseconds = 1000;
constexpr std::size_t kIdleReaders = 4;
// Write-ahead log pages after which the maintenance thread is asked for a checkpoint.
constexpr int kCheckpointPages = 1000;

const char kItemColumns[] = "serial, key, published, first_seen, title, link, description, symbols";

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

// "20261205T233000Z": when a damaged file was moved aside.
std::string TimestampNow() {
  const auto now =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  const CivilTime civil = ToCivil(now, 0);
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02dZ", civil.year, civil.month, civil.day, civil.hour,
                civil.minute, civil.second);
  return text;
}

int OnWalCommit(void* maintenance, sqlite3*, const char*, int pages) {
  if (pages >= kCheckpointPages) static_cast<CArchiveMaintenance*>(maintenance)->RequestCheckpoint();
  return SQLITE_OK;
}

}  // namespace

struct CNewsArchive::Writer {
  CSqliteDb db;
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
  OpenResult result = OpenWriter();
  if (result == OpenResult::kDamaged) {
    Recover("not a database");
    return m_writer != nullptr;
  }
  if (result != OpenResult::kReady) return false;
  StartMaintenance();
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
  db.SetBusyTimeout(kWriterBusyMilliseconds);
  std::int64_t tables = 0;
  if (!db.QueryInt("SELECT count(*) FROM sqlite_master", tables)) {
    const int code = db.ErrorCode() & 0xff;
    if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT) return OpenResult::kDamaged;
    NoteFailure("cannot read " + m_strPath + ": " + db.ErrorText());
    return OpenResult::kFailed;
  }
  db.Exec("PRAGMA journal_mode = WAL");
  db.Exec("PRAGMA synchronous = FULL");  // a reported item survives a power cut too
  const SchemaResult schema = MigrateSchema(db);
  if (schema != SchemaResult::kCurrent) {
    NoteFailure(schema == SchemaResult::kNewer ? m_strPath + " comes from a newer version of the service"
                                               : "cannot prepare " + m_strPath + ": " + db.ErrorText());
    return OpenResult::kFailed;
  }
  writer->insertItem = CSqliteStatement(
      db,
      "INSERT OR IGNORE INTO items(provider, serial, key, published, first_seen, title, link, description, "
      "symbols) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
  writer->insertSymbol = CSqliteStatement(
      db, "INSERT OR IGNORE INTO item_symbols(symbol, provider, published, serial) VALUES(?1, ?2, ?3, ?4)");
  writer->saveState =
      CSqliteStatement(db,
                       "INSERT OR REPLACE INTO feeds(provider, etag, last_modified, url, next_poll, last_error, "
                       "source, failures, gone) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
  if (!writer->insertItem.IsReady() || !writer->insertSymbol.IsReady() || !writer->saveState.IsReady()) {
    NoteFailure("cannot prepare " + m_strPath + ": " + db.ErrorText());
    return OpenResult::kFailed;
  }
  // Checkpoints run on the maintenance thread, never inside a commit on the ingest thread.
  sqlite3_wal_hook(db.Handle(), &OnWalCommit, &m_maintenance);
  m_writer = std::move(writer);
  return OpenResult::kReady;
}

// Called with the file lock held exclusively and no connection open on the file.
void CNewsArchive::MoveAside(const std::string& reason) {
  m_writer.reset();
  {
    port::MutexLock lock(m_poolMtx);
    m_idleReaders.clear();
  }
  const std::string aside = m_strPath + ".damaged-" + TimestampNow();
  const bool moved = port::MoveFileOver(CString(m_strPath), CString(aside));
  for (const char* companion : {"-wal", "-shm"}) {
    std::error_code ignored;
    if (std::filesystem::exists(port::FileSystemPath(CString(m_strPath + companion)), ignored))
      port::MoveFileOver(CString(m_strPath + companion), CString(aside + companion));
  }
  LogLine(m_strPath + " is damaged (" + reason + "): " + (moved ? "moved to " : "could not be moved to ") + aside +
          "; a new archive starts");
}

void CNewsArchive::Recover(const std::string& reason) {
  m_maintenance.Stop();
  {
    port::WriterLock lock(m_fileLock);
    MoveAside(reason);
  }
  m_bDamaged = false;
  if (OpenWriter() == OpenResult::kReady) StartMaintenance();
}

void CNewsArchive::StartMaintenance() {
  CArchiveMaintenance::Settings settings;
  settings.path = m_strPath;
  settings.retentionDays = m_nRetentionDays;
  settings.onDamage = [this](const std::string& report) {
    {
      port::MutexLock lock(m_damageMtx);
      m_strDamage = "integrity check: " + report;
    }
    m_bDamaged = true;
  };
  settings.onError = [this](const std::string& text) { LogLine(text); };
  settings.writeLock = &m_writeMtx;
  m_maintenance.Start(std::move(settings));
}

bool CNewsArchive::Store(const std::vector<ArchiveBatch>& batches, const std::map<std::string, FeedState>& states) {
  if (m_bDamaged) {
    std::string reason;
    {
      port::MutexLock lock(m_damageMtx);
      reason = m_strDamage;
    }
    Recover(reason);
  }
  if (!m_writer && OpenWriter() == OpenResult::kDamaged) Recover("not a database");
  if (!m_writer) return false;
  // An archive that could not be opened at first gets its check, retention and checkpoints now.
  if (!m_maintenance.IsStarted()) StartMaintenance();
  bool written = false;
  {
    port::MutexLock lock(m_writeMtx);
    written = WriteAll(batches, states);
  }
  if (!written) {
    NoteFailure("cannot write " + m_strPath + ": " + m_strLastError);
    m_writer.reset();  // opened again at the next write: a file made writable again is then written
    return false;
  }
  NoteSuccess();
  return true;
}

bool CNewsArchive::WriteAll(const std::vector<ArchiveBatch>& batches, const std::map<std::string, FeedState>& states) {
  Writer& w = *m_writer;
  if (w.db.Exec("BEGIN IMMEDIATE") != SQLITE_OK) {
    m_strLastError = w.db.ErrorText();
    return false;
  }
  bool ok = true;
  for (const ArchiveBatch& batch : batches) {
    for (const ArchiveItem& item : batch.items) {
      if (!ok) break;
      ok = w.insertItem.Bind(1, batch.provider)
               .Bind(2, std::int64_t{item.serial})
               .Bind(3, item.key)
               .Bind(4, item.published)
               .Bind(5, item.firstSeen)
               .Bind(6, item.title)
               .Bind(7, item.link)
               .Bind(8, item.description)
               .Bind(9, JoinSymbols(item.symbols))
               .Run() == SQLITE_DONE;
      if (!ok || sqlite3_changes(w.db.Handle()) == 0) continue;  // archived before
      for (const std::string& symbol : item.symbols)
        ok = ok && w.insertSymbol.Bind(1, symbol)
                           .Bind(2, batch.provider)
                           .Bind(3, item.published)
                           .Bind(4, std::int64_t{item.serial})
                           .Run() == SQLITE_DONE;
    }
  }
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
  reader->byDate = CSqliteStatement(reader->db, byDate.c_str());
  reader->bySymbol = CSqliteStatement(reader->db, bySymbol.c_str());
  reader->bySerial = CSqliteStatement(reader->db, bySerial.c_str());
  reader->byKey = CSqliteStatement(reader->db, "SELECT 1 FROM items WHERE provider = ?1 AND key = ?2");
  reader->lastSerial = CSqliteStatement(reader->db, "SELECT max(serial) FROM items WHERE provider = ?1");
  reader->newest = CSqliteStatement(reader->db, "SELECT max(published) FROM items WHERE provider = ?1");
  for (const CSqliteStatement* statement :
       {&reader->byDate, &reader->bySymbol, &reader->bySerial, &reader->byKey, &reader->lastSerial, &reader->newest})
    if (!statement->IsReady()) return nullptr;
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
                             std::vector<std::string>& known) const {
  ReaderLease reader(*this);
  if (!reader) return false;
  CSqliteStatement& statement = reader->byKey;
  for (const std::string& key : keys) {
    const int rc = statement.Bind(1, provider).Bind(2, key).Step();
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
