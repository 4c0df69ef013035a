// Owning wrappers around SQLite's connection and statement handles: every handle is closed or finalised
// by its destructor, on every path. A connection is used by one thread at a time (its owner sees to it with
// a lock or a pool of readers); the wrappers have no lock of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace newssvc {

class CSqliteStatement;

class CSqliteDb {
 public:
  CSqliteDb() = default;
  // Opens `path` read-write, creating it when `create`, with the archive's search tokenizer and html_text
  // registered; false (the handle stays closed) on failure, with the reason in ErrorText().
  bool Open(const std::string& path, bool create);
  void Close();
  bool IsOpen() const { return m_db != nullptr; }
  // Whether the file could only be opened for reading.
  bool IsReadOnly() const;

  // Runs statements without results; the SQLite result code (SQLITE_OK on success).
  int Exec(const char* sql);
  // Runs a statement that yields one integer or one text; false when it yields nothing or fails.
  bool QueryInt(const char* sql, std::int64_t& value);
  bool QueryText(const char* sql, std::string& value);
  void SetBusyTimeout(int milliseconds);

  int ErrorCode() const;
  std::string ErrorText() const;
  sqlite3* Handle() const { return m_db.get(); }

 private:
  struct Closer {
    void operator()(sqlite3* db) const;
  };
  std::unique_ptr<sqlite3, Closer> m_db;
  std::string m_openError;
};

class CSqliteStatement {
 public:
  CSqliteStatement() = default;
  // Prepares `sql` on `db`; check IsReady().
  CSqliteStatement(const CSqliteDb& db, const char* sql);
  bool IsReady() const { return m_stmt != nullptr; }

  // Binds by 1-based position.
  CSqliteStatement& Bind(int index, std::int64_t value);
  CSqliteStatement& Bind(int index, const std::string& text);
  // One step: SQLITE_ROW, SQLITE_DONE or an error code.
  int Step();
  // Resets the statement and clears its bindings, so it can run again.
  void Reset();
  // Runs a statement to its end after a Reset-free Bind sequence; the final result code (SQLITE_DONE on
  // success). The statement is reset afterwards.
  int Run();

  std::int64_t Int(int column) const;
  std::string Text(int column) const;

 private:
  struct Finalizer {
    void operator()(sqlite3_stmt* stmt) const;
  };
  std::unique_ptr<sqlite3_stmt, Finalizer> m_stmt;
};

}  // namespace newssvc
