// Test scaffolding for the news service: a folder with a configuration and feed files written the way a
// publisher replaces them, a sink that records every event, a running session, and looks into its archive
// file and log from outside the service.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "libs/newssvc/archive/Sqlite.h"
#include "libs/newssvc/query/HeadlineRecord.h"
#include "libs/newssvc/session/RssNewsSession.h"
#include "tests/libs/TempDir.h"

namespace newssvc_test {

struct TestItem {
  std::string guid;
  std::string title;  // bytes in the feed's encoding
  std::string pubDate = "Sat, 05 Dec 2026 09:30:00 +0800";
  std::vector<std::string> symbols;
  std::string padding = "";  // appended to the description
};

// 台積電許可 in Big5 (許 ends in 0x5C, a backslash) and in UTF-8.
inline const std::string kBig5Title = "\xA5\x78\xBF\x6E\xB9\x71\xB3\x5C\xA5\x69";
inline const std::string kUtf8Title = "\xE5\x8F\xB0\xE7\xA9\x8D\xE9\x9B\xBB\xE8\xA8\xB1\xE5\x8F\xAF";

// Provider A's items on three successive mornings, Taipei time.
inline const TestItem kA1{"a1", "first", "Sat, 05 Dec 2026 09:00:00 +0800", {}};
inline const TestItem kA2{"a2", "second", "Sun, 06 Dec 2026 09:00:00 +0800", {}};
inline const TestItem kA3{"a3", "third", "Mon, 07 Dec 2026 09:00:00 +0800", {}};

// An RSS 2.0 document in `encoding`; the caller gives titles already in that encoding.
inline std::string RssFeed(const std::string& encoding, const std::vector<TestItem>& items) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n<rss version=\"2.0\"><channel><title>t</title>";
  for (const TestItem& item : items) {
    xml += "<item><guid>" + item.guid + "</guid><title>" + item.title + "</title><link>http://news.example/" +
           item.guid + "</link><description>body of " + item.guid + item.padding + "</description>";
    if (!item.pubDate.empty()) xml += "<pubDate>" + item.pubDate + "</pubDate>";
    for (const std::string& symbol : item.symbols) xml += "<category domain=\"symbol\">" + symbol + "</category>";
    xml += "</item>";
  }
  return xml + "</channel></rss>\n";
}

// RSS items g<first> ... g<last> of one date, tagged 2330, descriptions of `bodyBytes` more bytes.
inline std::string NumberedFeed(int first, int last, std::size_t bodyBytes = 0) {
  std::vector<TestItem> items;
  for (int i = first; i <= last; ++i) {
    const std::string id = "g" + std::to_string(i);
    items.push_back({id, id, "Sat, 05 Dec 2026 09:00:00 +0800", {"2330"}, std::string(bodyBytes, 'x')});
  }
  return RssFeed("utf-8", items);
}

// A list operation's records, whose heap blocks go when the list does.
struct Headlines : std::vector<NewsHeadline> {
  ~Headlines() { newssvc::FreeHeadlines(*this); }
};

// Polls `condition` until it holds; false after the time-out.
inline bool Eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class FeedFolder {
 public:
  std::string Path() const { return m_dir.path().string(); }
  // Writes a file into the folder through a temporary file and a rename, as publishers replace feeds.
  void Write(const std::string& name, const std::string& bytes) const {
    const std::string target = Path() + "/" + name;
    std::ofstream(target + ".tmp", std::ios::binary | std::ios::trunc) << bytes;
    std::filesystem::rename(target + ".tmp", target);
  }
  // A configuration with one category "Market" of providers A (a.xml), B (b.xml) and C (c.xml), a poll
  // every 50 ms, Taipei time, and the word "TSMC" tagging items with symbol 2330.
  void WriteConfig(const std::string& extraCategory = std::string()) const {
    Write("RSSNewsSvc.xml",
          "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<RSSNewsService pollMilliseconds=\"50\" timeZone=\"+08:00\">"
          "<Category name=\"Market\"><Provider id=\"A\" name=\"Alpha\" source=\"a.xml\"/>"
          "<Provider id=\"B\" name=\"Beta\" source=\"b.xml\"/><Provider id=\"C\" name=\"Gamma\" source=\"c.xml\"/>"
          "</Category>" +
              extraCategory + "<Symbol id=\"2330\" words=\"TSMC\"/></RSSNewsService>");
  }

 private:
  TempDir m_dir;
};

// Records events as text: "provider A 20261205", "symbol A 2330 20261205", "task A 3", "category".
class RecordingSink final : public IWTRSSNewsSvcEvent {
 public:
  void OnCategoryChange() override { Record("category"); }
  void OnProviderHeadLineChange_Date(const CString& strProviderID, long lDate) override {
    Record("provider " + strProviderID.str() + " " + std::to_string(lDate));
  }
  void OnNewsContentChange(const CString&, long, long) override {}
  void OnSymbolNewsHeadLineChange_Date(const CString& strProviderID, const CString& strSymbolID, long lDate) override {
    Record("symbol " + strProviderID.str() + " " + strSymbolID.str() + " " + std::to_string(lDate));
  }
  void OnSymbolNewsContentChange(const CString&, const CString&, long, long) override {}
  void OnGetTotalHeadLineReq(const CString& strProviderID, int nTaskID) override {
    Record("task " + strProviderID.str() + " " + std::to_string(nTaskID));
  }

  // Runs inside every event, on the service's thread, after the event is recorded.
  std::function<void(const std::string&)> onEvent;

