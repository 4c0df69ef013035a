// The archive: items and feed state across restarts, retention, and the faults the service rides out (a
// write lock held elsewhere, a file that is not a sound database).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iterator>

#include "libs/newssvc/archive/NewsArchive.h"
#include "libs/newssvc/session/FeedCatalog.h"
#include "port/CodePage.h"
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
  Restart();
  m_folder.Write("a.xml", RssFeed("utf-8", {{"a3", "third", "Sun, 06 Dec 2026 09:00:00 +0800", {}}, kA1}));
  SettleDown();
  EXPECT_EQ(m_sink.Count("provider A 20261206"), 1);
  EXPECT_EQ(m_sink.Count("provider A 20261205"), 0);
  EXPECT_EQ(Titles("A", 0).size(), 3u);
  m_session->UpdateProviderCache();  // reports the provider's newest date, which only the archive knows now
  EXPECT_TRUE(Eventually([&] { return m_sink.Count("provider A 20261206") == 2; }));
}

TEST_F(ArchiveTest, FileFeedsKeepTheirValidatorsAndErrorsInTheArchive) {
  Stop();  // the catalog below is the archive's only user
  newssvc::CNewsArchive archive(m_folder.Path(), 0);
  newssvc::CFeedCatalog catalog((m_folder.Path() + "/RSSNewsSvc.xml").c_str(), m_folder.Path().c_str());
  ASSERT_TRUE(archive.Open());
  ASSERT_TRUE(catalog.Config().Load());
  catalog.AttachArchive(&archive);
  catalog.Poll(true, 0);
  std::map<std::string, newssvc::FeedState> states;
  ASSERT_TRUE(archive.LoadFeedStates(states));
  EXPECT_EQ(states["A"].etag, std::to_string(fs::file_size(m_folder.Path() + "/a.xml")));
  EXPECT_EQ(states["A"].lastError, "");
  EXPECT_EQ(states["C"].lastError, "the feed file is missing");
}

TEST_F(ArchiveTest, RetentionDeletesOnlyItemsPastItsDaysWithTheirSymbolsAndTheFileShrinks) {
  TempDir dir;
  // A folder named in Big5, with a lead byte that Windows' ANSI code page and Latin-1 read differently: the
  // archive must be where the module's own file calls look for it.
  const std::string folder = dir.path().string() + "/\xB7\x73\xBB\x44\x95\x40";
  const auto now =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  // Providers in their order: A with nothing old, B with less than a batch, P with several batches.
  const auto batchOf = [now](const std::string& provider, int old) {
    newssvc::ArchiveBatch batch{provider, {}};
    for (long serial = 1; serial <= old + 3; ++serial) {
      newssvc::ArchiveItem item;
      item.serial = serial;
      item.key = "k" + std::to_string(serial);
      item.published = serial <= old ? now - 91 * 86400 : now - 89 * 86400;
      item.firstSeen = item.published + serial;
      item.description = std::string(2000, 'd');
      item.symbols = {"2330", "2317"};
      batch.items.push_back(item);
    }
    return batch;
  };
  constexpr int kOld = newssvc::CArchiveMaintenance::kBatchItems * 2 + 7;
  const CString path = port::JoinPath(CString(folder), "RSSNewsArchive.db");
  std::error_code ignored;
  {
    // A file made before the archive could shrink: the archive changes it once.
    fs::create_directories(port::FileSystemPath(CString(folder)), ignored);
    newssvc::CSqliteDb db;
    ASSERT_TRUE(db.Open(path.str(), true));
    ASSERT_EQ(db.Exec("CREATE TABLE earlier(x)"), 0);
  }
  {
    newssvc::CNewsArchive archive(folder, 0);
    ASSERT_TRUE(archive.Open());
    ASSERT_TRUE(archive.Store({batchOf("A", 0), batchOf("B", 2), batchOf("P", kOld)}, {}));
  }
  const std::uintmax_t full = fs::file_size(port::FileSystemPath(path), ignored);
  ASSERT_GT(full, 2000000u);
  {
    // The maintenance thread deletes what is past the retention period (90 days) when the archive opens.
    newssvc::CNewsArchive archive(folder, 0);
    ASSERT_TRUE(archive.Open());
    newssvc::CSqliteDb db;
    ASSERT_TRUE(db.Open(archive.Path(), false));
    std::int64_t items = 0, symbols = 0;
    EXPECT_TRUE(Eventually([&] { return db.QueryInt("SELECT count(*) FROM items", items) && items == 9; }));
    ASSERT_TRUE(db.QueryInt("SELECT count(*) FROM item_symbols", symbols));
    EXPECT_EQ(symbols, 18);
    std::vector<newssvc::ArchiveItem> found;
    ASSERT_TRUE(archive.Query({"P", "2317", now - 100 * 86400, now, 10}, found));
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found.front().serial, kOld + 3);  // newest first
    EXPECT_EQ(found.front().firstSeen, found.front().published + kOld + 3);
    std::int64_t free = 1;
    EXPECT_TRUE(Eventually([&] { return db.QueryInt("PRAGMA freelist_count", free) && free == 0; }));
  }
  // A write-ahead log left behind means a connection stayed open and the last checkpoint did not run.
  EXPECT_LT(fs::file_size(port::FileSystemPath(path), ignored), full / 4)
      << "write-ahead log left: " << fs::exists(port::FileSystemPath(CString(path.str() + "-wal")), ignored);
}

