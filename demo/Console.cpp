#include "demo/Console.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <mutex>

#include "port/CodePage.h"

namespace demo {

namespace {

std::mutex& OutputMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

void PrintLine(const std::string& utf8) {
  const std::lock_guard<std::mutex> lock(OutputMutex());
  std::cout << utf8 << std::endl;
}

std::string Utf8(const CString& big5) { return port::Utf8FromBig5(big5); }

// The service's block starts with the item's title, NUL-terminated.
std::string FormatHeadline(const NewsHeadline& record) {
  const std::string date(record.szDate);
  const std::string time(record.szTime);
  std::string line = date.size() == 8 ? date.substr(0, 4) + "-" + date.substr(4, 2) + "-" + date.substr(6, 2) : date;
  line += time.size() == 6 ? " " + time.substr(0, 2) + ":" + time.substr(2, 2) : " " + time;
  line += "  [" + std::string(record.szProviderID) + "] ";
  if (record.pBlock) line += Utf8(CString(static_cast<const char*>(record.pBlock)));
  return line;
}

void SortNewestFirst(std::vector<NewsHeadline>& list) {
  std::stable_sort(list.begin(), list.end(), [](const NewsHeadline& a, const NewsHeadline& b) {
    const int byDate = std::strcmp(a.szDate, b.szDate);
    return byDate != 0 ? byDate > 0 : std::strcmp(a.szTime, b.szTime) > 0;
  });
}

void FreeBlocks(std::vector<NewsHeadline>& list) {
  for (NewsHeadline& record : list) {
    ::operator delete(record.pBlock);
    record.pBlock = nullptr;
  }
  list.clear();
}

}  // namespace demo
