// Test scaffolding for the news service: a folder with a configuration and feed files written the way a
// publisher replaces them, a sink that records every event, a running session, and looks into its archive
// file and log from outside the service.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "libs/newssvc/HeadlineRecord.h"
#include "libs/newssvc/RssNewsSession.h"
#include "libs/newssvc/archive/Sqlite.h"
#include "tests/libs/TempDir.h"

namespace newssvc_test {

struct TestItem {
  std::string guid;
  std::string title;  // bytes in the feed's encoding
  std::string pubDate = "Sat, 05 Dec 2026 09:30:00 +0800";
  std::vector<std::string> symbols;
  std::string padding = "";  // appended to the description
};

// Provider A's items on three successive mornings, Taipei time.
inline const TestItem kA1{"a1", "first", "Sat, 05 Dec 2026 09:00:00 +0800", {}};
inline const TestItem kA2{"a2", "second", "Sun, 06 Dec 2026 09:00:00 +0800", {}};
inline const TestItem kA3{"a3", "third", "Mon, 07 Dec 2026 09:00:00 +0800", {}};

// An RSS 2.0 document in `encoding`; the caller gives titles already in that encoding.
std::string RssFeed(const std::string& encoding, const std::vector<TestItem>& items);

// RSS items g<first> ... g<last> of one date, tagged 2330, descriptions of `bodyBytes` more bytes.
std::string NumberedFeed(int first, int last, std::size_t bodyBytes = 0);

// A list operation's records, whose heap blocks go when the list does.
struct Headlines : std::vector<NewsHeadline> {
  ~Headlines() { newssvc::FreeHeadlines(*this); }
};

// Polls `condition` until it holds; false after the time-out.
bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(10));

class FeedFolder {
 public:
  std::string Path() const { return m_dir.path().string(); }
  // Writes a file into the folder through a temporary file and a rename, as publishers replace feeds.
  void Write(const std::string& name, const std::string& bytes) const;
  void Remove(const std::string& name) const { std::filesystem::remove(Path() + "/" + name); }
  // A configuration with one category "Market" of providers A (a.xml), B (b.xml) and C (c.xml), a poll
  // every 50 ms, Taipei time, and the word "TSMC" tagging items with symbol 2330.
  void WriteConfig(const std::string& extraCategory = std::string()) const;

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

  std::vector<std::string> Events() const;
  int Count(const std::string& event) const;
  // Waits until `event` has been recorded at least once; false after the time-out.
  bool WaitFor(const std::string& event, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
    return Eventually([&] { return Count(event) > 0; }, timeout);
  }

 private:
  void Record(const std::string& event);

  mutable std::mutex m_mtx;
  std::vector<std::string> m_events;
};

// A session on a FeedFolder's configuration (a.xml holding kA1, b.xml empty, c.xml missing), logged in with a
// sink and connected; the test stops and starts it at will. Its archive lives in the feed folder.
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override { Stop(); }
  // Opens a session on the folder, lets `afterOpen` adjust it, logs the sink in, books `booked` and connects.
  void Start(const char* booked = "", const std::function<void()>& afterOpen = {});
  void Stop();
  void Restart() {
    Stop();
    Start("A");
  }
  // Lets several poll intervals pass.
  static void SettleDown() { std::this_thread::sleep_for(std::chrono::milliseconds(400)); }
  // Number of the provider's headlines; -1 when the service does not know it.
  int CountHeadlines(const char* providerID) const;
  // Titles of the provider's headlines for a date (0: all), newest first.
  std::vector<std::string> Titles(const char* providerID, long date) const;
  std::string ArchivePath() const { return m_folder.Path() + "/RSSNewsArchive.db"; }
  // "ok" when SQLite finds the archive file sound.
  std::string IntegrityCheck() const;
  // Lines of a log (by default the archive's) that contain `text`.
  int LogLines(const std::string& text, std::string file = "") const;
  // Keys (or another column) of provider A's items in the archive file, read on a connection of the test's own.
  std::vector<std::string> ArchivedKeys(const std::string& column = "key") const;

  FeedFolder m_folder;
  RecordingSink m_sink;
  std::unique_ptr<newssvc::CRssNewsSession> m_session;
};
using ArchiveTest = SessionTest;

}  // namespace newssvc_test