TEST_F(ArchiveTest, AWriteLockHeldElsewhereIsWaitedForThenItemsAreServedFromMemoryUntilWritten) {
  newssvc::CSqliteDb other;
  ASSERT_TRUE(other.Open(ArchivePath(), false));
  other.SetBusyTimeout(10000);  // the service's own threads may be writing for a moment as it starts
  ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), 0);
  m_session->BookProviderNews("A");
  m_folder.Write("a.xml", RssFeed("utf-8", {kA1, kA2}));
  // While the writer waits for the lock, the item it would write is neither reported nor listed.
  const auto waiting = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  while (std::chrono::steady_clock::now() < waiting) {
    ASSERT_EQ(Titles("A", 0), std::vector<std::string>{"first"});
    ASSERT_EQ(m_sink.Count("provider A 20261206"), 0);
  }
  // Held past the wait, the items are reported and answered from memory.
  ASSERT_TRUE(m_sink.WaitFor("provider A 20261206"));
  EXPECT_EQ(Titles("A", 20261206), std::vector<std::string>{"second"});
  m_folder.Write("a.xml", RssFeed("utf-8", {kA3}));
  ASSERT_TRUE(m_sink.WaitFor("provider A 20261207"));
  EXPECT_EQ(Titles("A", 0), (std::vector<std::string>{"third", "second", "first"}));
  EXPECT_EQ(Titles("A", 20261206), std::vector<std::string>{"second"});
  EXPECT_EQ(LogLines("cannot write"), 1);

  ASSERT_EQ(other.Exec("COMMIT"), 0);
  EXPECT_TRUE(Eventually([&] { return ArchivedKeys() == std::vector<std::string>{"a1", "a2", "a3"}; }));
  EXPECT_TRUE(Eventually([&] { return LogLines("is written again") == 1; }));
  EXPECT_EQ(Titles("A", 0), (std::vector<std::string>{"third", "second", "first"}));
}

