#include "tests/newssvc/ArchiveSupport.h"

#include <cstdio>
#include <fstream>

#include "libs/newssvc/HeadlineRecord.h"

namespace newssvc_test {

void ArchiveTest::Restart() {
  TearDown();
  m_session = std::make_unique<newssvc::CRssNewsSession>(CString(m_folder.Path().c_str()), CString(), CString());
  ASSERT_TRUE(m_session->Open());
  m_session->Login(&m_sink);
  m_session->BookProviderNews("A");
  ASSERT_NE(m_session->Connect(), 0);
}

std::vector<std::string> ArchiveTest::Titles(const char* providerID, long date) {
  std::vector<NewsHeadline> list;
  m_session->GetProviderHeadline_Date(providerID, date, list);
  std::vector<std::string> titles;
  for (const NewsHeadline& record : list) titles.push_back(newssvc::BlockTitle(record).str());
  newssvc::FreeHeadlines(list);
  return titles;
}

int ArchiveTest::LogLines(const std::string& text) const {
  std::ifstream log(m_folder.Path() + "/RSSNewsSvc_archive.log");
  int count = 0;
  for (std::string line; std::getline(log, line);)
    if (line.find(text) != std::string::npos) ++count;
  return count;
}

std::vector<std::string> ArchiveTest::ArchivedKeys(const std::string& column) const {
  newssvc::CSqliteDb db;
  std::vector<std::string> keys;
  if (!db.Open(ArchivePath(), false)) return keys;
  db.SetBusyTimeout(5000);
  const std::string sql = "SELECT " + column + " FROM items WHERE provider = 'A' ORDER BY serial";
  newssvc::CSqliteStatement select(db, sql.c_str());
  while (select.Step() == 100 /* SQLITE_ROW */) keys.push_back(select.Text(0));
  return keys;
}

std::string NumberedFeed(int first, int last, std::size_t bodyBytes) {
  std::vector<TestItem> items;
  for (int i = first; i <= last; ++i)
    items.push_back({"g" + std::to_string(i), "g" + std::to_string(i), "Sat, 05 Dec 2026 09:00:00 +0800", {"2330"}});
  std::string feed = RssFeed("utf-8", items);
  if (bodyBytes == 0) return feed;
  const std::string body(bodyBytes, 'x');
  for (std::size_t at = feed.find("body of "); at != std::string::npos;
       at = feed.find("body of ", at + body.size() + 8))
    feed.insert(at, body);
  return feed;
}

void DumpLog(const std::string& folder) {
  std::ifstream log(folder + "/RSSNewsSvc_archive.log");
  for (std::string line; std::getline(log, line);) std::fprintf(stderr, "archive log: %s\n", line.c_str());
}

std::string IntegrityCheck(const std::string& path) {
  newssvc::CSqliteDb db;
  std::string result = "cannot open";
  if (db.Open(path, false)) db.QueryText("PRAGMA integrity_check", result);
  return result;
}

}  // namespace newssvc_test
