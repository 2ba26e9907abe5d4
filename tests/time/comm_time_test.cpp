// The clock models together: which model a conversion uses, the upkeep that
// empties a model after a time jump, the use-GPS switch, GPS samples with PC
// clock setting, and the ZDA step of the comms windows.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "support/capture.h"
#include "support/fake_pc_clock.h"
#include "time/comm_time.h"
#include "time/pulse_per_second.h"
#include "time/zda_time.h"

namespace {

// 2002-07-04 20:15:30 UTC in host seconds.
constexpr double kZdaHostSeconds = 710280930.0;
const SYSTEMTIME kZdaUtc{2002, 7, 4, 4, 20, 15, 30, 0};

CBufEntry Newest(CTimeFitBuf& buf) {
  CBufEntry e;
  EXPECT_TRUE(buf.GetLast(e));
  return e;
}

}  // namespace

TEST(CommTime, ConvertsWithGpsThenPcThenTheLastTime) {
  ScopedClock clock(777.0);
  CECommTime time;
  // GPS covers device time from 20 s, at offset 1000; PC covers from 11 s, at offset 2000.
  for (double x : {19.0, 20.0, 21.0}) time.m_gpsBuf.Add(true, x, x + 1000.0);
  for (double x = 10.0; x <= 30.0; x += 1.0) time.m_pcBuf.Add(false, x, x + 2000.0);

  struct Step {
    int useGps;
    double t;
    double expected;
    unsigned misses;
  };
  const Step steps[] = {
      {1, 5.0, 777.0, 1},      // nothing covers: the time at construction
      {1, 25.0, 1025.0, 1},    // GPS
      {1, 19.5, 2019.5, 1},    // before GPS's second-oldest sample: PC
      {0, 25.0, 2025.0, 1},    // GPS off: PC
      {0, 10.5, 2025.0, 2},    // nothing covers: the last converted time
      {1, 5.0, 2025.0, 3},
      {1, 20.0, 1020.0, 3},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE("use GPS " + std::to_string(s.useGps) + " t " + std::to_string(s.t));
    time.m_bUseGps = s.useGps;
    EXPECT_DOUBLE_EQ(time.ConvertTime(s.t).GetValue(), s.expected);
    EXPECT_EQ(time.GetMissCount(), s.misses);
    EXPECT_DOUBLE_EQ(time.GetLastTime().GetValue(), s.expected);
  }
  // Emptied models keep the last time.
  time.m_pcBuf.Clear();
  time.m_gpsBuf.Clear();
  EXPECT_DOUBLE_EQ(time.ConvertTime(25.0).GetValue(), 1020.0);
  EXPECT_EQ(time.GetMissCount(), 4u);
}

TEST(CommTime, UpkeepReportsTheNewestLineAndEmptiesTheModelPastTheResetLimit) {
  // The third sample jumps by y3 - 1 from a unit line; the newest line's
  // residual at its own sample is then exactly 1 - y3.
  struct Case {
    bool gps;
    double y3;
    bool cleared;
    const char* text;
  };
  const double justAbove = std::nextafter(3.0, 4.0);
  const Case cases[] = {
      {false, 3.0, false, "ManagePcTime  M=1.000010, C=-0.000010"},
      {false, justAbove, true, "ManagePcTime  M=1.000010, C=-0.000010"},
      {false, -1.0, false, "ManagePcTime  M=0.999990, C=0.000010"},
      // -1 - 2^-52: the smallest jump whose residual 2 + 2^-51 is above the limit
      {false, std::nextafter(std::nextafter(-1.0, -2.0), -2.0), true, "ManagePcTime  M=0.999990, C=0.000010"},
      {false, 1.5, false, "ManagePcTime  M=1.000010, C=-0.000010"},
      {true, 3.0, false, "ManageGpsTime M=1.000010, C=-0.000010"},
      {true, justAbove, true, "ManageGpsTime M=1.000010, C=-0.000010"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.gps ? "GPS" : "PC") + " y3 " + std::to_string(c.y3));
    ScopedReports reports;
    CECommTime time;
    CTimeFitBuf& model = c.gps ? time.m_gpsBuf : time.m_pcBuf;
    CTimeFitBuf& other = c.gps ? time.m_pcBuf : time.m_gpsBuf;
    for (CTimeFitBuf* buf : {&model, &other}) {
      buf->Add(false, 0.0, 0.0);
      buf->Add(false, 1.0, 1.0);
    }
    model.Add(false, 1.0, c.y3);
    if (c.gps) {
      time.ManageGpsTime();
    } else {
      time.ManagePcTime();
    }
    EXPECT_EQ(model.GetCount(), c.cleared ? 0u : 3u);
    EXPECT_EQ(other.GetCount(), 2u) << "the other model is left alone";
    const double residual = c.gps ? time.m_gpsResidual : time.m_pcResidual;
    const double drift = c.gps ? time.m_gpsDrift : time.m_pcDrift;
    EXPECT_EQ(residual, 1.0 - c.y3);
    EXPECT_NEAR(drift, c.y3 > 1.0 ? 1e-5 : -1e-5, 1e-15);
    const auto status = reports->Of(Nyx::ReportKind::Status, c.gps ? 3024 : 3023);
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(status[0].level, 2);
    EXPECT_EQ(status[0].text, c.text);
    EXPECT_EQ(reports->All().size(), 1u);
  }
}

