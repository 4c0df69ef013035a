#include "libs/newssvc/query/HeadlineRecord.h"

#include <cstring>
#include <initializer_list>
#include <new>
#include <utility>

#include "libs/newssvc/parse/HtmlText.h"

namespace newssvc {

namespace {

// Copies `text` into a fixed field, NUL-terminated, cut to fit.
template <std::size_t N>
void CopyField(char (&field)[N], const std::string& text) {
  const std::size_t length = text.size() < N - 1 ? text.size() : N - 1;
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

// Writes fixed-width decimal fields one after the other, NUL-terminated; N is the field's size with its NUL.
template <std::size_t N>
void WriteDigits(char (&field)[N], std::initializer_list<std::pair<int, int>> parts) {
  std::size_t pos = 0;
  for (const auto& part : parts) {
    int value = part.first;
    for (int i = part.second - 1; i >= 0; --i) {
      if (pos + static_cast<std::size_t>(i) < N - 1)
        field[pos + static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
      value /= 10;
    }
    pos += static_cast<std::size_t>(part.second);
  }
  field[pos < N - 1 ? pos : N - 1] = '\0';
}

// The symbols joined with ",", cut at a symbol boundary to what fits into `capacity` bytes with its NUL.
std::string JoinSymbols(const std::vector<std::string>& symbols, std::size_t capacity) {
  std::string joined;
  for (const std::string& symbol : symbols) {
    const std::size_t needed = joined.size() + (joined.empty() ? 0 : 1) + symbol.size();
    if (needed + 1 > capacity) break;
    if (!joined.empty()) joined += ',';
    joined += symbol;
  }
  return joined;
}

}  // namespace

NewsHeadline MakeHeadline(const CString& providerID, const StoredItem& item, const RecordZone& zone,
                          const CString& snippet) {
  NewsHeadline record{};
  const CivilTime civil = ToCivil(item.time, zone.OffsetAt(item.time));
  CopyField(record.szSource, "RSS");
  WriteDigits(record.szDate, {{civil.year, 4}, {civil.month, 2}, {civil.day, 2}});
  WriteDigits(record.szTime, {{civil.hour, 2}, {civil.minute, 2}, {civil.second, 2}});
  record.lKey1 = static_cast<int32_t>(item.serial);
  record.lKey2 = static_cast<int32_t>(civil.year * 10000L + civil.month * 100L + civil.day);
  CopyField(record.szProviderID, providerID.str());
  CopyField(record.szReserved, JoinSymbols(item.symbols, sizeof record.szReserved));

  const std::size_t titleBytes = static_cast<std::size_t>(item.title.GetLength()) + 1;
  const std::size_t linkBytes = static_cast<std::size_t>(item.link.GetLength()) + 1;
  const std::size_t snippetBytes = static_cast<std::size_t>(snippet.GetLength()) + 1;
  char* block = static_cast<char*>(::operator new(titleBytes + linkBytes + snippetBytes));
  std::memcpy(block, item.title.GetString(), titleBytes);
  std::memcpy(block + titleBytes, item.link.GetString(), linkBytes);
  std::memcpy(block + titleBytes + linkBytes, snippet.GetString(), snippetBytes);
  record.pBlock = block;
  return record;
}

CString BlockTitle(const NewsHeadline& record) {
  return record.pBlock ? CString(static_cast<const char*>(record.pBlock)) : CString();
}

CString BlockLink(const NewsHeadline& record) {
  if (!record.pBlock) return CString();
  const char* title = static_cast<const char*>(record.pBlock);
  return CString(title + std::strlen(title) + 1);
}

CString BlockSnippet(const NewsHeadline& record) {
  if (!record.pBlock) return CString();
  const char* link = static_cast<const char*>(record.pBlock);
  link += std::strlen(link) + 1;
  return CString(link + std::strlen(link) + 1);
}

void FreeHeadlines(std::vector<NewsHeadline>& list) {
  for (NewsHeadline& record : list) {
    ::operator delete(record.pBlock);
    record.pBlock = nullptr;
  }
  list.clear();
}

CString ItemContent(const StoredItem& item) {
  // The link is quoted with ' and the title is text: a quote in the link is written as %27, so the link ends
  // where a reader of the content looks for its end, and the title is escaped.
  std::string link = item.link.str();
  for (std::size_t at = link.find('\''); at != std::string::npos; at = link.find('\'', at)) link.replace(at, 1, "%27");
  return CString("<a href='" + link + "'>" + EscapeHtml(item.title.str()) + "</a>" + item.description.str());
}

}  // namespace newssvc
