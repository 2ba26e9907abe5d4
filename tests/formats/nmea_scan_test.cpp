// The typed GGA and ZDA readers give what sscanf gives: fields and return value.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

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
  // Doubles bit for bit, so that a NaN or a -0 read differently shows.
  const auto same = [](const double& a, const double& b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  for (const char* text : kNmeaScanTestTexts) {
    for (bool anyTalker : {false, true}) {
      GgaFields ours, theirs;
      EXPECT_EQ(ScanGga(text, anyTalker, ours), ReferenceScanGga(text, anyTalker, theirs)) << text;
      EXPECT_TRUE(same(ours.utc, theirs.utc) && same(ours.longitude, theirs.longitude)) << text;
      EXPECT_TRUE(same(ours.hdop, theirs.hdop) && same(ours.geoidSeparation, theirs.geoidSeparation)) << text;
      EXPECT_EQ(ours.latitudeLetter, theirs.latitudeLetter) << text;
      EXPECT_EQ(ours.quality, theirs.quality) << text;
      EXPECT_EQ(ours.satellites, theirs.satellites) << text;
    }
    ZdaFields ours, theirs;
    EXPECT_EQ(ScanZda(text, ours), ReferenceScanZda(text, theirs)) << text;
    EXPECT_EQ(ours.seconds, theirs.seconds) << text;
    EXPECT_EQ(std::vector<int>({ours.hour, ours.minute, ours.year, ours.zoneHours, ours.zoneMinutes}),
              std::vector<int>({theirs.hour, theirs.minute, theirs.year, theirs.zoneHours, theirs.zoneMinutes}))
        << text;
  }
}
