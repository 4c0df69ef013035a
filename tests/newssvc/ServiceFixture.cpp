#include "tests/newssvc/ServiceFixture.h"

#include <algorithm>
#include <thread>

#include "libs/newssvc/HeadlineRecord.h"

namespace newssvc_test {

namespace fs = std::filesystem;

std::string RssFeed(const std::string& encoding, const std::vector<TestItem>& items) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n<rss version=\"2.0\"><channel><title>t</title>";
  for (const TestItem& item : items) {
    xml += "<item><guid>" + item.guid + "</guid><title>" + item.title + "</title><link>http://news.example/" +
           item.guid + "</link><description>body of " + item.guid + "</description>";
    if (!item.pubDate.empty()) xml += "<pubDate>" + item.pubDate + "</pubDate>";
    for (const std::string& symbol : item.symbols) xml += "<category domain=\"symbol\">" + symbol + "</category>";
    xml += "</item>";
  }
  return xml + "</channel></rss>\n";
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

void FeedFolder::Remove(const std::string& name) const { fs::remove(Path() + "/" + name); }

void FeedFolder::WriteConfig(const std::string& extraCategory) const {
  Write("RSSNewsSvc.xml",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<RSSNewsService pollMilliseconds=\"50\" timeZone=\"+08:00\">"
        "<Category name=\"Market\"><Provider id=\"A\" name=\"Alpha\" source=\"a.xml\"/>"
        "<Provider id=\"B\" name=\"Beta\" source=\"b.xml\"/><Provider id=\"C\" name=\"Gamma\" source=\"c.xml\"/>"
        "</Category>" +
            extraCategory + "<Symbol id=\"2330\" words=\"TSMC\"/></RSSNewsService>");
}

void RecordingSink::OnCategoryChange() { Record("category"); }

void RecordingSink::OnProviderHeadLineChange_Date(const CString& strProviderID, long lDate) {
  Record("provider " + strProviderID.str() + " " + std::to_string(lDate));
}

void RecordingSink::OnSymbolNewsHeadLineChange_Date(const CString& strProviderID, const CString& strSymbolID,
                                                    long lDate) {
  Record("symbol " + strProviderID.str() + " " + strSymbolID.str() + " " + std::to_string(lDate));
}

void RecordingSink::OnGetTotalHeadLineReq(const CString& strProviderID, int nTaskID) {
  Record("task " + strProviderID.str() + " " + std::to_string(nTaskID));
}

std::vector<std::string> RecordingSink::Events() const {
  std::lock_guard<std::mutex> lock(m_mtx);
  return m_events;
}

int RecordingSink::Count(const std::string& event) const {
  std::lock_guard<std::mutex> lock(m_mtx);
  return static_cast<int>(std::count(m_events.begin(), m_events.end(), event));
}

bool RecordingSink::WaitFor(const std::string& event, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(m_mtx);
  return m_cv.wait_for(lock, timeout,
                       [&] { return std::find(m_events.begin(), m_events.end(), event) != m_events.end(); });
}

void RecordingSink::Record(const std::string& event) {
  {
    std::lock_guard<std::mutex> lock(m_mtx);
    m_events.push_back(event);
  }
  m_cv.notify_all();
  if (onEvent) onEvent(event);
}

void SessionTest::SetUp() {
  m_folder.WriteConfig();
  m_folder.Write("a.xml", RssFeed("utf-8", {{"a1", "first", "Sat, 05 Dec 2026 09:00:00 +0800", {}}}));
  m_folder.Write("b.xml", RssFeed("utf-8", {}));
  m_session = std::make_unique<newssvc::CRssNewsSession>(CString(m_folder.Path().c_str()), CString(), CString());
  ASSERT_TRUE(m_session->Open());
  m_session->Login(&m_sink);
  ASSERT_NE(m_session->Connect(), 0);
}

void SessionTest::TearDown() {
  if (!m_session) return;
  m_session->Logout(&m_sink);
  m_session->Disconnect();
  m_session.reset();
}

int SessionTest::CountHeadlines(const char* providerID) {
  std::vector<NewsHeadline> list;
  if (m_session->GetTotalHeadline(providerID, list) != 0) return -1;
  const int count = static_cast<int>(list.size());
  newssvc::FreeHeadlines(list);
  return count;
}

bool SessionTest::Eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace newssvc_test
