// The typed GGA and ZDA readers give what sscanf gives: fields and return value.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/nmea_scan_reference.h"

TEST(NmeaScan, ReadsWhatSscanfReads) {
  // Doubles bit for bit, so that a NaN or a -0 read differently shows.
  const auto same = [](const double& a, const double& b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  std::ifstream in(std::filesystem::path(NYX_SOURCE_DIR) / "tests" / "data" / "nmea_scan" / "texts.txt");
  ASSERT_TRUE(in.is_open());
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with('#')) continue;
    const char* text = line.c_str();
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
