// The news service archive's performance figures, each a ratio to its baseline measured in the same run,
// the two legs in turns (median of the pairs' ratios):
//   8. a date query for one provider at 1,000,000 archived items against the same query at 1,000 (the day
//      asked for holds the same 20 items in both; the rest are other days and other providers);
//   9. ingesting a poll's batch (50 new items: the archive's seen-before lookups, then one transaction)
//      against a bare SQLite insert loop of the same rows in one transaction, on the same settings and
//      checkpointing as the archive does;
//   10. a service start on 1,000,000 archived items (open, first poll, categories, first date query, close)
//      against the same start on an empty archive.
// Every leg counts the archive's rows before and after it: the queries and starts must leave them as they
// were (the configuration keeps items for a century, so retention deletes none), each ingest must add its
// items. A figure whose count is off is out, whatever it measured. VXRSS_FIGURES=8,10 measures only those.
// The program prints the figures' table rows and exits with 1 when one is out.
#include <sqlite3.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bench/FigureTable.h"
#include "libs/newssvc/archive/ArchiveMaintenance.h"
#include "libs/newssvc/archive/NewsArchive.h"
#include "libs/newssvc/archive/Sqlite.h"
#include "libs/newssvc/query/HeadlineRecord.h"
#include "libs/newssvc/session/RssNewsSession.h"
#include "port/Mutex.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using newssvc::ArchiveBatch;
using newssvc::ArchiveItem;
using newssvc::UtcSeconds;

constexpr int kProviders = 10;
constexpr int kDayItems = 20;            // P0's items on the day asked for
constexpr UtcSeconds kDay = 1796428800;  // 2026-12-05 00:00 UTC
constexpr long kDayValue = 20261205;     // in the records' zone, UTC
constexpr int kRetentionDays = 36500;    // nothing the bench archives is old enough to be deleted
constexpr int kBatch = 50;
constexpr int kPairs = 9;
constexpr int kQueriesPerLeg = 200;
constexpr int kBatchesPerLeg = 200;  // several checkpoints in each leg
constexpr int kStartsPerLeg = 10;
// The archive asks for a checkpoint when a commit leaves this many pages in the write-ahead log.
constexpr int kCheckpointPages = 1000;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

ArchiveItem MakeItem(long serial, UtcSeconds published) {
  ArchiveItem item;
  item.serial = serial;
  item.key = "https://news.example/item/" + std::to_string(serial);
  item.published = published;
  item.firstSeen = published;
  item.title = "Headline number " + std::to_string(serial) + " about the market";
  item.link = item.key;
  item.description = std::string(200, 'd');
  item.symbols = {"2330"};
  return item;
}

// A folder with a configuration of kProviders providers (P0 reads feed.xml, the others nothing) and an
// archive of `items` items: kDayItems of P0 on the day asked for, the rest before it, spread over every
// provider and 100 days. It knows how many rows its archive should hold.
class ArchiveFolder {
 public:
  explicit ArchiveFolder(int items) : m_expected(items) {
    m_path = fs::temp_directory_path() /
             ("vxrss-bench-" + std::to_string(items) + "-" + std::to_string(Clock::now().time_since_epoch().count()));
    fs::create_directories(m_path);
    std::string config = "<?xml version=\"1.0\"?><RSSNewsService timeZone=\"+00:00\" archiveDays=\"" +
                         std::to_string(kRetentionDays) + "\"><Category name=\"All\">";
    for (int p = 0; p < kProviders; ++p)
      config +=
          "<Provider id=\"P" + std::to_string(p) + "\" name=\"p\" source=\"" + (p == 0 ? "feed.xml" : "none") + "\"/>";
    std::ofstream(m_path / "RSSNewsSvc.xml") << config << "</Category></RSSNewsService>";
    std::string feed = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>t</title>";
    for (int i = 0; i < kDayItems; ++i)
      feed += "<item><guid>https://news.example/item/" + std::to_string(i + 1) +
              "</guid><title>t</title><pubDate>Sat, 05 Dec 2026 09:00:00 GMT</pubDate></item>";
    std::ofstream(m_path / "feed.xml") << feed << "</channel></rss>";
    if (items > 0) Fill(items);
  }
  ~ArchiveFolder() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
  }
  std::string Path() const { return m_path.string(); }
  std::string File() const { return (m_path / newssvc::CNewsArchive::kFileName).string(); }

  long Expected() const { return m_expected; }
  void ExpectMore(long added) { m_expected += added; }

  // The archive's items now; -1 when it cannot be read.
  long Rows() const {
    newssvc::CSqliteDb db;
    std::int64_t rows = -1;
    if (!db.Open(File(), false) || !db.QueryInt("SELECT count(*) FROM items", rows)) return -1;
    return static_cast<long>(rows);
  }

 private:
  void Fill(int items) {
    newssvc::CNewsArchive archive(Path(), kRetentionDays);
    archive.Open();
    std::vector<long> serials(kProviders, 0);
    std::vector<ArchiveBatch> batches(kProviders);
    for (int p = 0; p < kProviders; ++p) batches[p].provider = "P" + std::to_string(p);
    for (int i = 0; i < kDayItems; ++i) batches[0].items.push_back(MakeItem(++serials[0], kDay + 9 * 3600 + i));
    for (int i = kDayItems; i < items; ++i) {
      const int p = i % kProviders;
      batches[p].items.push_back(MakeItem(++serials[p], kDay - 100 * 86400 + (i / kProviders) % (100 * 86400 - 1)));
      if (i % 50000 == 0 || i + 1 == items) {
        archive.Store(batches, {});
        for (ArchiveBatch& batch : batches) batch.items.clear();
      }
    }
  }
  fs::path m_path;
  long m_expected;
};

