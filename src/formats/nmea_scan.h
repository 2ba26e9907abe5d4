// The GGA and ZDA sentence fields, read as their scan patterns define them:
//   GGA: "$GPGGA,%lf,%lf,%c,%lf,%c,%d,%d,%lf,%lf,M,%lf,M" (or any talker:
//        "$%*c%*cGGA,..." with the same fields)
//   ZDA: "$%*c%*cZDA,%2d%2d%lf,%d,%d,%d,%d,%d"
// Each returns what sscanf would: the fields read, or -1 when the text ended first.
#pragma once

struct GgaFields {
  double utc = 0.0;
  double latitude = 0.0;
  char latitudeLetter = 0;
  double longitude = 0.0;
  char longitudeLetter = 0;
  int quality = 0;
  int satellites = 0;
  double hdop = 0.0;
  double altitude = 0.0;
  double geoidSeparation = 0.0;
};

struct ZdaFields {
  int hour = 0;
  int minute = 0;
  double seconds = 0.0;
  int day = 0;
  int month = 0;
  int year = 0;
  int zoneHours = 0;
  int zoneMinutes = 0;
};

int ScanGga(const char* text, bool anyTalker, GgaFields& f);
int ScanZda(const char* text, ZdaFields& f);
