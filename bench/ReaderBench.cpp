#include "bench/ReaderBench.h"

#include <libxml/parser.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "libs/newssvc/parse/FeedReader.h"
#include "libs/newssvc/query/HeadlineRecord.h"
#include "libs/newssvc/query/ItemStore.h"
#include "port/CodePage.h"

namespace bench {

CReaderFixture::CReaderFixture(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder, error))
    if (entry.path().extension() == ".xml") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    m_feeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
}

std::size_t CReaderFixture::Bytes() const {
  std::size_t bytes = 0;
  for (const std::string& feed : m_feeds) bytes += feed.size();
  return bytes;
}

std::size_t CReaderFixture::ReadToRecords() const {
  const newssvc::RecordZone zone{true, 8 * 3600};
  std::size_t records = 0;
  for (const std::string& feed : m_feeds) {
    std::vector<newssvc::FeedItem> items;
    if (!newssvc::CFeedReader::ReadBytes(feed, items)) continue;
    newssvc::CItemStore store;
    std::vector<newssvc::StoredItem> stored;
    for (const newssvc::FeedItem& item : store.TakeUnseen(items)) {  // numbered as a catalog without archive does
      newssvc::StoredItem record;
      record.key = item.IdentityKey();
      record.serial = static_cast<long>(stored.size()) + 1;
      record.time = item.published;
      record.title = port::Big5FromUtf8(item.title);
      record.link = port::Big5FromUtf8(item.link);
      record.description = port::Big5FromUtf8(item.description);
      record.symbols = item.symbols;
      stored.push_back(std::move(record));
    }
    store.Add(std::move(stored));
    std::vector<NewsHeadline> list;
    for (const newssvc::StoredItem& item : store.Items()) list.push_back(newssvc::MakeHeadline("P", item, zone));
    records += list.size();
    newssvc::FreeHeadlines(list);
  }
  return records;
}

std::size_t CReaderFixture::ParseWithLibxml2() const {
  std::size_t documents = 0;
  for (const std::string& feed : m_feeds) {
    xmlDoc* doc = xmlReadMemory(feed.data(), static_cast<int>(feed.size()), nullptr, nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (doc) ++documents;
    xmlFreeDoc(doc);
  }
  return documents;
}

}  // namespace bench
