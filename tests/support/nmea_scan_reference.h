// The GGA and ZDA readings by sscanf itself, which the typed readers must
// match field for field and in their return value.
#pragma once

#include <cstdio>

#include "formats/nmea_scan.h"

inline int ReferenceScanGga(const char* text, bool anyTalker, GgaFields& f) {
  const char* pattern = anyTalker ? "$%*c%*cGGA,%lf,%lf,%c,%lf,%c,%d,%d,%lf,%lf,M,%lf,M"
                                  : "$GPGGA,%lf,%lf,%c,%lf,%c,%d,%d,%lf,%lf,M,%lf,M";
  return std::sscanf(text, pattern, &f.utc, &f.latitude, &f.latitudeLetter, &f.longitude, &f.longitudeLetter,
                     &f.quality, &f.satellites, &f.hdop, &f.altitude, &f.geoidSeparation);
}

inline int ReferenceScanZda(const char* text, ZdaFields& f) {
  return std::sscanf(text, "$%*c%*cZDA,%2d%2d%lf,%d,%d,%d,%d,%d", &f.hour, &f.minute, &f.seconds, &f.day, &f.month,
                     &f.year, &f.zoneHours, &f.zoneMinutes);
}
