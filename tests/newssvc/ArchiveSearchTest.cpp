// Searching the archive: Chinese words of one, two and more characters through the index, Latin words
// case-folded, phrases, the filters, and the index kept in step by retention and built for an older file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "libs/newssvc/archive/ArchiveSchema.h"
#include "libs/newssvc/archive/HanBigramTokenizer.h"
#include "libs/newssvc/archive/NewsArchive.h"
#include "libs/newssvc/query/HeadlineRecord.h"
#include "port/CodePage.h"
#include "tests/libs/TempDir.h"
#include "tests/newssvc/ServiceFixture.h"

namespace newssvc_test {
namespace {

using newssvc::UtcSeconds;

constexpr UtcSeconds kDay = 1796428800;  // 2026-12-05 00:00 UTC

struct Item {
  const char* provider;
  const char* key;
  int hour;  // on kDay
  const char* title;
  const char* description;  // markup, as feeds give it
  const char* symbol;
};

const Item kItems[] = {
    {"A", "hon", 1, "鴻海十一月營收 年增一成", "<p>營收創同期新高</p>", "2317"},
    {"A", "tsmc", 2, "台積電CoWoS擴產", "<b>先進封裝</b>需求強", "2330"},
    {"B", "tsmc2", 3, "台積電法說會", "<a href='http://x/'>外資</a>看好 ＣｏＷｏＳ 產能", "2330"},
    {"B", "flow", 4, "外資買超 台股", "外資今日買超百億", ""},
    {"B", "apart", 5, "外資 賣超", "買超個股 鴻", ""},
    {"A", "latin", 6, "Apple results", "<span class='x'>iPhone</span> sales 2330", "AAPL"},
    {"A", "old", -30, "鴻海舊聞", "", "2317"},
};

std::vector<newssvc::ArchiveBatch> Batches() {
  std::vector<newssvc::ArchiveBatch> batches{{"A", {}}, {"B", {}}};
  for (const Item& source : kItems) {
    newssvc::ArchiveItem item;
    item.key = source.key;
    item.published = kDay + source.hour * 3600;
    item.firstSeen = item.published;
    item.title = source.title;
    item.link = std::string("http://news.example/") + source.key;
    item.description = source.description;
    if (*source.symbol) item.symbols = {source.symbol};
    batches[source.provider[0] == 'A' ? 0 : 1].items.push_back(item);
  }
  return batches;
}

newssvc::ArchiveSearch S(const char* words, std::vector<std::string> providers = {}, const char* symbol = "",
                         UtcSeconds from = 0, UtcSeconds to = 0, int limit = 0) {
  return {words, std::move(providers), symbol, from, to, limit};
}

std::vector<std::string> Keys(const newssvc::CNewsArchive& archive, newssvc::ArchiveSearch search) {
  if (search.to == 0) search.to = kDay + 86400;
  if (search.limit == 0) search.limit = 100;
  std::vector<newssvc::SearchHit> hits;
  EXPECT_TRUE(archive.Search(search, hits)) << search.words;
  std::vector<std::string> keys;
  for (const newssvc::SearchHit& hit : hits) keys.push_back(hit.item.key);
  return keys;
}

class ArchiveSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_archive.Open());
    ASSERT_TRUE(m_archive.Store(Batches(), {}));
  }
  TempDir m_dir;
  newssvc::CNewsArchive m_archive{m_dir.path().string(), 36500};
};

struct SearchCase {
  newssvc::ArchiveSearch search;
  std::vector<std::string> keys;  // newest first
};

TEST_F(ArchiveSearch, FindsWordsOfEveryLengthPhrasesAndFolded_ThroughTheFilters) {
  const UtcSeconds dayStart = kDay;
  const SearchCase cases[] = {
      {S("鴻海"), {"hon", "old"}},             // two characters, at a run's start
      {S("營收"), {"hon"}},                    // in the title and in the rendered content
      {S("鴻"), {"apart", "hon", "old"}},      // one character, alone in its run too
      {S("電"), {"tsmc2", "tsmc"}},            // one character, the last of its run
      {S("海鴻"), {}},                         // the characters in another order
      {S("台積電"), {"tsmc2", "tsmc"}},        // a phrase of bigrams
      {S("台積電 CoWoS"), {"tsmc2", "tsmc"}},  // mixed, every word must match; full-width folded
      {S("台積電CoWoS"), {"tsmc"}},            // written together: one phrase across the scripts
      {S("外資買超"), {"flow"}},               // a phrase that is one run
      {S("\"外資 賣超\""), {"apart"}},         // a quoted phrase: the words next to each other
      {S("\"results Apple\""), {}},
      {S("\"Apple results\""), {"latin"}},
      {S("外資　買超"), {"apart", "flow"}},  // the ideographic space separates words
      {S("cowos"), {"tsmc2", "tsmc"}},
      {S("IPHONE"), {"latin"}},
      {S("2330"), {"latin"}},                      // digits as a word; symbols are no text
      {S("2"), {}},                                // a word is matched whole, not as a prefix
      {S("span"), {}},                             // markup is not text
      {S("。 \"\""), {}},                          // nothing to search for
      {S("外資", {"B"}, "", 0, 0, 1), {"apart"}},  // at most one
      {S("台積電", {"A", "C"}), {"tsmc"}},         // of the providers listed
      {S("外資", {}, "2330"), {"tsmc2"}},          // tagged with the symbol
      {S("鴻海", {}, "", dayStart), {"hon"}},      // published from the day
      {S("鴻海", {}, "", 0, dayStart), {"old"}},   // before it
  };
  for (const SearchCase& c : cases) EXPECT_EQ(Keys(m_archive, c.search), c.keys) << c.search.words;
}

