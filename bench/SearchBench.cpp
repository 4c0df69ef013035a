// The archive's search figures, over an archive of 1,000,000 items of Chinese news text (made-up sentences of
// common two-character words, a title of 8 and a content of 30 words in a <p>): 1 item in 1,000 holds the
// company name 鴻海, another 1 in 1,000 the Latin word CoWoS, so each query finds 1,000 items, of which it
// returns the newest 50.
//   15. the two-character query 鴻海 through the archive's search (index, rows, snippets) against a LIKE '%鴻海%'
//       scan of the same table for the same 50 items, the legs in turns;
//   16. the same for "cowos" against LIKE '%cowos%' (SQLite's LIKE ignores ASCII case, as the index does);
//   17. the index's pages against the bytes of the text it indexes (titles and content text);
//   18. the archive's ingest of 50-item batches (its lookups, one transaction each, WAL and full sync) into a
//       file with the index against a file whose index trigger was dropped, the legs in turns, bounded by the
//       same ingest into a file indexed with FTS5's trigram tokenizer.
// The query legs count the archive's rows before and after and must find them unchanged; each ingest leg must
// add exactly its rows; both query legs must return the same items. Otherwise the figure is out.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/FigureTable.h"
#include "libs/newssvc/archive/NewsArchive.h"
#include "libs/newssvc/archive/Sqlite.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr long kItems = 1000000;
constexpr long kEvery = 1000;  // one item in kEvery holds each query's word
constexpr int kLimit = 50;
constexpr int kPairs = 9;
constexpr int kQueriesPerLeg = 20;
constexpr int kBatch = 50;
constexpr int kBatchesPerLeg = 40;
constexpr newssvc::UtcSeconds kStart = 1788912000;  // 2026-09-09: 1,000,000 items, one every 8 seconds

// Common words of market news; none of them holds 鴻 or 海, and none is a Latin word.
const char* const kWords[] = {
    "營收", "外資", "台股", "法人", "買超", "賣超", "股價", "漲停", "跌停", "成交", "指數", "央行", "利率", "通膨",
    "美元", "匯率", "半導", "晶片", "封裝", "產能", "訂單", "出貨", "毛利", "獲利", "財報", "季度", "年增", "月減",
    "市場", "投資", "基金", "債券", "期貨", "選擇", "權證", "電子", "金融", "航運", "鋼鐵", "塑化", "生技", "觀光",
    "記憶", "面板", "伺服", "雲端", "人工", "智慧", "電動", "汽車", "手機", "供應", "客戶", "需求", "庫存", "價格",
    "政策", "經濟", "景氣", "預估", "成長", "衰退", "董事", "股東", "配息", "除權", "上市", "櫃買", "公司", "集團"};

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct Text {
  std::string title, description;
};

// Item `n`'s text, always the same for the same n.
Text MakeText(long n) {
  std::mt19937 random(static_cast<unsigned>(n));
  std::uniform_int_distribution<std::size_t> word(0, sizeof kWords / sizeof kWords[0] - 1);
  Text text;
  for (int i = 0; i < 8; ++i) text.title += kWords[word(random)];
  if (n % kEvery == 7) text.title.insert(6, "鴻海");
  text.description = "<p>";
  for (int i = 0; i < 30; ++i) text.description += std::string(kWords[word(random)]) + (i % 6 == 5 ? "，" : "");
  if (n % kEvery == 501) text.description += " CoWoS";
  text.description += "</p>";
  return text;
}

// An archive file with the search index (the archive's own layout), filled in one transaction.
class SearchFile {
 public:
  // The archive is opened (and its maintenance thread has checked the file) before the file is filled, so
  // that no integrity check of a large file runs while the figures are measured.
  SearchFile(const std::string& name, long items) : m_folder(MakeFolder(name)), m_archive(m_folder.string(), 36500) {
    m_archive.Open();
    m_db.Open(File(), false);
    m_db.SetBusyTimeout(10000);
    m_insert = newssvc::CSqliteStatement(
        m_db,
        "INSERT INTO items(provider, serial, key, published, first_seen, title, link, description, symbols) "
        "VALUES(?1, ?2, ?3, ?4, ?4, ?5, ?3, ?6, '')");
    if (items > 0) Fill(items);
  }
  ~SearchFile() {
    m_insert = {};
    m_db.Close();
    std::error_code ignored;
    fs::remove_all(m_folder, ignored);
  }
  const newssvc::CNewsArchive& Archive() const { return m_archive; }
  std::string File() const { return (m_folder / newssvc::CNewsArchive::kFileName).string(); }
  newssvc::CSqliteDb& Db() { return m_db; }
  long Rows() {
    std::int64_t rows = -1;
    return m_db.QueryInt("SELECT count(*) FROM items", rows) ? static_cast<long>(rows) : -1;
  }
  // The first items, in one transaction with a large page cache and without waiting for the disk.
  void Fill(long count) {
    m_db.Exec("PRAGMA cache_size = -1048576; PRAGMA synchronous = OFF");
    Insert(count);
    m_db.Exec("PRAGMA cache_size = -2000; PRAGMA synchronous = FULL; PRAGMA wal_checkpoint(TRUNCATE)");
  }
  // `count` more items through the archive's own ingest, one transaction.
  void Store(long count) {
    newssvc::ArchiveBatch batch{"P0", {}};
    for (long i = 0; i < count; ++i, ++m_next) {
      const Text text = MakeText(m_next);
      newssvc::ArchiveItem item;
      item.key = "https://news.example/" + std::to_string(m_next);
      item.published = kStart + 8 * m_next;
      item.firstSeen = item.published;
      item.title = text.title;
      item.link = item.key;
      item.description = text.description;
      batch.items.push_back(std::move(item));
    }
    m_archive.Store({batch}, {});
  }
  // `count` more items, in one transaction.
  void Insert(long count) {
    m_db.Exec("BEGIN IMMEDIATE");
    for (long i = 0; i < count; ++i, ++m_next) {
      const Text text = MakeText(m_next);
      const std::string key = "https://news.example/" + std::to_string(m_next);
      m_insert.Bind(1, "P" + std::to_string(m_next % 10))
          .Bind(2, std::int64_t{m_next / 10 + 1})
          .Bind(3, key)
          .Bind(4, kStart + 8 * m_next)
          .Bind(5, text.title)
          .Bind(6, text.description)
          .Run();
    }
    m_db.Exec("COMMIT");
  }