// What a figure's legs found wrong with their row counts; empty when every count was as expected.
class RowCheck {
 public:
  // Runs `leg` between two counts of the folder's rows: the first must be what the folder expects, the
  // second that and `added`. The leg's seconds.
  double Around(ArchiveFolder& folder, long added, const std::function<double()>& leg) {
    const long expected = folder.Expected();
    const long before = folder.Rows();
    const double seconds = leg();
    const long after = folder.Rows();
    folder.ExpectMore(added);
    if ((before != expected || after != expected + added) && m_fault.empty())
      m_fault = "rows " + std::to_string(before) + " before and " + std::to_string(after) + " after a leg, for " +
                std::to_string(expected) + " and " + std::to_string(expected + added);
    m_last = after;
    return seconds;
  }
  const std::string& Fault() const { return m_fault; }
  long LastRows() const { return m_last; }

 private:
  std::string m_fault;
  long m_last = 0;
};

// A session started on the folder: open, first poll, categories, the first date query, close.
// Tells when the session answers a total-headline request: Connect returns before the first poll, and a
// request made after it is answered after that poll, so the answer marks the poll's end.
class FirstPollSink : public IWTRSSNewsSvcEvent {
 public:
  void OnCategoryChange() override {}
  void OnProviderHeadLineChange_Date(const CString&, long) override {}
  void OnNewsContentChange(const CString&, long, long) override {}
  void OnSymbolNewsHeadLineChange_Date(const CString&, const CString&, long) override {}
  void OnSymbolNewsContentChange(const CString&, const CString&, long, long) override {}
  void OnGetTotalHeadLineReq(const CString&, int) override {
    std::lock_guard<std::mutex> lock(m_mtx);
    m_bAnswered = true;
    m_cv.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(m_mtx);
    m_cv.wait(lock, [this] { return m_bAnswered; });
  }

 private:
  std::mutex m_mtx;
  std::condition_variable m_cv;
  bool m_bAnswered = false;
};

void StartSession(const std::string& folder) {
  newssvc::CRssNewsSession session(CString(folder.c_str()), CString(), CString());
  FirstPollSink sink;
  session.Open();
  session.Login(&sink);
  session.Connect();
  if (session.ReqTotalHeadline("P0", 1) == 0) sink.Wait();
  for (int i = 0; i < session.GetCategoryCount(); ++i) {
    IRSSNewsCategory* category = session.GetCategory(i);
    if (category) category->Release();
  }
  std::vector<NewsHeadline> list;
  session.GetProviderHeadline_Date("P0", kDayValue, list);
  if (list.size() != kDayItems) std::fprintf(stderr, "start: %zu items on the day\n", list.size());
  newssvc::FreeHeadlines(list);
  session.Logout(&sink);
  session.Disconnect();
}

double TimeStarts(const std::string& folder) {
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kStartsPerLeg; ++i) StartSession(folder);
  return SecondsSince(start) / kStartsPerLeg;
}

// An open session whose date queries are measured.
class QueryFixture {
 public:
  explicit QueryFixture(const std::string& folder) : m_session(CString(folder.c_str()), CString(), CString()) {
    m_session.Open();
  }
  double TimeQueries() {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kQueriesPerLeg; ++i) Query();
    return SecondsSince(start) / kQueriesPerLeg;
  }

 private:
  void Query() {
    std::vector<NewsHeadline> list;
    m_session.GetProviderHeadline_Date("P0", kDayValue, list);
    if (list.size() != kDayItems) std::fprintf(stderr, "query: %zu items on the day\n", list.size());
    newssvc::FreeHeadlines(list);
  }
  newssvc::CRssNewsSession m_session;
};

