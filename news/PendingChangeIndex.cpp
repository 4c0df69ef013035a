#include "news/PendingChangeIndex.h"

#include <functional>

bool CPendingChangeIndex::Contains(const std::vector<NewsChange>& changes, const NewsChange& change) const {
  const auto [first, last] = m_positions.equal_range(Hash(change));
  for (auto it = first; it != last; ++it) {
    if (changes[it->second] == change) return true;
  }
  return false;
}

std::size_t CPendingChangeIndex::Hash(const NewsChange& change) {
  const std::hash<CString> text;
  std::size_t hash = text(change.strID);
  hash = hash * 31 + text(change.strSubID);
  return hash * 31 + std::hash<long>()(change.lDate);
}
