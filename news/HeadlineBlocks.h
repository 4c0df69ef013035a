// Ownership of the heap blocks that headline records carry: whoever holds a record frees its block once.
#pragma once

#include <utility>
#include <vector>

#include "libs/newssvc/NewsHeadline.h"

// Frees the block of every record and empties the list.
inline void FreeHeadlineBlocks(std::vector<NewsHeadline>& list) {
  for (NewsHeadline& record : list) {
    ::operator delete(record.pBlock);
    record.pBlock = nullptr;
  }
  list.clear();
}

// A list fetched from the service: its blocks are freed when it goes out of scope unless Release handed
// them on first.
class CScopedHeadlines {
 public:
  CScopedHeadlines() = default;
  CScopedHeadlines(const CScopedHeadlines&) = delete;
  CScopedHeadlines& operator=(const CScopedHeadlines&) = delete;
  ~CScopedHeadlines() { FreeHeadlineBlocks(m_list); }

  std::vector<NewsHeadline>& List() { return m_list; }
  std::vector<NewsHeadline> Release() { return std::exchange(m_list, {}); }

 private:
  std::vector<NewsHeadline> m_list;
};
