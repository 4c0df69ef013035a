// HeadlineDateOrder: orders headlines by the numbers in szDate, then szTime, read as atoi reads them.
#pragma once

#include <cstddef>

#include "libs/newssvc/NewsHeadline.h"

class HeadlineDateOrder {
 public:
  explicit HeadlineDateOrder(bool bDescending = false) : m_bDescending(bDescending) {}

  bool operator()(const NewsHeadline& a, const NewsHeadline& b) const {
    const long long dateA = ReadNumber(a.szDate, kDateBytes);
    const long long dateB = ReadNumber(b.szDate, kDateBytes);
    if (dateA != dateB) return m_bDescending ? dateA > dateB : dateA < dateB;
    const long long timeA = ReadNumber(a.szTime, kTimeBytes);
    const long long timeB = ReadNumber(b.szTime, kTimeBytes);
    return m_bDescending ? timeA > timeB : timeA < timeB;
  }

  // atoi's reading (leading blanks, a sign, digits; anything unreadable is 0), but never past `size` bytes
  // and without overflow, since the fields need not be terminated.
  static long long ReadNumber(const char* text, std::size_t size) {
    std::size_t i = 0;
    while (i < size && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool bNegative = false;
    if (i < size && (text[i] == '+' || text[i] == '-')) bNegative = text[i++] == '-';
    long long value = 0;
    for (; i < size && text[i] >= '0' && text[i] <= '9' && value < kLimit; ++i) value = value * 10 + (text[i] - '0');
    return bNegative ? -value : value;
  }

 private:
  static constexpr std::size_t kDateBytes = 9;   // bytes 7-15
  static constexpr std::size_t kTimeBytes = 48;  // from byte 16 up to the block pointer
  static constexpr long long kLimit = 100000000000LL / 10;

  bool m_bDescending;
};