TEST_F(ArchiveSearch, HitsCarryTheirRecordAndASnippetWithTheMatchesMarked) {
  std::vector<newssvc::SearchHit> hits;
  ASSERT_TRUE(m_archive.Search({"外資 百億", {}, "", 0, kDay + 86400, 10}, hits));
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].provider, "B");
  EXPECT_EQ(hits[0].item.serial, 2);
  EXPECT_EQ(hits[0].item.link, "http://news.example/flow");
  EXPECT_EQ(hits[0].snippet, "\x02外資\x03今日買超\x02百億\x03");
}

TEST_F(ArchiveSearch, AnItemRetentionDeletedIsNoLongerFoundAndTheIndexStaysSound) {
  // Retention on opening, its period ending within the day before kDay: only "old" is past it.
  const auto now =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  newssvc::CNewsArchive later(m_dir.path().string(), static_cast<int>((now - kDay) / 86400 + 1));
  ASSERT_TRUE(later.Open());
  newssvc::CSqliteDb db;
  ASSERT_TRUE(db.Open(m_archive.Path(), false));
  db.SetBusyTimeout(10000);  // the maintenance gives the freed pages back after the deletion
  std::int64_t items = 0;
  ASSERT_TRUE(Eventually([&] { return db.QueryInt("SELECT count(*) FROM items", items) && items == 6; }));
  EXPECT_EQ(Keys(m_archive, S("鴻海")), std::vector<std::string>{"hon"});
  EXPECT_EQ(db.Exec("UPDATE items SET description = '<i>鴻海</i>' WHERE key = 'flow'"), 0);
  EXPECT_EQ(Keys(m_archive, S("鴻海")), (std::vector<std::string>{"flow", "hon"}));
  EXPECT_EQ(db.Exec("INSERT INTO item_search(item_search, rank) VALUES('integrity-check', 1)"), 0) << db.ErrorText();
}

// A text's tokens (of its first `size` bytes; all when negative) as the index takes them, joined with spaces;
// a token at its predecessor's position has a "+" in front.
std::string DocumentTokens(const std::string& text, int size = -1) {
  struct Joiner : newssvc::SearchTokenSink {
    int Token(const char* token, int size, int, int, bool colocated) override {
      joined += (joined.empty() ? "" : " ") + std::string(colocated ? "+" : "") + std::string(token, size);
      return 0;
    }
    std::string joined;
  } sink;
  newssvc::TokenizeSearchText(text.data(), size < 0 ? static_cast<int>(text.size()) : size,
                              newssvc::TokenizeFor::kDocument, sink);
  return sink.joined;
}

// The edges of each class of characters: Han-like runs, letters and digits, separators, broken UTF-8.
TEST(SearchTokenizer, TellsRunsWordsAndSeparatorsApartAtTheEdgesOfTheirRanges) {
  const std::pair<const char*, const char*> rows[] = {
      {"\u2E80\u4DBF\u3400", "\u2E80\u4DBF \u4DBF\u3400 +\u3400"},
      {"\uF900\uAC00 \uD7AF", "\uF900\uAC00 +\uAC00 \uD7AF"},
      {"\u2FDF\u4E00\uFAFF\U00020000A", "\u2FDF\u4E00 \u4E00\uFAFF \uFAFF\U00020000 +\U00020000 a"},
      {"\u3040\u3000\u303F\uFF01\uFE30\uFE6F\u2000\u2BFF\u00BF\uFF00\u30FF", "\u3040 \u30FF"},
      {"0Z9a-z\uFF10\uFF3A\uFF41", "0z9a z0za"},
      {"\u00C0\u00C1 \uFE70\u2C00 \u1FFF", "\u00C0\u00C1 \uFE70\u2C00 \u1FFF"},
      {"a\xC0\x80"
       "b\xED\xA0\x80"
       "c\xF4\x90\x80\x80"
       "d\xE0\xA0\x80\xE4\xB8",
       "a b c d\u0800"},
  };
  for (const auto& row : rows) EXPECT_EQ(DocumentTokens(row.first), row.second) << row.first;
  EXPECT_EQ(DocumentTokens("ab", 1), "a");  // the text ends at its size, not at a NUL
}