TEST(CommTime, UpkeepOfAnEmptyModelSaysNothingAndAClearedModelRestartsWithUnitSlope) {
  ScopedReports reports;
  CECommTime time;
  time.ManagePcTime();
  time.ManageGpsTime();
  EXPECT_TRUE(reports->All().empty());

  for (int k = 0; k < 10; ++k) time.m_pcBuf.Add(false, k, 0.995 * k);
  time.m_pcBuf.Add(false, 10.0, 100.0);  // a host clock step
  time.ManagePcTime();
  EXPECT_EQ(time.m_pcBuf.GetCount(), 0u);
  time.m_pcBuf.Add(false, 11.0, 101.0);
  const CBufEntry e = Newest(time.m_pcBuf);
  EXPECT_EQ(e.m, 1.0);
  EXPECT_EQ(e.c, 90.0);
}

TEST(CommTime, ChangingUseGpsEmptiesBothModelsAndSettingItAgainDoesNot) {
  struct Step {
    int on;
    bool cleared;
  };
  const Step steps[] = {{1, false}, {0, true}, {0, false}, {1, true}, {2, true}, {2, false}};
  CECommTime time;
  time.m_bUseGps = 1;
  for (const auto& s : steps) {
    SCOPED_TRACE("SetUseGps(" + std::to_string(s.on) + ")");
    time.m_pcBuf.Add(false, 1.0, 1.0);
    time.m_gpsBuf.Add(false, 1.0, 1.0);
    const std::size_t pcBefore = time.m_pcBuf.GetCount();
    const std::size_t gpsBefore = time.m_gpsBuf.GetCount();
    time.SetUseGps(s.on);
    EXPECT_EQ(time.m_bUseGps.load(), s.on);
    EXPECT_EQ(time.m_pcBuf.GetCount(), s.cleared ? 0u : pcBefore);
    EXPECT_EQ(time.m_gpsBuf.GetCount(), s.cleared ? 0u : gpsBefore);
  }
}

