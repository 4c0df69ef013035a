// CPendingChangeIndex: a hash index over the change set, so that "is an equal change already pending" is
// answered without a search of the whole set while the set itself keeps its arrival order.
//
// It maps a change's hash to its position in the change set; the manager adds each change it appends and
// clears the index whenever it empties the set, under its mutex.
#pragma once

#include <cstddef>
#include <unordered_map>
#include <vector>

#include "news/NewsChange.h"

class CPendingChangeIndex {
 public:
  // True when `changes` holds an item equal to `change` (NewsChange's equality).
  bool Contains(const std::vector<NewsChange>& changes, const NewsChange& change) const;
  // Notes that changes[position] is `change`.
  void Add(const NewsChange& change, std::size_t position) { m_positions.emplace(Hash(change), position); }
  void Clear() { m_positions.clear(); }

 private:
  static std::size_t Hash(const NewsChange& change);

  std::unordered_multimap<std::size_t, std::size_t> m_positions;
};
