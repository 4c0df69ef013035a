#include "libs/newssvc/archive/Sqlite.h"

#include <sqlite3.h>

#include "libs/newssvc/archive/HanBigramTokenizer.h"
#include "port/CodePage.h"

namespace newssvc {

void CSqliteDb::Closer::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

bool CSqliteDb::Open(const std::string& path, bool create) {
  Close();
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  const int rc = sqlite3_open_v2(port::FileSystemPath(CString(path)).u8string().c_str(), &db, flags, nullptr);
  m_db.reset(db);  // a failed open still hands back a handle that must be closed
  // The archive's triggers index the items' text: a connection without the tokenizer cannot write them.
  if (rc == SQLITE_OK && RegisterSearchText(db)) return true;
  m_openError = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  m_db.reset();
  return false;
}

void CSqliteDb::Close() { m_db.reset(); }

bool CSqliteDb::IsReadOnly() const { return m_db && sqlite3_db_readonly(m_db.get(), "main") == 1; }

int CSqliteDb::Exec(const char* sql) {
  return m_db ? sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr) : SQLITE_MISUSE;
}

bool CSqliteDb::QueryInt(const char* sql, std::int64_t& value) {
  CSqliteStatement statement(*this, sql);
  if (!statement.IsReady() || statement.Step() != SQLITE_ROW) return false;
  value = statement.Int(0);
  return true;
}

bool CSqliteDb::QueryText(const char* sql, std::string& value) {
  CSqliteStatement statement(*this, sql);
  if (!statement.IsReady() || statement.Step() != SQLITE_ROW) return false;
  value = statement.Text(0);
  return true;
}

void CSqliteDb::SetBusyTimeout(int milliseconds) {
  if (m_db) sqlite3_busy_timeout(m_db.get(), milliseconds);
}

int CSqliteDb::ErrorCode() const { return m_db ? sqlite3_extended_errcode(m_db.get()) : SQLITE_CANTOPEN; }

std::string CSqliteDb::ErrorText() const { return m_db ? sqlite3_errmsg(m_db.get()) : m_openError; }

void CSqliteStatement::Finalizer::operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }

CSqliteStatement::CSqliteStatement(const CSqliteDb& db, const char* sql) {
  sqlite3_stmt* stmt = nullptr;
  if (db.Handle() && sqlite3_prepare_v2(db.Handle(), sql, -1, &stmt, nullptr) == SQLITE_OK) m_stmt.reset(stmt);
}

CSqliteStatement& CSqliteStatement::Bind(int index, std::int64_t value) {
  sqlite3_bind_int64(m_stmt.get(), index, value);
  return *this;
}

CSqliteStatement& CSqliteStatement::Bind(int index, const std::string& text) {
  sqlite3_bind_text(m_stmt.get(), index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  return *this;
}

int CSqliteStatement::Step() { return m_stmt ? sqlite3_step(m_stmt.get()) : SQLITE_MISUSE; }

void CSqliteStatement::Reset() {
  if (!m_stmt) return;
  sqlite3_reset(m_stmt.get());
  sqlite3_clear_bindings(m_stmt.get());
}

int CSqliteStatement::Run() {
  int rc = Step();
  while (rc == SQLITE_ROW) rc = Step();
  Reset();
  return rc;
}

std::int64_t CSqliteStatement::Int(int column) const { return sqlite3_column_int64(m_stmt.get(), column); }

std::string CSqliteStatement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(m_stmt.get(), column);
  const int bytes = sqlite3_column_bytes(m_stmt.get(), column);
  return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(bytes)) : std::string();
}

}  // namespace newssvc
