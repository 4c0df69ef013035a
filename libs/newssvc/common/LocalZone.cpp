#include "libs/newssvc/common/LocalZone.h"

#include <ctime>

namespace newssvc {

int MachineZoneOffset(UtcSeconds utc) {
  const std::time_t instant = static_cast<std::time_t>(utc);
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &instant) != 0) return 0;
#else
  if (localtime_r(&instant, &local) == nullptr) return 0;
#endif
  const UtcSeconds asUtc =
      FromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return static_cast<int>(asUtc - utc);
}

int RecordZone::OffsetAt(UtcSeconds utc) const { return fixed ? offsetSeconds : MachineZoneOffset(utc); }

long DateValue(UtcSeconds utc, const RecordZone& zone) {
  const CivilTime civil = ToCivil(utc, zone.OffsetAt(utc));
  return civil.year * 10000L + civil.month * 100L + civil.day;
}

}  // namespace newssvc