// Figure 9: the archive's ingest of a batch and the bare loop, each on a file of its own. The bare loop's
// connection has the archive's settings, and its write-ahead log is checkpointed as the archive's is: on a
// thread of its own (the archive's maintenance), asked for by a commit that leaves kCheckpointPages pages.
class IngestFixture {
 public:
  IngestFixture() : m_folder(0), m_bare(0), m_archive(m_folder.Path(), kRetentionDays) {
    m_archive.Open();
    newssvc::CNewsArchive schema(m_bare.Path(), kRetentionDays);  // the same tables in the bare loop's file
    schema.Open();
  }
  ~IngestFixture() {
    m_checkpoints.Stop();
    if (m_db.Handle()) sqlite3_wal_hook(m_db.Handle(), nullptr, nullptr);
  }
  ArchiveFolder& ArchiveSide() { return m_folder; }
  ArchiveFolder& BareSide() { return m_bare; }

  void OpenBare() {
    m_db.Open(m_bare.File(), false);
    m_db.Exec("PRAGMA journal_mode = WAL");
    m_db.Exec("PRAGMA synchronous = FULL");
    m_insertItem = newssvc::CSqliteStatement(
        m_db,
        "INSERT INTO items(provider, serial, key, published, first_seen, title, link, description, symbols) "
        "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    m_insertSymbol = newssvc::CSqliteStatement(
        m_db, "INSERT INTO item_symbols(symbol, provider, published, serial) VALUES(?1, ?2, ?3, ?4)");
    newssvc::CArchiveMaintenance::Settings settings;
    settings.path = m_bare.File();
    settings.retentionDays = kRetentionDays;
    settings.onDamage = [](const std::string& report) { std::fprintf(stderr, "bare file: %s\n", report.c_str()); };
    settings.onError = [](const std::string& text) { std::fprintf(stderr, "bare file: %s\n", text.c_str()); };
    settings.writeLock = &m_writeLock;
    m_checkpoints.Start(std::move(settings));
    sqlite3_wal_hook(m_db.Handle(), &OnWalCommit, &m_checkpoints);
  }
  double TimeArchiveBatches() {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kBatchesPerLeg; ++i) ArchiveBatch();
    return SecondsSince(start) / kBatchesPerLeg;
  }
  double TimeBareBatches() {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kBatchesPerLeg; ++i) BareBatch();
    return SecondsSince(start) / kBatchesPerLeg;
  }

 private:
  static int OnWalCommit(void* checkpoints, sqlite3*, const char*, int pages) {
    if (pages >= kCheckpointPages) static_cast<newssvc::CArchiveMaintenance*>(checkpoints)->RequestCheckpoint();
    return SQLITE_OK;
  }
  void ArchiveBatch() {
    newssvc::ArchiveBatch batch{"P0", NextBatch(m_archiveSerial)};
    std::vector<std::string> keys, known;
    for (const ArchiveItem& item : batch.items) keys.push_back(item.key);
    m_archive.KnownKeys("P0", keys, known);
    m_archive.Store({batch}, {});
  }
  void BareBatch() {
    port::MutexLock lock(m_writeLock);
    m_db.Exec("BEGIN IMMEDIATE");
    for (const ArchiveItem& item : NextBatch(m_bareSerial)) {
      m_insertItem.Bind(1, std::string("P0"))
          .Bind(2, std::int64_t{item.serial})
          .Bind(3, item.key)
          .Bind(4, item.published)
          .Bind(5, item.firstSeen)
          .Bind(6, item.title)
          .Bind(7, item.link)
          .Bind(8, item.description)
          .Bind(9, item.symbols[0])
          .Run();
      m_insertSymbol.Bind(1, item.symbols[0])
          .Bind(2, std::string("P0"))
          .Bind(3, item.published)
          .Bind(4, std::int64_t{item.serial})
          .Run();
    }
    m_db.Exec("COMMIT");
  }
  static std::vector<ArchiveItem> NextBatch(long& serial) {
    std::vector<ArchiveItem> items;
    for (int i = 0; i < kBatch; ++i) {
      ++serial;
      items.push_back(MakeItem(serial, kDay + serial));
    }
    return items;
  }
  ArchiveFolder m_folder, m_bare;
  newssvc::CNewsArchive m_archive;
  port::Mutex m_writeLock;  // as the archive's: its writer and its maintenance take turns
  newssvc::CArchiveMaintenance m_checkpoints;
  newssvc::CSqliteDb m_db;
  newssvc::CSqliteStatement m_insertItem, m_insertSymbol;
  long m_archiveSerial = 0, m_bareSerial = 0;
};

