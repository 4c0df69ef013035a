#include "news/BookingTextIndex.h"

#include <algorithm>
#include <cstdint>

#include "port/Mbcs.h"

std::size_t CBookingTextIndex::FoldedHash(const CString& strText) {
  // FNV-1a over the bytes MbsFoldCase would produce.
  const std::string& text = strText.str();
  std::uint64_t hash = 14695981039346656037ULL;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = port::CharLength(text, i);
    for (std::size_t k = 0; k < length; ++k) {
      unsigned char c = static_cast<unsigned char>(text[i + k]);
      if (length == 1 && c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + ('a' - 'A'));
      hash = (hash ^ c) * 1099511628211ULL;
    }
    i += length;
  }
  return static_cast<std::size_t>(hash);
}

void CBookingTextIndex::Add(Booking booking) { m_bookings.emplace(FoldedHash(booking->first.strBookingID), booking); }

void CBookingTextIndex::Remove(Booking booking) {
  const auto [first, last] = m_bookings.equal_range(FoldedHash(booking->first.strBookingID));
  const auto it = std::find_if(first, last, [booking](const auto& entry) { return entry.second == booking; });
  if (it != last) m_bookings.erase(it);
}

CBookingTextIndex::Booking CBookingTextIndex::FindFirst(const CString& strText, Booking none) const {
  Booking first = none;
  const auto [begin, end] = m_bookings.equal_range(FoldedHash(strText));
  for (auto it = begin; it != end; ++it) {
    const Booking candidate = it->second;
    if (candidate->first.strBookingID.CompareNoCase(strText) != 0) continue;
    if (first == none || candidate->first < first->first) first = candidate;
  }
  return first;
}

std::vector<CBookingTextIndex::Booking> CBookingTextIndex::FindAll(const CString& strText) const {
  std::vector<Booking> found;
  const auto [begin, end] = m_bookings.equal_range(FoldedHash(strText));
  for (auto it = begin; it != end; ++it) {
    if (it->second->first.strBookingID.CompareNoCase(strText) == 0) found.push_back(it->second);
  }
  std::sort(found.begin(), found.end(), [](Booking a, Booking b) { return a->first < b->first; });
  return found;
}