TEST(CommTime, GpsTimeAddsTheSampleAndReportsWhyThePcClockWasNotSet) {
  struct Case {
    const char* name;
    int syncPcClock;
    bool settingOn;
    double pcClockOffset;  // PC clock minus the ZDA's time
    unsigned long setResult;
    int proxies;
    int sets;
    const char* alarm;  // null: no alarm
  };
  const Case cases[] = {
      {"sync off", 0, true, 30.0, 0, 0, 0, "CECommTime::ProcessGpsTime: m_bSyncPcClock is FALSE"},
      {"setting off", 1, false, 30.0, 0, 1, 0, "CECommTime::ProcessGpsTime: FAILED with error 125"},
      {"clock right", 1, true, 0.4, 0, 1, 0, nullptr},
      {"clock set", 1, true, -30.0, 0, 1, 1, nullptr},
      {"no right to set", 1, true, 30.0, EPERM, 1, 1, "CECommTime::ProcessGpsTime: FAILED with error 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedReports reports;
    ScopedFakePcClock pcClock(c.settingOn, kZdaHostSeconds + c.pcClockOffset);
    pcClock->setResult = c.setResult;
    CECommTime time;
    time.m_bSyncPcClock = c.syncPcClock;
    for (int call = 1; call <= 2; ++call) {
      time.ProcessGpsTime(kZdaUtc, 123456789.0 + call * 1e6, CTm80(kZdaHostSeconds + call));
      EXPECT_EQ(time.m_gpsBuf.GetCount(), static_cast<std::size_t>(call)) << "the sample is kept in every case";
      const CBufEntry e = Newest(time.m_gpsBuf);
      EXPECT_DOUBLE_EQ(e.x, 123.456789 + call);
      EXPECT_EQ(e.y, kZdaHostSeconds + call);
      const auto alarms = reports->Of(Nyx::ReportKind::Alarm, 3065);
      ASSERT_EQ(alarms.size(), c.alarm ? static_cast<std::size_t>(call) : 0u) << "an alarm on every call";
      if (c.alarm) {
        EXPECT_EQ(alarms.back().level, 1);
        EXPECT_EQ(alarms.back().text, c.alarm);
      }
    }
    // A successful step puts the fake clock right, so the second call leaves it.
    EXPECT_EQ(pcClock->created, c.proxies * 2);
    EXPECT_EQ(pcClock->destroyed, pcClock->created) << "the proxy lives for one call";
    ASSERT_EQ(pcClock->sets.size(), static_cast<std::size_t>(c.sets * (c.setResult ? 2 : 1)));
    for (double set : pcClock->sets) EXPECT_EQ(set, kZdaHostSeconds);
    EXPECT_TRUE(reports->Of(Nyx::ReportKind::Status).empty());
  }
}

TEST(ZdaTime, PairsTheGpsSecondWithThePulseOrTheFallbackDeviceTime) {
  struct Case {
    int sync;
    double lastFpga;
    double fallback;
    double device;  // expected device time of the GPS sample, microseconds
  };
  const Case cases[] = {
      {1, 5.5e6, 9e6, 5.5e6},
      {2, 5.5e6, 9e6, 5.5e6},
      {0, 5.5e6, 9e6, 9e6},   // no polarity selected: the pulse is not used
      {1, 0.0, 9e6, 9e6},     // no edge seen yet
      {1, -3.0, 9e6, 9e6},
      {0, 0.0, 0.0, 0.0},
  };
  for (int statusId : {3027, 3022}) {
    for (const auto& c : cases) {
      SCOPED_TRACE("status " + std::to_string(statusId) + " sync " + std::to_string(c.sync) + " fpga " +
                   std::to_string(c.lastFpga));
      ScopedReports reports;
      CECommTime time;
      time.m_bSyncPcClock = 0;
      time.m_bUseGps = 1;
      CPulsePerSecond pps;
      pps.m_sync = c.sync;
      pps.m_lastFpgaTime = c.lastFpga;
      // The previous GPS second, one device second earlier: the new line maps
      // the chosen device time onto the ZDA's time exactly.
      time.m_gpsBuf.Add(true, c.device * 1e-6 - 1.0, kZdaHostSeconds - 1.0);
      CTm80 gps(kZdaHostSeconds);
      ProcessZdaTime(time, pps, c.fallback, gps, kZdaUtc, statusId);

      const CBufEntry e = Newest(time.m_gpsBuf);
      EXPECT_EQ(e.x, c.device * 1e-6);
      EXPECT_EQ(e.y, kZdaHostSeconds);
      const auto status = reports->Of(Nyx::ReportKind::Status, statusId);
      ASSERT_EQ(status.size(), 1u);
      EXPECT_EQ(status[0].level, 2);
      EXPECT_EQ(status[0].text, "Comm ZDA,20:15:30 04/07/2002 PPS 710280930.000000");
      EXPECT_EQ(reports->Of(Nyx::ReportKind::Alarm, 3065).size(), 1u);
    }
  }
}

// The PC clock is stepped to the named second plus the time since its pulse,
// which the ZDA follows; only through the fake clock.
TEST(ZdaTime, StepsThePcClockToTheSecondPlusTheTimeSinceThePulse) {
  const struct {
    const char* name;
    int sync;
    double handled;  // the pulse's record handled this long after the pulse
    double zdaAfter;  // the ZDA handled this long after the pulse
    double expected;  // the time set, after the named second
  } cases[] = {
      {"pulse 0.4 s before", 1, 0.01, 0.4, 0.4},
      {"pulse 0.95 s before", 1, 0.3, 0.95, 0.95},
      {"pulse a second old belongs to another second", 1, 0.01, 1.5, 0.0},
      {"no polarity, no pulse", 0, 0.01, 0.4, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedReports reports;
    ScopedClock clock(kZdaHostSeconds + c.handled);
    ScopedFakePcClock pcClock(true, kZdaHostSeconds + 5.0);
    CECommTime time;
    time.m_bSyncPcClock = 1;
    CPulsePerSecond pps;
    pps.m_sync = 1;
    pps.NewSerialPulse(kZdaHostSeconds);
    pps.m_sync = c.sync;
    clock->Set(kZdaHostSeconds + c.zdaAfter);
    CTm80 gps(kZdaHostSeconds);
    ProcessZdaTime(time, pps, kZdaHostSeconds * 1e6, gps, kZdaUtc, 3027);
    ASSERT_EQ(pcClock->sets.size(), 1u);
    EXPECT_NEAR(pcClock->sets[0], kZdaHostSeconds + c.expected, 1e-6);
  }
}

TEST(ZdaTime, StatusShowsTheLastTimeWhenNoModelCoversThePulse) {
  ScopedClock clock(4321.5);
  ScopedReports reports;
  CECommTime time;
  time.m_bSyncPcClock = 0;
  CPulsePerSecond pps;
  pps.m_sync = 1;
  pps.m_lastFpgaTime = 2e6;
  CTm80 gps(kZdaHostSeconds);
  const SYSTEMTIME utc{2026, 12, 0, 31, 23, 59, 59, 0};
  ProcessZdaTime(time, pps, 0.0, gps, utc, 3027);
  const auto status = reports->Of(Nyx::ReportKind::Status, 3027);
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].text, "Comm ZDA,23:59:59 31/12/2026 PPS 4321.500000");
  EXPECT_EQ(time.GetMissCount(), 1u);
}

