// Sensors for the simulated sonar heads: what they send and when.
#include <gtest/gtest.h>

#include <string>

#include "sonar/sensor_source.h"

TEST(GgaZdaSource, SentencesOfOneSecond) {
  struct Case {
    double latitude, longitude, altitude;
    const char* gga;
  };
  const Case cases[] = {
      {47.378077, 8.232479, 412.3,
       "$GPGGA,201530.00,4722.68462,N,00813.94874,E,1,09,0.9,412.3,M,47.0,M,,*6F\r\n"},
      {-(33.0 + 52.0 / 60.0), -151.21, -5.0,
       "$GPGGA,201530.00,3352.00000,S,15112.60000,W,1,09,0.9,-5.0,M,47.0,M,,*4A\r\n"},
  };
  for (const auto& c : cases) {
    CGgaZdaSource source;
    source.SetPosition(c.latitude, c.longitude, c.altitude);
    // 2002-07-04 20:15:30 UTC
    EXPECT_EQ(source.Sentences(710280930), std::string(c.gga) + "$GPZDA,201530.00,04,07,2002,00,00*60\r\n");
  }
}

TEST(GgaZdaSource, OneBurstPerSecondAfterThePulse) {
  struct Step {
    double notBefore;
    double expected;
  };
  CGgaZdaSource source(0.05);
  const Step steps[] = {
      {1000.0, 1000.05},   // the second that starts now
      {1000.05, 1001.05},  // a second is never sent twice
      {1000.2, 1002.05},
      {1004.06, 1005.05},  // too late for 1004
      {1005.5, 1006.05},
  };
  for (const auto& step : steps) {
    const auto burst = source.Next(step.notBefore);
    ASSERT_TRUE(burst) << step.notBefore;
    EXPECT_DOUBLE_EQ(burst->hostTime, step.expected) << step.notBefore;
    EXPECT_EQ(burst->bytes, source.Sentences(static_cast<std::int64_t>(step.expected))) << step.notBefore;
  }
}
