#include "formats/nmea_scan.h"

#include "formats/scan_cursor.h"

int ScanGga(const char* text, bool anyTalker, GgaFields& f) {
  ScanCursor in(text);
  const bool header = anyTalker ? in.Literal('$') && in.SkipChar() && in.SkipChar() && in.Literals("GGA,")
                                : in.Literals("$GPGGA,");
  header && in.Double(f.utc) && in.Literal(',') && in.Double(f.latitude) && in.Literal(',') &&
      in.Char(f.latitudeLetter) && in.Literal(',') && in.Double(f.longitude) && in.Literal(',') &&
      in.Char(f.longitudeLetter) && in.Literal(',') && in.Int(f.quality) && in.Literal(',') &&
      in.Int(f.satellites) && in.Literal(',') && in.Double(f.hdop) && in.Literal(',') && in.Double(f.altitude) &&
      in.Literals(",M,") && in.Double(f.geoidSeparation) && in.Literals(",M");
  return in.Result();
}

int ScanZda(const char* text, ZdaFields& f) {
  ScanCursor in(text);
  in.Literal('$') && in.SkipChar() && in.SkipChar() && in.Literals("ZDA,") && in.Int(f.hour, 2) &&
      in.Int(f.minute, 2) && in.Double(f.seconds) && in.Literal(',') && in.Int(f.day) && in.Literal(',') &&
      in.Int(f.month) && in.Literal(',') && in.Int(f.year) && in.Literal(',') && in.Int(f.zoneHours) &&
      in.Literal(',') && in.Int(f.zoneMinutes);
  return in.Result();
}
