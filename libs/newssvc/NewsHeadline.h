// NewsHeadline: one headline, a fixed-layout 160-byte record that the news service fills and the module
// passes on. A copy is a byte-wise copy; pBlock is an owned heap block (see below).
#pragma once

#include <cstddef>
#include <cstdint>

struct NewsHeadline {
  char szSource[7];       // bytes 0-6: the kind of source the item came from, "RSS", NUL-terminated
  char szDate[9];         // bytes 7-15: date as decimal digits "YYYYMMDD", NUL-terminated
  char szTime[7];         // bytes 16-22: time as decimal digits "HHMMSS", NUL-terminated; date and time
                          // are in the zone the service's configuration names (default: the machine's)
  char cPad;              // byte 23
  int32_t lKey1;          // bytes 24-27: first item key, as GetNewsContent takes it: the item's number
                          // within its provider (1, 2, ... in the order the service first saw them)
  int32_t lKey2;          // bytes 28-31: second item key: the item's date, YYYYMMDD as a number
  char szProviderID[32];  // bytes 32-63: provider ID of the item, NUL-terminated, truncated if longer
  // bytes 64-67 (64-71 on 64-bit): a block from operator new holding the item's text; it belongs to
  // whoever holds the record and is freed with operator delete. Layout: the item's title (Big5),
  // NUL-terminated, then the item's link, NUL-terminated, then (in the records of a search, else empty) a
  // snippet of the matching text (Big5) with each match between the bytes 0x02 and 0x03, NUL-terminated.
  void* pBlock;
  // The symbols the item is tagged with, joined with ",", NUL-terminated; cut after the last symbol
  // that fits.
  char szReserved[160 - 64 - sizeof(void*)];
};

static_assert(sizeof(NewsHeadline) == 160, "NewsHeadline is a 160-byte record");
static_assert(offsetof(NewsHeadline, szDate) == 7, "szDate starts at byte 7");
static_assert(offsetof(NewsHeadline, szTime) == 16, "szTime starts at byte 16");
static_assert(offsetof(NewsHeadline, pBlock) == 64, "pBlock starts at byte 64");
