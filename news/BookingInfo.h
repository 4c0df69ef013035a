// CBookingInfo: the key of one booking in the observer registry.
#pragma once

#include <cstdint>
#include <tuple>

#include "port/CString.h"

struct CBookingInfo {
  CString strBookingID;      // the whole provider ID list (the provider booking) or a symbol ID
  int32_t lBookingDate = 0;  // 0 in the provider booking
  int32_t lReserved1 = 0;
  int32_t lReserved2 = 0;

  CBookingInfo() = default;
  CBookingInfo(const CString& id, int32_t date) : strBookingID(id), lBookingDate(date) {}

  // Field by field: the text case-sensitively in _mbscmp order, then the three numbers as signed values.
  friend bool operator<(const CBookingInfo& a, const CBookingInfo& b) {
    const int c = a.strBookingID.Compare(b.strBookingID);
    if (c != 0) return c < 0;
    return std::tie(a.lBookingDate, a.lReserved1, a.lReserved2) < std::tie(b.lBookingDate, b.lReserved1, b.lReserved2);
  }
  friend bool operator==(const CBookingInfo& a, const CBookingInfo& b) {
    return a.strBookingID == b.strBookingID && a.lBookingDate == b.lBookingDate && a.lReserved1 == b.lReserved1 &&
           a.lReserved2 == b.lReserved2;
  }
};
