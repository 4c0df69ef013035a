// The archive: items and feed state across restarts, retention, and the faults the service rides out (a
// write lock held elsewhere, a file that is not a sound database).
#include <gtest/gtest.h>

#include <iterator>

#include "libs/newssvc/FeedCatalog.h"
#include "libs/newssvc/archive/NewsArchive.h"
#include "port/FileRead.h"
#include "port/Path.h"
#include "tests/newssvc/ServiceFixture.h"

namespace newssvc_test {
namespace {

namespace fs = std::filesystem;

// Titles are text that may hold '<'; content an earlier version archived with markup is cleaned when read.
TEST_F(ArchiveTest, ItemsComeBackByDateSymbolAndSerialInTheNextSessionAndAreNotNewThere) {
  m_folder.Write("a.xml",
                 RssFeed("utf-8", {{"a0", "old&amp;lt;er", "Fri, 04 Dec 2026 10:00:00 +0800", {"2330"}}, kA1}));
  ASSERT_TRUE(Eventually([&] { return Titles("A", 20261204) == std::vector<std::string>{"old<er"}; }));
  Restart();
  newssvc::CSqliteDb db;
  ASSERT_TRUE(db.Open(ArchivePath(), false));
  ASSERT_EQ(db.Exec("UPDATE items SET description = description || '<script>x()</script>' WHERE key = 'a0'"), 0);
  m_folder.Write("a.xml", RssFeed("utf-8", {{"a3", "third", "Sun, 06 Dec 2026 09:00:00 +0800", {}}}));
  ASSERT_TRUE(m_sink.WaitFor("provider A 20261206"));
  EXPECT_EQ(Titles("A", 20261204), std::vector<std::string>{"old<er"});
  EXPECT_EQ(Titles("A", 0), (std::vector<std::string>{"third", "first", "old<er"}));

  Headlines list;
  ASSERT_EQ(m_session->GetSymbolHeadline_Date("A", "2330", 20261204, list), 0);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_STREQ(list[0].szReserved, "2330");
  CString content;
  ASSERT_EQ(m_session->GetNewsContent("A", list[0].lKey1, list[0].lKey2, content), 0);
  EXPECT_EQ(content.str(), "<a href='http://news.example/a0'>old&lt;er</a>body of a0");
  newssvc::FreeHeadlines(list);
  ASSERT_EQ(m_session->GetProviderHeadline_Date("A", 20261206, list), 0);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].lKey1, 3);  // numbered after the two items of the first session

  // Every item of the feed was archived before: nothing to report after another restart.
  m_folder.Write("a.xml", RssFeed("utf-8", {{"a3", "third", "Sun, 06 Dec 2026 09:00:00 +0800", {}}, kA1}));
  Restart();
  SettleDown();
  EXPECT_EQ(m_sink.Count("provider A 20261206"), 1);
  EXPECT_EQ(m_sink.Count("provider A 20261205"), 0);
  EXPECT_EQ(Titles("A", 0).size(), 3u);
  m_session->UpdateProviderCache();  // reports the provider's newest date, which only the archive knows now
  EXPECT_TRUE(Eventually([&] { return m_sink.Count("provider A 20261206") == 2; }));
}

TEST_F(ArchiveTest, FeedStatesSurviveARestartAndFileFeedsKeepTheirValidators) {
  Stop();  // the catalogs below are the archive's only users
  const CString config((m_folder.Path() + "/RSSNewsSvc.xml").c_str());
  // A catalog on an archive of its own, after its first poll.
  const auto poll = [&](newssvc::CNewsArchive& archive, newssvc::CFeedCatalog& catalog) {
    ASSERT_TRUE(archive.Open());
    ASSERT_TRUE(catalog.LoadConfig());
    catalog.AttachArchive(&archive);
    catalog.Poll(true, 0);
  };
  newssvc::FeedState state;
  {
    newssvc::CNewsArchive archive(m_folder.Path(), 0);
    newssvc::CFeedCatalog catalog(config, m_folder.Path().c_str());
    poll(archive, catalog);
    state = catalog.GetFeedState("A");
    EXPECT_EQ(state.etag, std::to_string(fs::file_size(m_folder.Path() + "/a.xml")));
    state.url = "https://moved.example/a";
    state.nextPollMs = 1796500000000;
    catalog.SetFeedState("A", state);
    catalog.Poll(false, 0);  // written with this poll
    catalog.Poll(false, 0);
    EXPECT_TRUE(catalog.GetFeedState("A") == state);
  }
  newssvc::CNewsArchive archive(m_folder.Path(), 0);
  newssvc::CFeedCatalog catalog(config, m_folder.Path().c_str());
  std::map<std::string, newssvc::FeedState> states;
  ASSERT_TRUE(archive.Open() && archive.LoadFeedStates(states));
  EXPECT_TRUE(states["A"] == state);
  EXPECT_EQ(states["C"].lastError, "the feed file is missing");
  poll(archive, catalog);
  EXPECT_TRUE(catalog.GetFeedState("A") == state);
}