// A archive another process keeps locked while this one starts: its items come from memory, under numbers
// the archive never gives, and take the archive's numbers when it can be written.
TEST_F(ArchiveTest, AnArchiveLockedAtStartLeavesItemsToMemoryWithoutTakingArchivedSerials) {
  Stop();  // a1 is archived as item 1
  m_folder.Write("a.xml", RssFeed("utf-8", {kA2}));
  newssvc::CSqliteDb other;
  ASSERT_TRUE(other.Open(ArchivePath(), false));
  ASSERT_EQ(other.Exec("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT"), 0);
  Restart();  // reads a2 while the archive cannot be read
  Headlines memory;
  ASSERT_EQ(m_session->GetProviderHeadline_Date("A", 0, memory), 0);
  ASSERT_EQ(memory.size(), 1u);
  EXPECT_EQ(newssvc::BlockTitle(memory[0]).str(), "second");
  EXPECT_EQ(LogLines("cannot read"), 1);
  other.Close();
  EXPECT_TRUE(Eventually([&] { return ArchivedKeys() == std::vector<std::string>{"a1", "a2"}; }));
  CString content;  // the number it had in memory still opens it
  ASSERT_EQ(m_session->GetNewsContent("A", memory[0].lKey1, memory[0].lKey2, content), 0);
  EXPECT_NE(content.str().find(">second<"), std::string::npos);
  Headlines list;
  ASSERT_EQ(m_session->GetProviderHeadline_Date("A", 0, list), 0);
  ASSERT_EQ(list.size(), 2u);
  for (const NewsHeadline& record : list) {
    ASSERT_EQ(m_session->GetNewsContent("A", record.lKey1, record.lKey2, content), 0);
    EXPECT_NE(content.str().find(">" + newssvc::BlockTitle(record).str() + "<"), std::string::npos) << content.str();
  }
  EXPECT_EQ(list[0].lKey1, 2);
}

TEST_F(ArchiveTest, AnItemPastTheRetentionThatItsFeedStillListsIsNotTakenInAfterARestart) {
  const auto now =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  const newssvc::CivilTime day = newssvc::ToCivil(now - 100 * 86400, 0);
  char date[32];
  std::snprintf(date, sizeof date, "%04d-%02d-%02dT10:00:00Z", day.year, day.month, day.day);
  const TestItem old{"old", "old", date, {}};
  m_folder.Write("a.xml", RssFeed("utf-8", {old, kA1}));
  SettleDown();
  Restart();
  EXPECT_TRUE(Eventually([&] { return !Archived("old"); }));  // past the retention
  m_folder.Write("a.xml", RssFeed("utf-8", {old, kA1, kA2}));
  ASSERT_TRUE(m_sink.WaitFor("provider A 20261206"));
  SettleDown();
  for (const std::string& event : m_sink.Events()) EXPECT_EQ(event, "provider A 20261206");
  EXPECT_EQ(Titles("A", 0), (std::vector<std::string>{"second", "first"}));
  EXPECT_EQ(ArchivedKeys(), (std::vector<std::string>{"a1", "a2"}));
}

TEST_F(ArchiveTest, ANumberThatRetentionFreedIsNotGivenAgainAfterARestart) {
  m_folder.Write("a.xml", RssFeed("utf-8", {kA1, kA2}));
  ASSERT_TRUE(Eventually([&] { return Archived("a2"); }));  // item 2
  Stop();
  {
    newssvc::CSqliteDb db;  // as retention deletes it
    ASSERT_TRUE(db.Open(ArchivePath(), false));
    ASSERT_EQ(db.Exec("DELETE FROM items WHERE key = 'a2'"), 0);
  }
  m_folder.Write("a.xml", RssFeed("utf-8", {kA1}));
  Restart();
  m_folder.Write("a.xml", RssFeed("utf-8", {kA3}));
  ASSERT_TRUE(m_sink.WaitFor("provider A 20261207"));
  Headlines list;
  ASSERT_EQ(m_session->GetProviderHeadline_Date("A", 20261207, list), 0);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].lKey1, 3);
}

TEST_F(ArchiveTest, AFileThatCannotSwitchToAWriteAheadLogIsLoggedOnceAndWrittenAllTheSame) {
  Stop();
  fs::remove(ArchivePath());
  newssvc::CSqliteDb other;  // a reader of a file in rollback-journal mode: no switch while it reads
  ASSERT_TRUE(other.Open(ArchivePath(), true));
  ASSERT_EQ(other.Exec("CREATE TABLE earlier(x); BEGIN; SELECT * FROM earlier"), 0);
  Restart();
  other.Close();
  m_folder.Write("a.xml", RssFeed("utf-8", {kA1, kA2}));
  EXPECT_TRUE(Eventually([&] { return Archived("a2"); }));
  EXPECT_EQ(LogLines("write-ahead log"), 1);
}

// The bytes of the archive file at `path` with a page in the middle overwritten.
std::string WithAPageDamaged(const std::string& path) {
  std::string bytes(std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()),
                    std::istreambuf_iterator<char>());
  bytes.replace(bytes.size() / 2 / 4096 * 4096, 4096, std::string(4096, '\x55'));
  return bytes;
}

