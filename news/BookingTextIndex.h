// CBookingTextIndex: the registry's bookings by their text folded with the _mbsicmp rule (ASCII letters of
// single-byte characters folded, Big5 double-byte characters kept as they are), so that "the first booking
// in map order whose text equals X ignoring case" is a hash lookup instead of a walk of every booking.
//
// It holds iterators into the registry map, which stay valid until their booking is erased; the manager
// adds each booking it creates and removes each one before erasing it, under its mutex.
#pragma once

#include <cstddef>
#include <map>
#include <unordered_map>
#include <vector>

#include "news/BookingInfo.h"
#include "news/RSSNewsObjEvent.h"
#include "port/CString.h"

class CBookingTextIndex {
 public:
  using Registry = std::map<CBookingInfo, std::vector<IRSSNewsObjEvent*>>;
  using Booking = Registry::iterator;

  void Add(Booking booking);
  void Remove(Booking booking);
  void Clear() { m_bookings.clear(); }

  // The first booking in map order whose text equals strText ignoring case, or `none`.
  Booking FindFirst(const CString& strText, Booking none) const;
  // Every booking whose text equals strText ignoring case, in map order.
  std::vector<Booking> FindAll(const CString& strText) const;

  // Equal for two texts that compare equal ignoring case; computed without a folded copy.
  static std::size_t FoldedHash(const CString& strText);

 private:
  // Folded hash -> booking. Texts that merely share a hash are told apart by CompareNoCase.
  std::unordered_multimap<std::size_t, Booking> m_bookings;
};
