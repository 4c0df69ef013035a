// Dates as feeds and HTTP headers write them: RFC 822 as real feeds write it (two- or four-digit years,
// optional weekday, missing seconds, named or numeric zones, single-digit days), RFC 3339 / ISO 8601 as Atom
// and Dublin Core write it, and the two obsolete forms an HTTP recipient must still read (RFC 850's
// "Sunday, 06-Nov-94 08:49:37 GMT" and asctime's "Sun Nov  6 08:49:37 1994"). Times are seconds since
// 1970-01-01 UTC, computed without the C library's time zone state so that parsing is thread-safe and the
// same on every platform.
#pragma once

#include <cstdint>
#include <string>

namespace newssvc {

// Seconds since the epoch, UTC.
using UtcSeconds = std::int64_t;

// Parses a date of any of the forms above; false when the text is none of them.
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