// A file that is no archive at all, and an archive with a damaged page: each is renamed with a timestamp
// (never truncated) and the items go into a new, sound archive.
struct Damage {
  const char* name;
  bool wholeFile;  // replace the whole file, else overwrite one page in the middle
};

// The integrity check, which finds the damaged page, runs as the archive opens: the file is small.
class DamagedArchive : public ArchiveTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedArchive, IsMovedAsideAndANewArchiveTakesTheItems) {
  m_folder.Write("a.xml", NumberedFeed(1, 400, 300));
  ASSERT_TRUE(Eventually([&] { return ArchivedKeys().size() == 401u; }));  // with a1
  Stop();
  std::string bytes = WithAPageDamaged(ArchivePath());
  ASSERT_GT(bytes.size(), 16384u);
  if (GetParam().wholeFile) bytes = std::string(20000, 'z');
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

// A file too large to be checked as the archive opens it is checked by the maintenance thread when its time
// comes.
TEST_F(ArchiveTest, TheMaintenanceThreadChecksTheFileWhenItsCheckIsDue) {
  m_folder.Write("a.xml", NumberedFeed(1, 400, 300));
  ASSERT_TRUE(Eventually([&] { return ArchivedKeys().size() == 401u; }));
  Stop();
  m_folder.Write("RSSNewsArchive.db", WithAPageDamaged(ArchivePath()));
  std::atomic<bool> damaged{false};
  port::Mutex writeLock;
  newssvc::CArchiveMaintenance::Settings settings;
  settings.path = ArchivePath();
  settings.checkAfter = std::chrono::milliseconds(50);
  settings.onDamage = [&](const std::string&) { damaged = true; };
  settings.onError = [](const std::string&) {};
  settings.writeLock = &writeLock;
  newssvc::CArchiveMaintenance maintenance;
  maintenance.Start(std::move(settings));
  EXPECT_TRUE(Eventually([&] { return damaged.load(); }));
}

// Folders where the archive would move a damaged file in the next `seconds`, which keep it from moving it
// (as another process that has the file open does under Windows); removed with the object.
struct AsideBlockers {
  AsideBlockers(const std::string& archivePath, int seconds) {
    const auto now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    for (int s = 0; s < seconds; ++s) {
      folders.push_back(newssvc::CNewsArchive::AsidePath(archivePath, now + s));
      fs::create_directory(folders.back());
    }
  }
  ~AsideBlockers() {
    for (const std::string& folder : folders) fs::remove(folder);
  }
  std::vector<std::string> folders;
};

// A damaged file that cannot be moved aside yet is not written: its new items wait in memory, and the first
// write after the way is clear moves it and puts them into a new archive.
TEST_F(ArchiveTest, ADamagedFileThatCannotBeMovedYetIsNotWrittenAndIsMovedAtALaterWrite) {
  m_folder.Write("a.xml", NumberedFeed(1, 400, 300));
  ASSERT_TRUE(Eventually([&] { return ArchivedKeys().size() == 401u; }));
  Stop();
  m_folder.Write("RSSNewsArchive.db", WithAPageDamaged(ArchivePath()));
  auto blockers = std::make_unique<AsideBlockers>(ArchivePath(), 60);
  Restart();
  EXPECT_EQ(LogLines("could not be moved"), 1);
  const int reported = m_sink.Count("provider A 20261205");
  m_folder.Write("a.xml", NumberedFeed(401, 401));
  ASSERT_TRUE(Eventually([&] { return m_sink.Count("provider A 20261205") > reported; }));  // g401, from memory
  blockers.reset();
  m_folder.Write("a.xml", NumberedFeed(401, 402));
  ASSERT_TRUE(Eventually([&] { return LogLines(": moved to") == 1; }));
  ASSERT_TRUE(Eventually([&] { return ArchivedKeys() == std::vector<std::string>{"g401", "g402"}; }));
  EXPECT_EQ(IntegrityCheck(), "ok");
  EXPECT_EQ(LogLines("could not be moved"), 1);
}

}  // namespace
}  // namespace newssvc_test