 private:
  static fs::path MakeFolder(const std::string& name) {
    const fs::path folder = fs::temp_directory_path() / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
  }
  fs::path m_folder;
  newssvc::CNewsArchive m_archive;
  newssvc::CSqliteDb m_db;
  newssvc::CSqliteStatement m_insert;
  long m_next = 0;
};

// What a figure's legs found wrong; empty when every count and every answer was as expected.
struct Checks {
  std::string fault;
  void Expect(bool ok, const std::string& what) {
    if (!ok && fault.empty()) fault = what;
  }
};

using Keys = std::vector<std::string>;

// Figures 15 and 16: the archive's search against the scan, each leg between two counts of the rows.
bench::Figure QueryFigure(SearchFile& file, const std::string& word, const char* what) {
  const newssvc::CNewsArchive& archive = file.Archive();
  newssvc::CSqliteStatement scan(file.Db(),
                                 "SELECT key FROM items WHERE title LIKE ?1 OR description LIKE ?1 "
                                 "ORDER BY published DESC, serial DESC LIMIT ?2");
  Checks checks;
  Keys searched, scanned;
  const auto around = [&](const std::function<void()>& query, int times) {
    const long before = file.Rows();
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < times; ++i) query();
    const double seconds = SecondsSince(start) / times;
    const long after = file.Rows();
    checks.Expect(before == kItems && after == kItems,
                  "rows " + std::to_string(before) + " before and " + std::to_string(after) + " after a leg");
    return seconds;
  };
  const auto search = [&] {
    std::vector<newssvc::SearchHit> hits;
    archive.Search({word, {}, "", 0, kStart + 8 * kItems, kLimit}, hits);
    searched.clear();
    for (const newssvc::SearchHit& hit : hits) searched.push_back(hit.item.key);
    checks.Expect(hits.empty() || hits[0].snippet.find('\x02') != std::string::npos, "a snippet without its match");
  };
  const auto like = [&] {
    scan.Bind(1, "%" + word + "%").Bind(2, std::int64_t{kLimit});
    scanned.clear();
    while (scan.Step() == SQLITE_ROW) scanned.push_back(scan.Text(0));
    scan.Reset();
  };
  const bench::Paired paired = bench::MeasurePaired(
      kPairs, [&] { return around(search, kQueriesPerLeg); }, [&] { return around(like, 1); });
  checks.Expect(searched.size() == kLimit && searched == scanned,
                "the search found " + std::to_string(searched.size()) + " items, the scan " +
                    std::to_string(scanned.size()) + (searched == scanned ? "" : ", not the same"));
  return {what,
          paired.ratio,
          0.01,
          "x",
          bench::Format("%.2f ms vs %.0f ms", paired.a * 1e3, paired.b * 1e3) +
              bench::Format(" (pairs %.4f-%.4f x)", paired.lowRatio, paired.highRatio) +
              bench::Format("; %.0f items, %.0f returned", static_cast<double>(kItems), kLimit),
          checks.fault};
}

