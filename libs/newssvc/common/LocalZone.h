// The machine's time zone, the platform part of the service.
#pragma once

#include "libs/newssvc/common/Dates.h"

namespace newssvc {

// The machine zone's offset from UTC, in seconds, at the instant `utc`.
int MachineZoneOffset(UtcSeconds utc);

}  // namespace newssvc
