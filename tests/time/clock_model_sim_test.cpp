// The clock models against a simulated device clock that runs 50 ppm fast or
// slow: PC samples carry up to 1 ms of host-side delay, GPS samples none. The
// seed is fixed and can be overridden with NYX_TEST_SEED.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "support/capture.h"
#include "support/test_seed.h"
#include "time/comm_time.h"

namespace {

// Salts the shared seed so that this file draws its own clocks (20240611
// with the default seed).
constexpr std::uint64_t kClockSimSalt = 20240611u ^ 20261205u;
constexpr int kTrials = 20;

std::uint64_t BaseSeed() { return TestSeed() ^ kClockSimSalt; }

// Device seconds to true host (or GPS) seconds.
struct DeviceClock {
  double rate;
  double offset;
  double TrueTime(double device) const { return rate * device + offset; }
  // The device counter at a true time, in whole microseconds as devices stamp.
  double DeviceAt(double trueTime) const { return std::round((trueTime - offset) / rate * 1e6) / 1e6; }
};

struct Errors {
  double max = 0.0;
  double rms = 0.0;
};

DeviceClock RandomClock(std::mt19937_64& rng, double ppm) {
  std::uniform_real_distribution<double> counterStart(1e3, 2e5);
  std::uniform_real_distribution<double> hostStart(1.45e9, 1.46e9);  // around 2026
  const double rate = 1.0 + ppm * 1e-6;
  return DeviceClock{rate, hostStart(rng) - rate * counterStart(rng)};
}

// Conversion errors over the span a conversion may ask for: from the
// second-oldest sample to a second after the newest.
Errors Measure(CECommTime& time, const DeviceClock& clock, double firstDevice, double lastDevice) {
  const unsigned missesBefore = time.GetMissCount();
  constexpr int kPoints = 2000;
  double sumSquares = 0.0;
  Errors errors;
  for (int i = 0; i <= kPoints; ++i) {
    const double device = firstDevice + (lastDevice + 1.0 - firstDevice) * i / kPoints;
    const double error = time.ConvertTime(device).GetValue() - clock.TrueTime(device);
    errors.max = std::max(errors.max, std::fabs(error));
    sumSquares += error * error;
  }
  errors.rms = std::sqrt(sumSquares / (kPoints + 1));
  EXPECT_EQ(time.GetMissCount(), missesBefore) << "every time in the span is covered";
  return errors;
}

struct Scenario {
  const char* name;
  bool gps;
  double ppm;
  int samples;
  double bound;  // seconds
};

void RunScenario(const Scenario& s) {
  const std::uint64_t seed = BaseSeed();
  SCOPED_TRACE(std::string(s.name) + ", drawn from NYX_TEST_SEED=" + std::to_string(TestSeed()));
  ScopedReports reports;  // GPS samples raise the PC clock alarm; keep it quiet
  Errors worst;
  double wholeMax = 0.0;
  double sumSquares = 0.0;
  for (int trial = 0; trial < kTrials; ++trial) {
    std::seed_seq seq{seed, static_cast<std::uint64_t>(trial)};
    std::mt19937_64 rng(seq);
    const DeviceClock clock = RandomClock(rng, s.ppm);
    std::uniform_real_distribution<double> hostDelay(0.0, 1e-3);
    CECommTime time;
    time.m_bUseGps = s.gps ? 1 : 0;
    time.m_bSyncPcClock = 0;
    // One sample a second; a GPS second starts on a whole second.
    const double start = std::floor(clock.TrueTime(1e4)) + 1.0;
    double secondOldest = 0.0, fifth = 0.0, newest = 0.0;
    for (int k = 0; k < s.samples; ++k) {
      const double device = clock.DeviceAt(start + k);
      if (s.gps) {
        time.ProcessGpsTime(SYSTEMTIME{}, device * 1e6, CTm80(start + k));
      } else {
        time.m_pcBuf.Add(false, device, clock.TrueTime(device) + hostDelay(rng));
      }
      if (k == std::max(1, s.samples - 59)) secondOldest = device;
      if (k == 4) fifth = device;
      newest = device;
    }
    // Once the model has its fourth sample (where a GPS model re-seeds), every
    // time from then on; and, for the record, the whole span the ring covers,
    // whose oldest lines date from before the re-seed.
    const Errors e = Measure(time, clock, std::max(secondOldest, fifth), newest);
    const Errors whole = Measure(time, clock, secondOldest, newest);
    worst.max = std::max(worst.max, e.max);
    wholeMax = std::max(wholeMax, whole.max);
    sumSquares += e.rms * e.rms;
    EXPECT_LT(e.max, s.bound) << "trial " << trial;
  }
  worst.rms = std::sqrt(sumSquares / kTrials);
  std::printf("[ clock sim ] %-26s max %8.3f us  RMS %8.3f us  (whole ring: max %8.3f us; %d trials, seed %llu)\n",
              s.name, worst.max * 1e6, worst.rms * 1e6, wholeMax * 1e6, kTrials,
              static_cast<unsigned long long>(seed));
}

}  // namespace

TEST(ClockModelSim, PcModelFollowsADriftingDeviceWithinTwoMilliseconds) {
  for (const Scenario& s : {Scenario{"PC, +50 ppm, 60 samples", false, 50.0, 60, 2e-3},
                            Scenario{"PC, -50 ppm, 60 samples", false, -50.0, 60, 2e-3},
                            Scenario{"PC, +50 ppm, 600 samples", false, 50.0, 600, 2e-3},
                            Scenario{"PC, -50 ppm, 600 samples", false, -50.0, 600, 2e-3}}) {
    RunScenario(s);
  }
}

TEST(ClockModelSim, GpsModelFollowsADriftingDeviceWithinFiftyMicroseconds) {
  for (const Scenario& s : {Scenario{"GPS, +50 ppm, 60 samples", true, 50.0, 60, 50e-6},
                            Scenario{"GPS, -50 ppm, 60 samples", true, -50.0, 60, 50e-6},
                            Scenario{"GPS, +50 ppm, 600 samples", true, 50.0, 600, 50e-6},
                            Scenario{"GPS, -50 ppm, 600 samples", true, -50.0, 600, 50e-6}}) {
    RunScenario(s);
  }
}
