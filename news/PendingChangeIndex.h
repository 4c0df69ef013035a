// CPendingChangeIndex: a hash index beside the change set, so that "is an equal change already pending" is
// one lookup instead of a search of the whole set, while the change set itself keeps its arrival order.
//
// The index is a flat open-addressing table of (hash, position in the change set): a lookup touches one slot
// and, only when the hashes agree, the change it names. That keeps the cost of an event flat even when a
// burst has left a hundred thousand changes pending.
//
// The manager adds each change it appends and clears the index whenever it empties the set, under its mutex.
#pragma once

#include <cstddef>
#include <vector>

#include "news/NewsChange.h"

class CPendingChangeIndex {
 public:
  // True when a change equal to `change` (NewsChange's equality) is among `changes`, the change set the
  // index is kept beside.
  bool Contains(const NewsChange& change, const std::vector<NewsChange>& changes) const;
  // Records that changes[position] is pending. May throw std::bad_alloc; the index is then unchanged.
  void Add(const std::vector<NewsChange>& changes, std::size_t position);
  void Clear();

 private:
  struct Slot {
    std::size_t hash = 0;
    std::size_t position = kEmpty;
  };
  static constexpr std::size_t kEmpty = static_cast<std::size_t>(-1);
  static constexpr std::size_t kMinSlots = 64;

  static std::size_t HashOf(const NewsChange& change);
  void Rehash(std::size_t slotCount);
  void Place(std::size_t hash, std::size_t position);

  std::vector<Slot> m_slots;  // a power of two in size, at most half full
  std::size_t m_size = 0;
};