TEST_F(ArchiveTest, RetentionDeletesOnlyItemsPastItsDaysWithTheirSymbols) {
  TempDir dir;
  // A folder named in Big5, with a lead byte that Windows' ANSI code page and Latin-1 read differently: the
  // archive must be where the module's own file calls look for it.
  const std::string folder = dir.path().string() + "/\xB7\x73\xBB\x44\x95\x40";
  const auto now =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  constexpr int kOld = newssvc::CArchiveMaintenance::kBatchItems * 2 + 7;  // several batches
  newssvc::ArchiveBatch batch{"P", {}};
  for (long serial = 1; serial <= kOld + 3; ++serial) {
    newssvc::ArchiveItem item;
    item.serial = serial;
    item.key = "k" + std::to_string(serial);
    item.published = serial <= kOld ? now - 91 * 86400 : now - 89 * 86400;
    item.firstSeen = item.published + serial;
    item.symbols = {"2330", "2317"};
    batch.items.push_back(item);
  }
  {
    newssvc::CNewsArchive archive(folder, 0);
    ASSERT_TRUE(archive.Open());
    ASSERT_TRUE(archive.Store({batch}, {}));
  }
  std::string bytes;
  ASSERT_TRUE(port::ReadFileBounded(port::JoinPath(CString(folder), "RSSNewsArchive.db"), 1 << 26, bytes));
  // The maintenance thread deletes what is past the retention period (90 days) when the archive opens.
  newssvc::CNewsArchive archive(folder, 0);
  ASSERT_TRUE(archive.Open());
  newssvc::CSqliteDb db;
  ASSERT_TRUE(db.Open(archive.Path(), false));
  std::int64_t items = 0, symbols = 0;
  EXPECT_TRUE(Eventually([&] { return db.QueryInt("SELECT count(*) FROM items", items) && items == 3; }));
  ASSERT_TRUE(db.QueryInt("SELECT count(*) FROM item_symbols", symbols));
  EXPECT_EQ(symbols, 6);
  std::vector<newssvc::ArchiveItem> found;
  ASSERT_TRUE(archive.Query({"P", "2317", now - 100 * 86400, now, 10}, found));
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found.front().serial, kOld + 3);  // newest first
  EXPECT_EQ(found.front().firstSeen, found.front().published + kOld + 3);
}

TEST_F(ArchiveTest, AWriteLockHeldElsewhereDelaysWritingButNeitherReportsNorQueries) {
  newssvc::CSqliteDb other;
  ASSERT_TRUE(other.Open(ArchivePath(), false));
  ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), 0);
  m_session->BookProviderNews("A");
  m_folder.Write("a.xml", RssFeed("utf-8", {kA1, kA2}));
  ASSERT_TRUE(m_sink.WaitFor("provider A 20261206"));
  EXPECT_EQ(Titles("A", 20261206), std::vector<std::string>{"second"});  // from memory
  m_folder.Write("a.xml", RssFeed("utf-8", {kA3}));
  ASSERT_TRUE(m_sink.WaitFor("provider A 20261207"));
  EXPECT_EQ(Titles("A", 0), (std::vector<std::string>{"third", "second", "first"}));
  EXPECT_EQ(Titles("A", 20261206), std::vector<std::string>{"second"});
  EXPECT_EQ(LogLines("cannot write"), 1);

  ASSERT_EQ(other.Exec("COMMIT"), 0);
  EXPECT_TRUE(Eventually([&] { return ArchivedKeys() == std::vector<std::string>{"a1", "a2", "a3"}; }));
  EXPECT_TRUE(Eventually([&] { return LogLines("is written again") == 1; }));
}

TEST_F(ArchiveTest, AnArchiveThatCannotBeOpenedLeavesEverythingToMemory) {
  Stop();
  fs::remove(ArchivePath());
  fs::create_directory(ArchivePath());  // a folder where the file should be
  Restart();
  m_folder.Write("a.xml", RssFeed("utf-8", {kA1, kA2}));
  ASSERT_TRUE(m_sink.WaitFor("provider A 20261206"));
  EXPECT_EQ(Titles("A", 0), (std::vector<std::string>{"second", "first"}));
  EXPECT_EQ(LogLines("cannot open"), 1);
}

// A file that is no archive at all, and an archive with a damaged page: each is renamed with a timestamp
// (never truncated) and the items go into a new, sound archive.
struct Damage {
  const char* name;
  bool wholeFile;  // replace the whole file, else overwrite one page in the middle
};

class DamagedArchive : public ArchiveTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedArchive, IsMovedAsideAndANewArchiveTakesTheItems) {
  m_folder.Write("a.xml", NumberedFeed(1, 400, 300));
  ASSERT_TRUE(Eventually([&] { return ArchivedKeys().size() == 401u; }));  // with a1
  Stop();
  std::string bytes(std::istreambuf_iterator<char>(std::ifstream(ArchivePath(), std::ios::binary).rdbuf()),
                    std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 16384u);
  if (GetParam().wholeFile)
    bytes = std::string(20000, 'z');
  else
    bytes.replace(bytes.size() / 2 / 4096 * 4096, 4096, std::string(4096, '\x55'));
  m_folder.Write("RSSNewsArchive.db", bytes);
  Restart();
  m_folder.Write("a.xml", NumberedFeed(401, 401));
  ASSERT_TRUE(Eventually([&] { return Archived("g401"); }));
  std::vector<std::uintmax_t> aside;  // the file itself; its -wal and -shm go along when a connection had left them
  for (const auto& entry : fs::directory_iterator(m_folder.Path())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("RSSNewsArchive.db.damaged-", 0) == 0 && name.back() != 'l' && name.back() != 'm')
      aside.push_back(entry.file_size());
  }
  EXPECT_EQ(aside, std::vector<std::uintmax_t>{bytes.size()});
  EXPECT_EQ(IntegrityCheck(), "ok");
  EXPECT_EQ(LogLines("is damaged"), 1);
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedArchive,
                         ::testing::Values(Damage{"NotADatabase", true}, Damage{"DamagedPage", false}),
                         [](const ::testing::TestParamInfo<Damage>& info) { return info.param.name; });

}  // namespace
}  // namespace newssvc_test