// Samples arrive on one thread while conversions and the upkeep run on
// others; every conversion must see a whole line.
TEST(CommTime, SamplesFromOneThreadWhileConvertingOnAnother) {
  ScopedReports reports;
  ScopedClock clock(1000.0);
  CECommTime time;
  time.m_bSyncPcClock = 0;
  constexpr int kSamples = 4000;
  constexpr double kOffset = 1000.0;

  std::thread feeder([&] {
    for (int k = 0; k < kSamples; ++k) {
      time.m_pcBuf.Add(false, k, k + kOffset);
      if (k % 4 == 0) time.ProcessGpsTime(kZdaUtc, k * 1e6, CTm80(k + kOffset));
    }
  });
  std::thread upkeep([&] {
    for (int k = 0; k < kSamples / 4; ++k) {
      time.ManageGpsTime();
      time.ManagePcTime();
      if (k % 100 == 0) time.SetUseGps(k % 200 == 0);
    }
  });
  for (int k = 0; k < kSamples * 2; ++k) {
    const double t = (k % kSamples) + 0.5;
    const double v = time.ConvertTime(t).GetValue();
    // Every sample lies on one unit-slope line, so a conversion gives t plus
    // the offset, and a miss repeats an earlier conversion or the time at
    // construction. A torn entry would give anything else.
    if (v == 1000.0) continue;
    const double converted = v - kOffset;
    ASSERT_GE(converted, 0.5) << k;
    ASSERT_LE(converted, kSamples - 0.5) << k;
    ASSERT_NEAR(converted - std::floor(converted), 0.5, 1e-6) << k;
  }
  feeder.join();
  upkeep.join();
  EXPECT_EQ(reports->Of(Nyx::ReportKind::Alarm, 3065).size(), static_cast<std::size_t>(kSamples / 4));
}
