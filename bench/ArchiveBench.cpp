// The news service archive's performance figures, each beside its baseline in the same run and reported
// as the median over repetitions:
//   8. a date query for one provider at 1,000,000 archived items against the same query at 1,000 (the day
//      asked for holds the same 20 items in both; the rest are other days and other providers);
//   9. ingesting a poll's batch (50 new items: the archive's seen-before lookups, then one transaction)
//      against a bare SQLite insert loop of the same rows in one transaction, on the same settings;
//   10. a service start on 1,000,000 archived items (open, first poll, categories, first date query)
//      against the same start on an empty archive.
// The program prints the figures' table rows and exits with 1 when one is out of its bound.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/CollectingReporter.h"
#include "bench/FigureTable.h"
#include "libs/newssvc/HeadlineRecord.h"
#include "libs/newssvc/RssNewsSession.h"
#include "libs/newssvc/archive/NewsArchive.h"
#include "libs/newssvc/archive/Sqlite.h"

namespace {

namespace fs = std::filesystem;
using newssvc::ArchiveBatch;
using newssvc::ArchiveItem;
using newssvc::UtcSeconds;

constexpr int kProviders = 10;
constexpr int kDayItems = 20;            // P0's items on the day asked for
constexpr UtcSeconds kDay = 1796428800;  // 2026-12-05 00:00 UTC
constexpr long kDayValue = 20261205;     // in the records' zone, UTC
constexpr int kBatch = 50;
constexpr int kRepetitions = 5;

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
// provider and 100 days.
class ArchiveFolder {
 public:
  explicit ArchiveFolder(int items) {
    m_path = fs::temp_directory_path() / ("vxrss-bench-" + std::to_string(items) + "-" +
                                          std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(m_path);
    std::string config = "<?xml version=\"1.0\"?><RSSNewsService timeZone=\"+00:00\"><Category name=\"All\">";
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

 private:
  void Fill(int items) {
    newssvc::CNewsArchive archive(Path(), 36500);
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
};

// A session started on the folder: open, first poll, categories, the first date query.
void StartSession(const std::string& folder) {
  newssvc::CRssNewsSession session(CString(folder.c_str()), CString(), CString());
  session.Open();
  session.Connect();
  for (int i = 0; i < session.GetCategoryCount(); ++i) {
    IRSSNewsCategory* category = session.GetCategory(i);
    if (category) category->Release();
  }
  std::vector<NewsHeadline> list;
  session.GetProviderHeadline_Date("P0", kDayValue, list);
  if (list.size() != kDayItems) std::fprintf(stderr, "start: %zu items on the day\n", list.size());
  newssvc::FreeHeadlines(list);
  session.Disconnect();
}

// An open session whose date queries are measured.
class QueryFixture {
 public:
  explicit QueryFixture(const std::string& folder) : m_session(CString(folder.c_str()), CString(), CString()) {
    m_session.Open();
  }
  void Query() {
    std::vector<NewsHeadline> list;
    m_session.GetProviderHeadline_Date("P0", kDayValue, list);
    if (list.size() != kDayItems) std::fprintf(stderr, "query: %zu items on the day\n", list.size());
    newssvc::FreeHeadlines(list);
  }

 private:
  newssvc::CRssNewsSession m_session;
};

// Figure 7: the archive's ingest of a batch and the bare loop, each on a file of its own.
class IngestFixture {
 public:
  IngestFixture() : m_folder(0), m_bare(0), m_archive(m_folder.Path(), 36500) {
    m_archive.Open();
    newssvc::CNewsArchive schema(m_bare.Path(), 36500);  // the same tables in the bare loop's file
    schema.Open();
  }
  void ArchiveBatch() {
    newssvc::ArchiveBatch batch{"P0", NextBatch()};
    std::vector<std::string> keys, known;
    for (const ArchiveItem& item : batch.items) keys.push_back(item.key);
    m_archive.KnownKeys("P0", keys, known);
    m_archive.Store({batch}, {});
  }
  void OpenBare() {
    m_db.Open(m_bare.Path() + "/RSSNewsArchive.db", false);
    m_db.Exec("PRAGMA journal_mode = WAL");
    m_db.Exec("PRAGMA synchronous = FULL");
    m_insertItem = newssvc::CSqliteStatement(
        m_db,
        "INSERT INTO items(provider, serial, key, published, first_seen, title, link, description, symbols) "
        "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    m_insertSymbol = newssvc::CSqliteStatement(
        m_db, "INSERT INTO item_symbols(symbol, provider, published, serial) VALUES(?1, ?2, ?3, ?4)");
  }
  void BareBatch() {
    m_db.Exec("BEGIN");
    for (const ArchiveItem& item : NextBatch()) {
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

 private:
  std::vector<ArchiveItem> NextBatch() {
    std::vector<ArchiveItem> items;
    for (int i = 0; i < kBatch; ++i) {
      ++m_serial;
      items.push_back(MakeItem(m_serial, kDay + m_serial));
    }
    return items;
  }
  ArchiveFolder m_folder, m_bare;
  newssvc::CNewsArchive m_archive;
  newssvc::CSqliteDb m_db;
  newssvc::CSqliteStatement m_insertItem, m_insertSymbol;
  long m_serial = 0;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("setting up: archives of 1,000 and 1,000,000 items...\n");
  std::fflush(stdout);
  const auto setup = std::chrono::steady_clock::now();
  ArchiveFolder small(1000), large(1000000), empty(0);
  std::printf("set up in %.0f s\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - setup).count());
  {
    QueryFixture smallQuery(small.Path()), largeQuery(large.Path());
    IngestFixture ingest;
    ingest.OpenBare();
    StartSession(empty.Path());  // the empty archive's first start archives the feed's items
    benchmark::RegisterBenchmark("date_query/items:1000", [&](benchmark::State& s) {
      for (auto _ : s) smallQuery.Query();
    })->Repetitions(kRepetitions);
    benchmark::RegisterBenchmark("date_query/items:1000000", [&](benchmark::State& s) {
      for (auto _ : s) largeQuery.Query();
    })->Repetitions(kRepetitions);
    benchmark::RegisterBenchmark("ingest/archive_batch", [&](benchmark::State& s) {
      for (auto _ : s) ingest.ArchiveBatch();
    })->Repetitions(kRepetitions);
    benchmark::RegisterBenchmark("ingest/bare_insert_loop", [&](benchmark::State& s) {
      for (auto _ : s) ingest.BareBatch();
    })->Repetitions(kRepetitions);
    benchmark::RegisterBenchmark("start/empty_archive",
                                 [&](benchmark::State& s) {
                                   for (auto _ : s) StartSession(empty.Path());
                                 })
        ->Repetitions(kRepetitions)
        ->Iterations(10);
    benchmark::RegisterBenchmark("start/items:1000000",
                                 [&](benchmark::State& s) {
                                   for (auto _ : s) StartSession(large.Path());
                                 })
        ->Repetitions(kRepetitions)
        ->Iterations(10);
    CCollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double querySmall = reporter.MedianSeconds("date_query/items:1000");
    const double queryLarge = reporter.MedianSeconds("date_query/items:1000000");
    const double ingestArchive = reporter.MedianSeconds("ingest/archive_batch");
    const double ingestBare = reporter.MedianSeconds("ingest/bare_insert_loop");
    const double startEmpty = reporter.MedianSeconds("start/empty_archive");
    const double startLarge = reporter.MedianSeconds("start/items:1000000");
    const std::vector<bench::Figure> figures = {
        {"date query, 1,000,000 vs 1,000 archived items", queryLarge / querySmall, 2, "x",
         bench::Format("%.1f us vs %.1f us", queryLarge * 1e6, querySmall * 1e6)},
        {"ingest of a 50-item poll vs bare insert loop", ingestArchive / ingestBare, 2, "x",
         bench::Format("%.0f items/s vs %.0f items/s", kBatch / ingestArchive, kBatch / ingestBare)},
        {"service start, 1,000,000 vs empty archive", startLarge / startEmpty, 2, "x",
         bench::Format("%.2f ms vs %.2f ms", startLarge * 1e3, startEmpty * 1e3)},
    };
    return bench::PrintFigures(8, figures) ? 0 : 1;  // after vxrss_bench's figures
  }
}
