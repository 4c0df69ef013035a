// CPendingChangeIndex: a hash set beside the change set, holding the same changes, so that "is an equal
// change already pending" is one lookup instead of a search of the whole set, while the change set itself
// keeps its arrival order. The set holds copies: one lookup then touches one node, not the node and the
// change set's element as well.
//
// The manager adds each change it appends and clears the index whenever it empties the set, under its
// mutex.
#pragma once

#include <cstddef>
#include <unordered_set>

#include "news/NewsChange.h"

class CPendingChangeIndex {
 public:
  // True when a change equal to `change` (NewsChange's equality) is pending.
  bool Contains(const NewsChange& change) const { return m_changes.count(change) != 0; }
  void Add(const NewsChange& change) { m_changes.insert(change); }
  void Clear() { m_changes.clear(); }

 private:
  struct Hash {
    std::size_t operator()(const NewsChange& change) const;
  };

  std::unordered_set<NewsChange, Hash> m_changes;
};
