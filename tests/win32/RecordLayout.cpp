// Compile-time proof of the record layouts shared with the news service, built for every Windows target.
// The service and its host exchange NewsHeadline arrays byte for byte, so the 32-bit build must place
// every field exactly where the 32-bit service does: pBlock is a 4-byte pointer at bytes 64 to 67 and the
// record stays 160 bytes.
#include <cstddef>

#include "libs/newssvc/NewsHeadline.h"

static_assert(sizeof(NewsHeadline) == 160, "NewsHeadline is 160 bytes");
static_assert(offsetof(NewsHeadline, szSource) == 0, "szSource at byte 0");
static_assert(offsetof(NewsHeadline, szDate) == 7, "szDate at byte 7");
static_assert(offsetof(NewsHeadline, szTime) == 16, "szTime at byte 16");
static_assert(offsetof(NewsHeadline, lKey1) == 24, "lKey1 at byte 24");
static_assert(offsetof(NewsHeadline, lKey2) == 28, "lKey2 at byte 28");
static_assert(offsetof(NewsHeadline, szProviderID) == 32, "szProviderID at byte 32");
static_assert(offsetof(NewsHeadline, pBlock) == 64, "pBlock starts at byte 64");
static_assert(offsetof(NewsHeadline, szReserved) == 64 + sizeof(void*), "the service's data follows pBlock");

#if defined(_WIN32) && !defined(_WIN64)
static_assert(alignof(NewsHeadline) == 4, "32-bit arrays of headlines are packed at 160-byte strides");
#endif