// The layout the archive had before it was searched, as that version wrote it, with more items than the
// maintenance indexes in one batch.
TEST(ArchiveSearchSchema, AnArchiveWrittenWithoutTheIndexIsIndexedAfterItOpens) {
  TempDir dir;
  newssvc::CSqliteDb db;
  ASSERT_TRUE(db.Open(dir.path().string() + "/" + newssvc::CNewsArchive::kFileName, true));
  ASSERT_EQ(db.Exec("CREATE TABLE items("
                    "  provider TEXT NOT NULL, serial INTEGER NOT NULL, key TEXT NOT NULL,"
                    "  published INTEGER NOT NULL, first_seen INTEGER NOT NULL,"
                    "  title TEXT NOT NULL, link TEXT NOT NULL, description TEXT NOT NULL, symbols TEXT NOT NULL);"
                    "CREATE UNIQUE INDEX items_by_serial ON items(provider, serial);"
                    "CREATE UNIQUE INDEX items_by_key ON items(provider, key);"
                    "CREATE INDEX items_by_date ON items(provider, published, serial);"
                    "CREATE TABLE item_symbols("
                    "  symbol TEXT NOT NULL, provider TEXT NOT NULL, published INTEGER NOT NULL,"
                    "  serial INTEGER NOT NULL, PRIMARY KEY(symbol, provider, published, serial)) WITHOUT ROWID;"
                    "CREATE TABLE feeds("
                    "  provider TEXT PRIMARY KEY, etag TEXT NOT NULL, last_modified TEXT NOT NULL,"
                    "  url TEXT NOT NULL, next_poll INTEGER NOT NULL, last_error TEXT NOT NULL,"
                    "  source TEXT NOT NULL, failures INTEGER NOT NULL, gone INTEGER NOT NULL);"
                    "CREATE TABLE serials(provider TEXT PRIMARY KEY, last INTEGER NOT NULL) WITHOUT ROWID;"
                    "INSERT INTO items VALUES('A', 1, 'k1', 1796432400, 1796432400, '外資動向', 'l', "
                    "  '<p>鴻海 CoWoS</p>', '');"
                    "WITH RECURSIVE n(i) AS (SELECT 2 UNION ALL SELECT i + 1 FROM n WHERE i < 601) "
                    "INSERT INTO items SELECT 'A', i, 'k' || i, 1796432400, 1796432400, '台股 ' || i, 'l', '', '' "
                    "FROM n;"
                    "INSERT INTO serials VALUES('A', 601);"
                    "PRAGMA user_version = 2;"),
            0)
      << db.ErrorText();
  // The step the opening thread runs leaves the items to the maintenance thread; retention may delete one
  // before it is indexed.
  ASSERT_EQ(newssvc::MigrateSchema(db), newssvc::SchemaResult::kCurrent);
  const char* const countFound = "SELECT count(*) FROM item_search WHERE item_search MATCH '台股'";
  std::int64_t found = -1;
  EXPECT_TRUE(db.QueryInt(countFound, found));
  EXPECT_EQ(found, 0);
  EXPECT_EQ(db.Exec("DELETE FROM items WHERE serial = 2"), 0);

  newssvc::CNewsArchive archive(dir.path().string(), 36500);
  ASSERT_TRUE(archive.Open());
  ASSERT_TRUE(archive.Store({{"A", {Batches()[0].items[0]}}}, {}));
  db.SetBusyTimeout(10000);
  EXPECT_TRUE(Eventually([&] { return db.QueryInt(countFound, found) && found == 599; })) << found;
  EXPECT_EQ(Keys(archive, S("鴻海 cowos")), std::vector<std::string>{"k1"});
  EXPECT_EQ(Keys(archive, S("外資")), std::vector<std::string>{"k1"});
  EXPECT_EQ(Keys(archive, S("營收")), std::vector<std::string>{"hon"});
  // Checked against the items once every one is indexed: a removal of a row never indexed would show.
  EXPECT_EQ(db.Exec("INSERT INTO item_search(item_search, rank) VALUES('integrity-check', 1)"), 0) << db.ErrorText();
}

// Through the service: Big5 words in, records with their Big5 snippets out.
TEST_F(ArchiveTest, TheSessionSearchesInBig5AndAnswersRecordsWithSnippets) {
  m_folder.Write("a.xml", RssFeed("utf-8", {kA1, {"h1", "鴻海營收", "Sat, 05 Dec 2026 10:00:00 +0800", {"2317"}}}));
  ASSERT_TRUE(Eventually([&] { return Titles("A", 0).size() == 2; }));
  Headlines list;
  ASSERT_EQ(m_session->SearchHeadline(port::Big5FromUtf8("營收"), "A,Z", "", 20261205, 20261205, 0, list), 0);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(newssvc::BlockTitle(list[0]), port::Big5FromUtf8("鴻海營收"));
  EXPECT_EQ(newssvc::BlockSnippet(list[0]), port::Big5FromUtf8("鴻海\x02營收\x03"));
  EXPECT_STREQ(list[0].szProviderID, "A");
  EXPECT_STREQ(list[0].szReserved, "2317");
  newssvc::FreeHeadlines(list);
  EXPECT_EQ(m_session->SearchHeadline(port::Big5FromUtf8("營收"), "", "", 20261206, 0, 0, list), 0);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(m_session->SearchHeadline("first", "Z", "", 0, 0, 0, list), -1);
}

}  // namespace
}  // namespace newssvc_test
