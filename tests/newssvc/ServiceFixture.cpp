#include "tests/newssvc/ServiceFixture.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace newssvc_test {

namespace fs = std::filesystem;

std::string RssFeed(const std::string& encoding, const std::vector<TestItem>& items) {
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

std::string NumberedFeed(int first, int last, std::size_t bodyBytes) {
  std::vector<TestItem> items;
  for (int i = first; i <= last; ++i) {
    const std::string id = "g" + std::to_string(i);
    items.push_back({id, id, "Sat, 05 Dec 2026 09:00:00 +0800", {"2330"}, std::string(bodyBytes, 'x')});
  }
  return RssFeed("utf-8", items);
}

bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

void FeedFolder::Write(const std::string& name, const std::string& bytes) const {
  const std::string target = Path() + "/" + name;
  const std::string temporary = target + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  fs::rename(temporary, target);
}

void FeedFolder::WriteConfig(const std::string& extraCategory) const {
  Write("RSSNewsSvc.xml",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<RSSNewsService pollMilliseconds=\"50\" timeZone=\"+08:00\">"
        "<Category name=\"Market\"><Provider id=\"A\" name=\"Alpha\" source=\"a.xml\"/>"
        "<Provider id=\"B\" name=\"Beta\" source=\"b.xml\"/><Provider id=\"C\" name=\"Gamma\" source=\"c.xml\"/>"
        "</Category>" +
            extraCategory + "<Symbol id=\"2330\" words=\"TSMC\"/></RSSNewsService>");
}

std::vector<std::string> RecordingSink::Events() const {
  std::lock_guard<std::mutex> lock(m_mtx);
  return m_events;
}

int RecordingSink::Count(const std::string& event) const {
  std::lock_guard<std::mutex> lock(m_mtx);
  return static_cast<int>(std::count(m_events.begin(), m_events.end(), event));
}

void RecordingSink::Record(const std::string& event) {
  {
    std::lock_guard<std::mutex> lock(m_mtx);
    m_events.push_back(event);
  }
  if (onEvent) onEvent(event);
}

void SessionTest::SetUp() {
  m_folder.WriteConfig();
  m_folder.Write("a.xml", RssFeed("utf-8", {kA1}));
  m_folder.Write("b.xml", RssFeed("utf-8", {}));
  Start();
}

void SessionTest::Start(const char* booked, const std::function<void()>& afterOpen) {
  m_session = std::make_unique<newssvc::CRssNewsSession>(CString(m_folder.Path().c_str()), CString(), CString());
  ASSERT_TRUE(m_session->Open());
  if (afterOpen) afterOpen();
  m_session->Login(&m_sink);
  if (*booked) m_session->BookProviderNews(booked);
  ASSERT_NE(m_session->Connect(), 0);
}

void SessionTest::Stop() {
  if (!m_session) return;
  m_session->Logout(&m_sink);
  m_session->Disconnect();
  m_session.reset();
}

int SessionTest::CountHeadlines(const char* providerID) const {
  Headlines list;
  return m_session->GetTotalHeadline(providerID, list) == 0 ? static_cast<int>(list.size()) : -1;
}

std::vector<std::string> SessionTest::Titles(const char* providerID, long date) const {
  Headlines list;
  m_session->GetProviderHeadline_Date(providerID, date, list);
  std::vector<std::string> titles;
  for (const NewsHeadline& record : list) titles.push_back(newssvc::BlockTitle(record).str());
  return titles;
}

std::string SessionTest::IntegrityCheck() const {
  newssvc::CSqliteDb db;
  std::string result = "cannot open";
  if (db.Open(ArchivePath(), false)) db.QueryText("PRAGMA integrity_check", result);
  return result;
}

int SessionTest::LogLines(const std::string& text, std::string file) const {
  std::ifstream log(file.empty() ? m_folder.Path() + "/RSSNewsSvc_archive.log" : file);
  int count = 0;
  for (std::string line; std::getline(log, line);)
    if (line.find(text) != std::string::npos) ++count;
  return count;
}

std::vector<std::string> SessionTest::ArchivedKeys(const std::string& column) const {
  newssvc::CSqliteDb db;
  std::vector<std::string> keys;
  if (!db.Open(ArchivePath(), false)) return keys;
  db.SetBusyTimeout(5000);
  const std::string sql = "SELECT " + column + " FROM items WHERE provider = 'A' ORDER BY serial";
  newssvc::CSqliteStatement select(db, sql.c_str());
  while (select.Step() == 100 /* SQLITE_ROW */) keys.push_back(select.Text(0));
  return keys;
}

}  // namespace newssvc_test
