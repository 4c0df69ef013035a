#include "news/PendingChangeIndex.h"

#include <algorithm>
#include <cstdint>
#include <functional>

std::size_t CPendingChangeIndex::HashOf(const NewsChange& change) {
  const std::hash<CString> text;
  std::uint64_t hash = text(change.strID);
  hash = hash * 31 + text(change.strSubID);
  hash = hash * 31 + static_cast<std::uint64_t>(change.lDate);
  // Linear probing over a power-of-two table wants well-mixed low bits; dates are small consecutive numbers.
  hash ^= hash >> 33;
  hash *= 0xff51afd7ed558ccdULL;
  hash ^= hash >> 33;
  return static_cast<std::size_t>(hash);
}

bool CPendingChangeIndex::Contains(const NewsChange& change, const std::vector<NewsChange>& changes) const {
  if (m_size == 0) return false;
  const std::size_t hash = HashOf(change);
  const std::size_t mask = m_slots.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = m_slots[i];
    if (slot.position == kEmpty) return false;
    if (slot.hash == hash && changes[slot.position] == change) return true;
  }
}

void CPendingChangeIndex::Add(const std::vector<NewsChange>& changes, std::size_t position) {
  if ((m_size + 1) * 2 > m_slots.size()) Rehash(std::max(kMinSlots, m_slots.size() * 2));
  Place(HashOf(changes[position]), position);
  ++m_size;
}

void CPendingChangeIndex::Clear() {
  // After a burst, give the large table back instead of wiping it at every later pass.
  if (m_slots.size() > kMinSlots && m_size * 8 < m_slots.size()) {
    std::vector<Slot>().swap(m_slots);
  } else {
    std::fill(m_slots.begin(), m_slots.end(), Slot{});
  }
  m_size = 0;
}

void CPendingChangeIndex::Rehash(std::size_t slotCount) {
  std::vector<Slot> old(slotCount);  // the only allocation: a throw leaves the index as it was
  old.swap(m_slots);
  for (const Slot& slot : old) {
    if (slot.position != kEmpty) Place(slot.hash, slot.position);
  }
}

void CPendingChangeIndex::Place(std::size_t hash, std::size_t position) {
  const std::size_t mask = m_slots.size() - 1;
  std::size_t i = hash & mask;
  while (m_slots[i].position != kEmpty) i = (i + 1) & mask;
  m_slots[i] = Slot{hash, position};
}
