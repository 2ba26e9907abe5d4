// The clock models against a simulated device clock that runs 50 ppm fast or
// slow: PC samples carry up to 1 ms of host-side delay, GPS samples none. The
// seed is fixed and can be overridden with NYX_TEST_SEED.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "support/capture.h"
#include "support/test_seed.h"
#include "time/comm_time.h"

TEST(ClockModelSim, ModelsFollowADriftingDevice) {
  const std::uint64_t seed = TestSeed() ^ 20240611u ^ 20261205u;  // salted: this file draws its own clocks
  ScopedReports reports;  // GPS samples raise the PC clock alarm; keep it quiet
  // GPS or PC samples, 50 ppm fast or slow, a short or a full ring.
  for (int scenario = 0; scenario < 8; ++scenario) {
    const bool gps = scenario >= 4;
    const double ppm = scenario % 2 ? -50.0 : 50.0;
    const int samples = scenario & 2 ? 600 : 60;
    SCOPED_TRACE(std::string(gps ? "GPS " : "PC ") + std::to_string(ppm) + " ppm, " + std::to_string(samples) +
                 " samples, NYX_TEST_SEED=" + std::to_string(TestSeed()));
    for (int trial = 0; trial < 20; ++trial) {
      std::seed_seq seq{seed, static_cast<std::uint64_t>(trial)};
      std::mt19937_64 rng(seq);
      std::uniform_real_distribution<double> counterStart(1e3, 2e5);
      std::uniform_real_distribution<double> hostStart(1.45e9, 1.46e9);  // around 2026
      std::uniform_real_distribution<double> hostDelay(0.0, 1e-3);
      // Device seconds to true host (or GPS) seconds; devices stamp whole microseconds.
      const double rate = 1.0 + ppm * 1e-6;
      const double offset = hostStart(rng) - rate * counterStart(rng);
      const auto deviceAt = [&](double trueTime) { return std::round((trueTime - offset) / rate * 1e6) / 1e6; };
      CECommTime time;
      time.m_bUseGps = gps ? 1 : 0;
      time.m_bSyncPcClock = 0;
      // One sample a second; a GPS second starts on a whole second.
      const double start = std::floor(rate * 1e4 + offset) + 1.0;
      double secondOldest = 0.0, fifth = 0.0, newest = 0.0;
      for (int k = 0; k < samples; ++k) {
        const double device = deviceAt(start + k);
        if (gps) {
          time.ProcessGpsTime(SYSTEMTIME{}, device * 1e6, CTm80(start + k));
        } else {
          time.m_pcBuf.Add(false, device, rate * device + offset + hostDelay(rng));
        }
        if (k == std::max(1, samples - 59)) secondOldest = device;
        if (k == 4) fifth = device;
        newest = device;
      }
      // Every time the ring covers once the model has had its fourth sample
      // (where a GPS model re-seeds), to a second after the newest.
      const double first = std::max(secondOldest, fifth);
      double error = 0.0;
      for (int i = 0; i <= 2000; ++i) {
        const double device = first + (newest + 1.0 - first) * i / 2000;
        error = std::max(error, std::fabs(time.ConvertTime(device).GetValue() - (rate * device + offset)));
      }
      EXPECT_EQ(time.GetMissCount(), 0u) << "every time in the span is covered";
      EXPECT_LT(error, gps ? 50e-6 : 2e-3) << "trial " << trial;
    }
  }
}
