// The zone dates are written in: a fixed offset or the machine's own zone.
#pragma once

#include "libs/newssvc/common/Dates.h"

namespace newssvc {

// The zone the records' dates and times are written in: a fixed offset, or the machine's own zone.
struct RecordZone {
  bool fixed = false;
  int offsetSeconds = 0;

  int OffsetAt(UtcSeconds utc) const;
};

// The service's date value of an instant: YYYYMMDD as a number.
long DateValue(UtcSeconds utc, const RecordZone& zone);

// The machine zone's offset from UTC, in seconds, at the instant `utc`.
int MachineZoneOffset(UtcSeconds utc);

}  // namespace newssvc