// Figure 17: the index's pages (dbstat) against the UTF-8 bytes of the titles and content text.
bench::Figure SizeFigure(SearchFile& file) {
  std::int64_t index = 0, text = 0, items = 0;
  file.Db().QueryInt("SELECT sum(pgsize) FROM dbstat WHERE name LIKE 'item_search%'", index);
  file.Db().QueryInt(
      "SELECT sum(length(CAST(title AS BLOB)) + length(CAST(html_text(description) AS BLOB))) FROM items", text);
  file.Db().QueryInt("SELECT sum(pgsize) FROM dbstat WHERE name = 'items'", items);
  const double ratio = text > 0 ? static_cast<double>(index) / static_cast<double>(text) : 0;
  return {"search index vs its text, 1,000,000 items",
          ratio,
          3,
          "x",
          bench::Format("%.0f MB vs %.0f MB", static_cast<double>(index) / 1e6, static_cast<double>(text) / 1e6) +
              bench::Format(" (the items table: %.0f MB, %.0f B per item)", static_cast<double>(items) / 1e6,
                            static_cast<double>(items) / kItems),
          text > 0 && index > 0 ? "" : "the sizes could not be read"};
}

// Figure 18: the archive's ingest of 50-item batches into a file with the index, into one whose index triggers
// were dropped, and into one whose index uses FTS5's own trigram tokenizer, the tokenizer SQLite offers for text
// without spaces, each leg adding its rows; the legs in turns, a different one first in each round. The bound is
// the trigram index's cost measured in the same run: an n-gram index gives Chinese at least one token per
// character, which FTS5 writes at a cost several times a bare row's (even its unicode61 tokenizer, which makes a
// Han run one token and finds no word in it, ingests at well over twice the bare cost).
bench::Figure IngestFigure() {
  SearchFile indexed("vxrss-search-bench-indexed", 0), bare("vxrss-search-bench-bare", 0),
      trigram("vxrss-search-bench-trigram", 0);
  bare.Db().Exec("DROP TRIGGER item_search_insert");
  Checks checks;
  checks.Expect(trigram.Db().Exec("DROP TABLE item_search; CREATE VIRTUAL TABLE item_search USING fts5(title, body, "
                                  "content='item_text', content_rowid='id', tokenize='trigram', columnsize=0)") == 0,
                "the trigram index could not be made");
  const auto leg = [&](SearchFile& file) {
    const long before = file.Rows();
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kBatchesPerLeg; ++i) file.Store(kBatch);
    const double seconds = SecondsSince(start) / (kBatchesPerLeg * kBatch);
    checks.Expect(file.Rows() == before + kBatchesPerLeg * kBatch, "an ingest leg did not add its rows");
    return seconds;
  };
  SearchFile* const files[] = {&indexed, &bare, &trigram};
  std::vector<double> seconds[3], indexedRatios, againstTrigram;
  for (int round = 0; round < kPairs; ++round) {
    double taken[3] = {};
    for (int i = 0; i < 3; ++i) taken[(round + i) % 3] = leg(*files[(round + i) % 3]);
    for (int i = 0; i < 3; ++i) seconds[i].push_back(taken[i]);
    indexedRatios.push_back(taken[0] / taken[1]);
    againstTrigram.push_back(taken[0] / taken[2]);
  }
  // The bare leg is short and its disk syncs vary, so the two indexes are compared with each other round by
  // round: the bound is the figure scaled by how the trigram index's time compares with the archive's.
  const double ratio = bench::Median(indexedRatios), trigramShare = bench::Median(againstTrigram);
  const double bound = std::round(ratio / trigramShare * 100) / 100;
  return {"ingest with the search index vs without",
          ratio,
          bound,
          "x",
          bench::Format("%.0f items/s vs %.0f items/s", 1 / bench::Median(seconds[0]), 1 / bench::Median(seconds[1])) +
              bench::Format(" (pairs %.2f-%.2f x)", *std::min_element(indexedRatios.begin(), indexedRatios.end()),
                            *std::max_element(indexedRatios.begin(), indexedRatios.end())) +
              bench::Format("; the trigram index: %.0f items/s, this index takes %.2f of its time",
                            1 / bench::Median(seconds[2]), trigramShare),
          checks.fault};
}

}  // namespace

int main() {
  const bool han = bench::Selected(15), latin = bench::Selected(16), size = bench::Selected(17),
             ingest = bench::Selected(18);
  bench::Figure hanFigure, latinFigure, sizeFigure, ingestFigure;
  if (han || latin || size) {
    std::printf("setting up: an archive of 1,000,000 items with its search index...\n");
    std::fflush(stdout);
    const Clock::time_point setup = Clock::now();
    SearchFile file("vxrss-search-bench-large", kItems);
    std::printf("set up in %.0f s: %ld rows\n", SecondsSince(setup), file.Rows());
    std::fflush(stdout);
    if (han) hanFigure = QueryFigure(file, "鴻海", "search 鴻海 vs LIKE scan, 1,000,000 items");
    if (latin) latinFigure = QueryFigure(file, "cowos", "search cowos vs LIKE scan, 1,000,000 items");
    if (size) sizeFigure = SizeFigure(file);
  }
  if (ingest) ingestFigure = IngestFigure();
  // After vxrss_fetch_bench's and vxrss_bench's figures.
  return bench::PrintFigures(15, {han ? &hanFigure : nullptr, latin ? &latinFigure : nullptr,
                                  size ? &sizeFigure : nullptr, ingest ? &ingestFigure : nullptr})
             ? 0
             : 1;
}
