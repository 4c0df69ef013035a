// CNewsArchive: the service's items and per-feed state in one SQLite file, kept across restarts.
//
// One writer per process: Store runs on the ingest thread only, each call one transaction, so an item is
// durable once Store returns true. The archive numbers the items inside that transaction, so every process
// on one file gives an item the same serial and no serial is given twice. Writers of other processes are
// waited for (kWriterBusyMilliseconds), on the ingest thread. Queries run on any thread, each on a read
// connection of a small pool (the file is in WAL mode, so readers never wait for the writer). Long work
// (the integrity check of a file just opened, retention, indexing for search the items of a file written
// before the index, giving freed pages back, checkpoints) runs on CArchiveMaintenance's thread.
//
// Faults never stop the service: a write that fails (locked, disk full, read-only file) returns false and
// is logged once; the caller keeps its items and calls again, and the archive logs once more when writing
// works again. A file that is not a database, or fails the integrity check, is renamed with a timestamp
// and a new archive started; it is never truncated. The log is RSSNewsSvc_archive.log beside the file.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "libs/newssvc/archive/ArchiveMaintenance.h"
#include "libs/newssvc/archive/Sqlite.h"
#include "libs/newssvc/common/Dates.h"
#include "libs/newssvc/source/FeedState.h"
#include "libs/vxlog/VXLog.h"
#include "port/Mutex.h"

namespace newssvc {

// Serials at and above this one are never given by the archive: a process numbers the items it could not
// write yet from here.
constexpr long kFirstMemorySerial = 1L << 30;

// One item as the archive keeps it; text in UTF-8 as the feed gave it.
struct ArchiveItem {
  long serial = 0;  // the provider's item number, 1, 2, ... in the order first archived; given by Store
  std::string key;  // identity within the provider
  UtcSeconds published = 0;
  UtcSeconds firstSeen = 0;
  std::string title;
  std::string link;
  std::string description;
  std::vector<std::string> symbols;
};

struct ArchiveBatch {
  std::string provider;
  std::vector<ArchiveItem> items;
  long after = 0;  // new serials come after this one too (the highest the caller holds: a file moved aside
                   // took its numbers with it)
};

// A query: one provider's items published in [from, to), optionally only those tagged with `symbol`,
// newest first (equal times: higher serial first), at most `limit`.
struct ArchiveQuery {
  std::string provider;
  std::string symbol;
  UtcSeconds from = 0;
  UtcSeconds to = 0;
  int limit = 0;
};

// A search: items whose title or content text holds every word and phrase of `words` (UTF-8; see
// SearchExpression), of any of `providers` (none: every provider), tagged with `symbol` when it is given,
// published in [from, to), newest first (equal times: higher serial first), at most `limit`.
struct ArchiveSearch {
  std::string words;
  std::vector<std::string> providers;
  std::string symbol;
  UtcSeconds from = 0;
  UtcSeconds to = 0;
  int limit = 0;
};

// Marks around each match in a search snippet: STX and ETX, which no feed's text holds (XML does not allow
// them) and which every code page, Big5 included, keeps as they are.
constexpr char kMatchStart = '\x02';
constexpr char kMatchEnd = '\x03';

struct SearchHit {
  std::string provider;
  ArchiveItem item;
  std::string snippet;  // a few words of the title or the content text around a match, the matches marked
};

class CNewsArchive {
 public:
  static constexpr const char* kFileName = "RSSNewsArchive.db";
  static constexpr int kDefaultRetentionDays = 90;
  // How long the writer waits for a lock another process holds (longer than any of its commits or
  // retention batches take) before it gives up for this time; after a failure, until a write succeeds,
  // only kFaultBusyMilliseconds.
  static constexpr int kWriterBusyMilliseconds = 2000;
  static constexpr int kFaultBusyMilliseconds = 50;
  // Where a damaged file at `path` is moved when it is found at `when`: "<path>.damaged-20261205T233000Z".
  static std::string AsidePath(const std::string& path, UtcSeconds when);

  CNewsArchive(std::string folder, int retentionDays);
  ~CNewsArchive();
  CNewsArchive(const CNewsArchive&) = delete;
  CNewsArchive& operator=(const CNewsArchive&) = delete;

  // Opens the archive, creating it when missing and moving a damaged file aside. False when it cannot be
  // used now; Store tries again.
  bool Open();
  const std::string& Path() const { return m_strPath; }

