// Publication dates of feed items: RFC 822 as real feeds write it (two- or four-digit years, optional
// weekday, missing seconds, named or numeric zones, single-digit days) and RFC 3339 / ISO 8601 as Atom and
// Dublin Core write it. Times are seconds since 1970-01-01 UTC, computed without the C library's time zone
// state so that parsing is thread-safe and the same on every platform.
#pragma once

#include <cstdint>
#include <string>

namespace newssvc {

// Seconds since the epoch, UTC.
using UtcSeconds = std::int64_t;

// Parses an RFC 822 or RFC 3339 date; false when the text is neither.
bool ParseFeedDate(const std::string& text, UtcSeconds& utc);

// A numeric zone ("+0800", "-05:00", "+8") as its offset from UTC in seconds; false for anything else.
bool ParseNumericZone(const std::string& text, int& offsetSeconds);

// Civil date and time of a UTC instant shifted by `offsetSeconds` (the zone's offset from UTC).
struct CivilTime {
  int year, month, day, hour, minute, second;
};
CivilTime ToCivil(UtcSeconds utc, int offsetSeconds);

// Seconds since the epoch of a civil date and time read as UTC.
UtcSeconds FromCivil(int year, int month, int day, int hour, int minute, int second);

}  // namespace newssvc
