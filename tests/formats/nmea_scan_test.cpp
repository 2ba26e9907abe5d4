// The typed GGA and ZDA readers give what sscanf gives: fields and return value.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/nmea_scan_reference.h"

namespace {

const char* const kNmeaScanTestTexts[] = {
    "$GPGGA,123519.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,*69",
    "$GNGGA,123519,4807.038,S,01131.000,W,0,00,,,M,,M,,*47",  // empty fields stop the scan
    "$GPGGA,,4807.038,N",
    "$GPGGA, 1e3,+.5,N, -0x1.8p1,E, +7,-08,inf,NaN,M,1e,M",
    "$GPGGA,1E+,2e-,N,0x,E,1,2,3,4,M,5,M",
    "$GPGGA,99999999999,1,N,1,E,99999999999,-99999999999999999999,1,1,M,1,M",
    "$GPGGA,infinit,1",
    "$GPGGA,0x.p1,00x1",
    "$GPGGA,1.5.5,N",
    "$GP",
    "",
    "$GPZDA,201530.00,04,07,2002,00,00*60",
    "$GPZDA,2015,04",
    "$GPZDA,-1+230.5,1,2,3,4,5",
    "$GPZDA, 2 1 30,04,07,02,-05,30",
    "$GPZDA,201530.00,04,07",
    "$GPZDA,201530.00,04,07,2002,00",
    "$XXZDA,",
};

}  // namespace

TEST(NmeaScan, ReadsWhatSscanfReads) {
  for (const char* text : kNmeaScanTestTexts) {
    for (bool anyTalker : {false, true}) {
      GgaFields ours, theirs;
      EXPECT_EQ(ScanGga(text, anyTalker, ours), ReferenceScanGga(text, anyTalker, theirs)) << text;
      EXPECT_EQ(std::memcmp(&ours.utc, &theirs.utc, sizeof(double)), 0) << text;
      EXPECT_EQ(ours.latitudeLetter, theirs.latitudeLetter) << text;
      EXPECT_EQ(std::memcmp(&ours.longitude, &theirs.longitude, sizeof(double)), 0) << text;
      EXPECT_EQ(ours.quality, theirs.quality) << text;
      EXPECT_EQ(ours.satellites, theirs.satellites) << text;
      EXPECT_EQ(std::memcmp(&ours.hdop, &theirs.hdop, sizeof(double)), 0) << text;
      EXPECT_EQ(std::memcmp(&ours.geoidSeparation, &theirs.geoidSeparation, sizeof(double)), 0) << text;
    }
    ZdaFields ours, theirs;
    EXPECT_EQ(ScanZda(text, ours), ReferenceScanZda(text, theirs)) << text;
    EXPECT_EQ(ours.hour, theirs.hour) << text;
    EXPECT_EQ(ours.minute, theirs.minute) << text;
    EXPECT_EQ(ours.seconds, theirs.seconds) << text;
    EXPECT_EQ(ours.year, theirs.year) << text;
    EXPECT_EQ(ours.zoneHours, theirs.zoneHours) << text;
    EXPECT_EQ(ours.zoneMinutes, theirs.zoneMinutes) << text;
  }
}

TEST(NmeaScan, AWholeSentenceGivesEveryField) {
  GgaFields gga;
  EXPECT_EQ(ScanGga(kNmeaScanTestTexts[0], false, gga), 10);
  EXPECT_EQ(gga.satellites, 8);
  EXPECT_DOUBLE_EQ(gga.geoidSeparation, 46.9);
  ZdaFields zda;
  EXPECT_EQ(ScanZda("$GPZDA,201530.25,04,07,2002,-5,30", zda), 8);
  EXPECT_EQ(zda.minute, 15);
  EXPECT_DOUBLE_EQ(zda.seconds, 30.25);
  EXPECT_EQ(zda.zoneHours, -5);
  EXPECT_EQ(ScanZda("$GP", zda), -1);
}