  // The ingest thread. Writes the items and the states in one transaction and sets each item's serial: the
  // one the archive holds its key under (another process wrote it first), else the provider's next. On
  // failure nothing is written and the items are left as they were.
  bool Store(std::vector<ArchiveBatch>& batches, const std::map<std::string, FeedState>& states);
  bool Store(std::vector<ArchiveBatch>&& batches, const std::map<std::string, FeedState>& states) {
    return Store(batches, states);
  }
  // Items published before this are past the retention period: retention deletes them, and they are not
  // to be taken in.
  UtcSeconds OldestKept() const;

  // Any thread; false when the archive cannot be read (the caller answers from memory).
  bool Query(const ArchiveQuery& query, std::vector<ArchiveItem>& items) const;
  bool Search(const ArchiveSearch& search, std::vector<SearchHit>& hits) const;
  bool Find(const std::string& provider, long serial, ArchiveItem& item, bool& found) const;
  // Which of `keys` the provider has archived under a serial up to `upTo`.
  bool KnownKeys(const std::string& provider, const std::vector<std::string>& keys, std::vector<std::string>& known,
                 long upTo = kFirstMemorySerial) const;
  // The last serial the provider gave (0: none) and its newest publication time (0: none).
  bool LastSerial(const std::string& provider, long& serial) const;
  bool Newest(const std::string& provider, UtcSeconds& published) const;
  bool LoadFeedStates(std::map<std::string, FeedState>& states) const;

 private:
  struct Reader;
  class ReaderLease;
  struct Writer;

  enum class OpenResult { kReady, kDamaged, kFailed };
  OpenResult OpenWriter();
  // Opens the writer; a file opened for the first time (at Open, or at a write when it could not be opened
  // then) is checked and gets its maintenance thread. A damaged file is moved aside for a new one. False
  // when there is no file to write.
  bool OpenForWriting();
  bool MoveAside(const std::string& reason) REQUIRES(m_fileLock);
  void Recover(const std::string& reason);
  // Has the next write move the file aside, for `reason`.
  void MarkDamaged(const std::string& reason);
  void LogLine(const std::string& text);
  bool WriteAll(const std::vector<ArchiveBatch>& batches, const std::map<std::string, FeedState>& states,
                std::vector<long>& serials) REQUIRES(m_writeMtx);
  bool WriteItems(const ArchiveBatch& batch, std::vector<long>& serials) REQUIRES(m_writeMtx);
  void NoteFailure(const std::string& what);
  void NoteSuccess();
  // Checks a small file at once and starts the maintenance thread, which checks a larger one later. False,
  // with SQLite's report in `damage`, when the check found the file damaged (the caller recovers).
  bool CheckAndStartMaintenance(std::string& damage);
  void StartMaintenance(std::optional<std::chrono::milliseconds> checkAfter);
  std::unique_ptr<Reader> TakeReader() const EXCLUDES(m_poolMtx);
  void ReturnReader(std::unique_ptr<Reader> reader) const EXCLUDES(m_poolMtx);
  // The returned hits, in the order of `rowids`, with their snippets.
  static bool ReadHits(Reader& reader, const std::string& expression, const std::vector<std::int64_t>& rowids,
                       std::vector<SearchHit>& hits);

  const std::string m_strFolder;
  const std::string m_strPath;
  const int m_nRetentionDays;
  std::once_flag m_logOpened;
  CVXLog m_log;

  port::Mutex m_writeMtx;              // this process's writers (ingest, retention) take turns
  std::unique_ptr<Writer> m_writer;    // the ingest thread's
  bool m_bFaulted = false;             // the ingest thread's: a failure was logged and no write succeeded since
  std::string m_strLastError;          // the ingest thread's: why the last write failed
  bool m_bJournalLogged = false;       // the ingest thread's: a file that stays out of WAL mode was logged
  bool m_bAsideFailureLogged = false;  // the writing thread's: a damaged file that could not be moved was logged
  std::atomic<bool> m_bDamaged{false};
  port::Mutex m_damageMtx;
  std::string m_strDamage GUARDED_BY(m_damageMtx);  // why the file is to be moved aside

  // Shared by every query, exclusive while the file is moved aside.
  mutable port::SharedMutex m_fileLock;
  mutable port::Mutex m_poolMtx;
  mutable std::vector<std::unique_ptr<Reader>> m_idleReaders GUARDED_BY(m_poolMtx);
  CArchiveMaintenance m_maintenance;
};

}  // namespace newssvc
