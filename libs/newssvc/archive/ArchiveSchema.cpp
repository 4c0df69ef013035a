#include "libs/newssvc/archive/ArchiveSchema.h"

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace newssvc {

namespace {

// Step n takes a file from layout n to layout n + 1.
//
// items: one row per item of a provider; serial numbers the provider's items in the order they were first
// seen (the records' first key). published and first_seen are UTC seconds. symbols are joined with '\n'.
// Indexes: (provider, published, serial) answers a provider's dates newest first; (provider, key) finds
// an item seen before; (provider, serial) finds an item's content.
// item_symbols: one row per item and symbol; its key answers a symbol's dates newest first.
// feeds: per-feed state (see FeedState); next_poll in milliseconds since 1970.
// serials (layout 2): the last serial each provider gave. Never lowered, so that a number whose item
// retention deleted is not given again; it starts at the highest serial an earlier layout holds.
// item_search (layout 3): the full-text index of the text of the items' titles and content; html_text,
// registered with the tokenizer on every connection, renders their markup as the records do. Its content
// is the view item_text, so the text is not stored twice (snippets render it again from the item).
// Triggers keep it in step inside every transaction that writes items; an external-content index must be
// told a removed row's text as it was indexed, which the triggers render again from the markup.
// search_backlog (layout 3): at most one row; the items whose rowid is below `below` are not indexed yet.
// Rendering and tokenizing months of items takes minutes, too long for the thread that opens the file and
// for the write lock, so the step indexes nothing: the maintenance thread indexes those items in short
// batches, newest first, lowering the mark as it goes, and deletes it when none is left. The triggers
// leave the rows below the mark to it: FTS5 takes the removal of a row it never indexed on trust, which
// leaves its index unsound, and a row inserted there (a rowid given again after retention) is indexed by
// the maintenance thread, which would otherwise index it a second time.
const char* const kSteps[] = {
    "CREATE TABLE items("
    "  provider TEXT NOT NULL, serial INTEGER NOT NULL, key TEXT NOT NULL,"
    "  published INTEGER NOT NULL, first_seen INTEGER NOT NULL,"
    "  title TEXT NOT NULL, link TEXT NOT NULL, description TEXT NOT NULL, symbols TEXT NOT NULL);"
    "CREATE UNIQUE INDEX items_by_serial ON items(provider, serial);"
    "CREATE UNIQUE INDEX items_by_key ON items(provider, key);"
    "CREATE INDEX items_by_date ON items(provider, published, serial);"
    "CREATE TABLE item_symbols("
    "  symbol TEXT NOT NULL, provider TEXT NOT NULL, published INTEGER NOT NULL, serial INTEGER NOT NULL,"
    "  PRIMARY KEY(symbol, provider, published, serial)) WITHOUT ROWID;"
    "CREATE TABLE feeds("
    "  provider TEXT PRIMARY KEY, etag TEXT NOT NULL, last_modified TEXT NOT NULL, url TEXT NOT NULL,"
    "  next_poll INTEGER NOT NULL, last_error TEXT NOT NULL, source TEXT NOT NULL, failures INTEGER NOT NULL,"
    "  gone INTEGER NOT NULL);",
    "CREATE TABLE serials(provider TEXT PRIMARY KEY, last INTEGER NOT NULL) WITHOUT ROWID;"
    "INSERT INTO serials SELECT provider, max(serial) FROM items GROUP BY provider;",
    "CREATE VIEW item_text(id, title, body) AS SELECT rowid, html_text(title), html_text(description) FROM items;"
    "CREATE VIRTUAL TABLE item_search USING fts5(title, body, content='item_text', content_rowid='id',"
    "  tokenize='han_bigram', columnsize=0);"
    "CREATE TABLE search_backlog(below INTEGER NOT NULL);"
    "INSERT INTO search_backlog SELECT rowid + 1 FROM items ORDER BY rowid DESC LIMIT 1;"
    "CREATE TRIGGER item_search_insert AFTER INSERT ON items"
    "  WHEN NOT EXISTS (SELECT 1 FROM search_backlog WHERE new.rowid < below) BEGIN"
    "  INSERT INTO item_search(rowid, title, body)"
    "  VALUES(new.rowid, html_text(new.title), html_text(new.description));"
    "END;"
    "CREATE TRIGGER item_search_delete AFTER DELETE ON items"
    "  WHEN NOT EXISTS (SELECT 1 FROM search_backlog WHERE old.rowid < below) BEGIN"
    "  INSERT INTO item_search(item_search, rowid, title, body)"
    "  VALUES('delete', old.rowid, html_text(old.title), html_text(old.description));"
    "END;"
    "CREATE TRIGGER item_search_update AFTER UPDATE OF title, description ON items"
    "  WHEN NOT EXISTS (SELECT 1 FROM search_backlog WHERE old.rowid < below) BEGIN"
    "  INSERT INTO item_search(item_search, rowid, title, body)"
    "  VALUES('delete', old.rowid, html_text(old.title), html_text(old.description));"
    "  INSERT INTO item_search(rowid, title, body)"
    "  VALUES(new.rowid, html_text(new.title), html_text(new.description));"
    "END;",
};
constexpr int kStepCount = static_cast<int>(sizeof kSteps / sizeof kSteps[0]);
static_assert(kStepCount == kArchiveSchemaVersion, "one step per layout");

bool RunStep(CSqliteDb& db, int from) {
  if (db.Exec("BEGIN IMMEDIATE") != SQLITE_OK) return false;
  std::int64_t version = 0;
  // Another connection may have migrated meanwhile: the version is read again under the write lock.
  if (db.QueryInt("PRAGMA user_version", version) && version != from) return db.Exec("ROLLBACK") == SQLITE_OK;
  const std::string setVersion = "PRAGMA user_version = " + std::to_string(from + 1);
  if (db.Exec(kSteps[from]) != SQLITE_OK || db.Exec(setVersion.c_str()) != SQLITE_OK ||
      db.Exec("COMMIT") != SQLITE_OK) {
    db.Exec("ROLLBACK");
    return false;
  }
  return true;
}

}  // namespace

SchemaResult MigrateSchema(CSqliteDb& db) {
  for (;;) {
    std::int64_t version = 0;
    if (!db.QueryInt("PRAGMA user_version", version)) return SchemaResult::kFailed;
    if (version == kArchiveSchemaVersion) return SchemaResult::kCurrent;
    if (version > kArchiveSchemaVersion || version < 0) return SchemaResult::kNewer;
    if (!RunStep(db, static_cast<int>(version))) return SchemaResult::kFailed;
  }
}

}  // namespace newssvc