  std::vector<std::string> Events() const {
    std::lock_guard<std::mutex> lock(m_mtx);
    return m_events;
  }
  int Count(const std::string& event) const {
    std::lock_guard<std::mutex> lock(m_mtx);
    return static_cast<int>(std::count(m_events.begin(), m_events.end(), event));
  }
  // Waits until `event` has been recorded at least once; false after the time-out.
  bool WaitFor(const std::string& event, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
    return Eventually([&] { return Count(event) > 0; }, timeout);
  }
  // Takes one `event` out of the record.
  void Forget(const std::string& event) {
    std::lock_guard<std::mutex> lock(m_mtx);
    const auto it = std::find(m_events.begin(), m_events.end(), event);
    if (it != m_events.end()) m_events.erase(it);
  }

 private:
  void Record(const std::string& event) {
    std::function<void(const std::string&)> handler;
    {
      std::lock_guard<std::mutex> lock(m_mtx);
      m_events.push_back(event);
      handler = onEvent;  // read with the record: a test that has seen the event may set another
    }
    if (handler) handler(event);
  }

  mutable std::mutex m_mtx;
  std::vector<std::string> m_events;
};

// A session on a FeedFolder's configuration (a.xml holding kA1, b.xml empty, c.xml missing), logged in with a
// sink and connected; the test stops and starts it at will. Its archive lives in the feed folder.
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder.WriteConfig();
    m_folder.Write("a.xml", RssFeed("utf-8", {kA1}));
    m_folder.Write("b.xml", RssFeed("utf-8", {}));
    Start();
  }
  void TearDown() override { Stop(); }
  // Opens a session on the folder, lets `afterOpen` adjust it, logs the sink in, books `booked`, connects and
  // waits for the first poll.
  void Start(const char* booked = "", const std::function<void()>& afterOpen = {}) {
    m_session = std::make_unique<newssvc::CRssNewsSession>(CString(m_folder.Path().c_str()), CString(), CString());
    ASSERT_TRUE(m_session->Open());
    if (afterOpen) afterOpen();
    m_session->Login(&m_sink);
    if (*booked) m_session->BookProviderNews(booked);
    ASSERT_NE(m_session->Connect(), 0);
    // The first poll is the session thread's first task: the answer to a request made now comes after it.
    const CString provider = m_session->Catalog().Config().Current()->Providers().at(0).id;
    ASSERT_EQ(m_session->ReqTotalHeadline(provider, 999), 0);
    ASSERT_TRUE(m_sink.WaitFor("task " + provider.str() + " 999"));
    m_sink.Forget("task " + provider.str() + " 999");
  }
  void Stop() {
    if (!m_session) return;
    m_session->Logout(&m_sink);
    m_session->Disconnect();
    m_session.reset();
  }
  void Restart() {
    Stop();
    Start("A");
  }
  // Lets several poll intervals pass.
  static void SettleDown() { std::this_thread::sleep_for(std::chrono::milliseconds(400)); }
  // Number of the provider's headlines; -1 when the service does not know it.
  int CountHeadlines(const char* providerID) const {
    Headlines list;
    return m_session->GetTotalHeadline(providerID, list) == 0 ? static_cast<int>(list.size()) : -1;
  }
  // Titles of the provider's headlines (of a symbol, when given) for a date (0: all), newest first.
  std::vector<std::string> Titles(const char* providerID, long date, const char* symbol = nullptr) const {
    Headlines list;
    symbol ? m_session->GetSymbolHeadline_Date(providerID, symbol, date, list)
           : m_session->GetProviderHeadline_Date(providerID, date, list);
    std::vector<std::string> titles;
    for (const NewsHeadline& record : list) titles.push_back(newssvc::BlockTitle(record).str());
    return titles;
  }
  std::string ArchivePath() const { return m_folder.Path() + "/RSSNewsArchive.db"; }
  // "ok" when SQLite finds the archive file sound.
  std::string IntegrityCheck() const {
    newssvc::CSqliteDb db;
    std::string result = "cannot open";
    if (db.Open(ArchivePath(), false)) db.QueryText("PRAGMA integrity_check", result);
    return result;
  }
  // Lines of a log (by default the archive's) that contain `text`.
  int LogLines(const std::string& text, std::string file = "") const {
    std::ifstream log(file.empty() ? m_folder.Path() + "/RSSNewsSvc_archive.log" : file);
    int count = 0;
    for (std::string line; std::getline(log, line);)
      if (line.find(text) != std::string::npos) ++count;
    return count;
  }
  // Keys (or another column) of provider A's items in the archive file, read on a connection of the test's own.
  std::vector<std::string> ArchivedKeys(const std::string& column = "key") const {
    newssvc::CSqliteDb db;
    std::vector<std::string> keys;
    if (!db.Open(ArchivePath(), false)) return keys;
    db.SetBusyTimeout(5000);
    const std::string sql = "SELECT " + column + " FROM items WHERE provider = 'A' ORDER BY serial";
    newssvc::CSqliteStatement select(db, sql.c_str());
    while (select.Step() == 100 /* SQLITE_ROW */) keys.push_back(select.Text(0));
    return keys;
  }
  bool Archived(const std::string& key) const {
    const std::vector<std::string> keys = ArchivedKeys();
    return std::find(keys.begin(), keys.end(), key) != keys.end();
  }

  FeedFolder m_folder;
  RecordingSink m_sink;
  std::unique_ptr<newssvc::CRssNewsSession> m_session;
};
using ArchiveTest = SessionTest;

}  // namespace newssvc_test