std::string Spread(const bench::Paired& paired) {
  return bench::Format(" (pairs %.2f-%.2f x", paired.lowRatio, paired.highRatio) + ")";
}

bench::Figure QueryFigure(ArchiveFolder& large, ArchiveFolder& small) {
  QueryFixture largeQuery(large.Path()), smallQuery(small.Path());
  RowCheck largeRows, smallRows;
  const bench::Paired paired = bench::MeasurePaired(
      kPairs, [&] { return largeRows.Around(large, 0, [&] { return largeQuery.TimeQueries(); }); },
      [&] { return smallRows.Around(small, 0, [&] { return smallQuery.TimeQueries(); }); });
  return {"date query, 1,000,000 vs 1,000 archived items",
          paired.ratio,
          2,
          "x",
          bench::Format("%.1f us vs %.1f us", paired.a * 1e6, paired.b * 1e6) + Spread(paired) +
              bench::Format("; rows kept: %.0f and %.0f", largeRows.LastRows(), smallRows.LastRows()),
          largeRows.Fault() + smallRows.Fault()};
}

bench::Figure IngestFigure() {
  IngestFixture ingest;
  ingest.OpenBare();
  RowCheck archiveRows, bareRows;
  const long added = static_cast<long>(kBatch) * kBatchesPerLeg;
  const bench::Paired paired = bench::MeasurePaired(
      kPairs,
      [&] { return archiveRows.Around(ingest.ArchiveSide(), added, [&] { return ingest.TimeArchiveBatches(); }); },
      [&] { return bareRows.Around(ingest.BareSide(), added, [&] { return ingest.TimeBareBatches(); }); });
  return {"ingest of a 50-item poll vs bare insert loop",
          paired.ratio,
          2,
          "x",
          bench::Format("%.0f items/s vs %.0f items/s", kBatch / paired.a, kBatch / paired.b) + Spread(paired) +
              bench::Format("; rows at the end: %.0f and %.0f", archiveRows.LastRows(), bareRows.LastRows()),
          archiveRows.Fault() + bareRows.Fault()};
}

bench::Figure StartFigure(ArchiveFolder& large, ArchiveFolder& empty) {
  RowCheck largeRows, emptyRows;
  const bench::Paired paired = bench::MeasurePaired(
      kPairs, [&] { return largeRows.Around(large, 0, [&] { return TimeStarts(large.Path()); }); },
      [&] { return emptyRows.Around(empty, 0, [&] { return TimeStarts(empty.Path()); }); });
  return {"service start, 1,000,000 vs empty archive",
          paired.ratio,
          2,
          "x",
          bench::Format("%.2f ms vs %.2f ms", paired.a * 1e3, paired.b * 1e3) + Spread(paired) +
              bench::Format("; rows kept: %.0f and %.0f", largeRows.LastRows(), emptyRows.LastRows()),
          largeRows.Fault() + emptyRows.Fault()};
}

}  // namespace

int main() {
  const bool queries = bench::Selected(8), ingest = bench::Selected(9), starts = bench::Selected(10);
  std::unique_ptr<ArchiveFolder> small, large, empty;
  if (queries || starts) {
    std::printf("setting up: archives of 1,000 and 1,000,000 items...\n");
    std::fflush(stdout);
    const Clock::time_point setup = Clock::now();
    small = std::make_unique<ArchiveFolder>(1000);
    large = std::make_unique<ArchiveFolder>(1000000);
    empty = std::make_unique<ArchiveFolder>(0);
    // One start each before anything is counted: the empty archive's first start archives the feed's items.
    StartSession(large->Path());
    StartSession(empty->Path());
    empty->ExpectMore(kDayItems);
    std::printf("set up in %.0f s: %ld, %ld and %ld rows\n", SecondsSince(setup), large->Rows(), small->Rows(),
                empty->Rows());
  }
  bench::Figure query, ingestFigure, start;
  if (queries) query = QueryFigure(*large, *small);
  if (ingest) ingestFigure = IngestFigure();
  if (starts) start = StartFigure(*large, *empty);
  // After vxrss_bench's figures.
  return bench::PrintFigures(8,
                             {queries ? &query : nullptr, ingest ? &ingestFigure : nullptr, starts ? &start : nullptr})
             ? 0
             : 1;
}
