// The clock models together: which model a conversion uses, the upkeep that
// empties a model after a time jump, the use-GPS switch, GPS samples with PC
// clock setting, and the ZDA step of the comms windows.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <string>
#include <thread>

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

// A model converts a time with the line of its newest sample not after it,
// never with the oldest sample's line: a full PC model of 60 seconds keeps
// samples 126 to 185, so it converts from 127 on.
TEST(CommTime, ConvertsWithGpsThenPcThenTheLastTimeAndSwitchingEmptiesBoth) {
  ScopedClock clock(777.0);
  CECommTime time;
  for (double x : {19.0, 20.0, 21.0}) time.m_gpsBuf.Add(true, x, x + 1000.0);
  for (double x = 1.0; x <= 185.0; x += 1.0) time.m_pcBuf.Add(false, x, x + 2000.0);
  const struct {
    int useGps;
    double t;
    double expected;
    unsigned misses;
  } steps[] = {
      {1, 5.0, 777.0, 1},      // nothing covers: the time at construction
      {1, 200.0, 1200.0, 1},   // GPS
      {1, 19.5, 1200.0, 2},    // before GPS's second-oldest sample and PC's: the last converted time
      {0, 200.0, 2200.0, 2},   // GPS off: PC
      {0, 126.9, 2200.0, 3},   // the oldest sample's line is never used
      {0, 127.0, 2127.0, 3},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE("use GPS " + std::to_string(s.useGps) + " t " + std::to_string(s.t));
    time.m_bUseGps = s.useGps;
    EXPECT_DOUBLE_EQ(time.ConvertTime(s.t).GetValue(), s.expected);
    EXPECT_EQ(time.GetMissCount(), s.misses);
  }
  // Switching GPS use empties both models; setting it to what it is does not.
  time.SetUseGps(0);
  EXPECT_EQ(time.m_pcBuf.GetCount(), 60u);
  EXPECT_EQ(time.m_gpsBuf.GetCount(), 3u);
  time.SetUseGps(1);
  EXPECT_EQ(time.m_bUseGps.load(), 1);
  EXPECT_EQ(time.m_pcBuf.GetCount(), 0u);
  EXPECT_EQ(time.m_gpsBuf.GetCount(), 0u);
}

// The third sample jumps by y3 - 1 from a unit line; the newest line's
// residual at its own sample is then exactly 1 - y3.
TEST(CommTime, UpkeepReportsTheNewestLineAndEmptiesTheModelPastTheResetLimit) {
  const struct {
    double y3;
    bool cleared;
    const char* line;
  } cases[] = {
      {3.0, false, "M=1.000010, C=-0.000010"},
      {std::nextafter(3.0, 4.0), true, "M=1.000010, C=-0.000010"},
      {-1.0, false, "M=0.999990, C=0.000010"},
  };
  for (const auto& c : cases) {
    for (const bool gps : {false, true}) {
      SCOPED_TRACE(std::string(gps ? "GPS" : "PC") + " y3 " + std::to_string(c.y3));
      ScopedReports reports;
      CECommTime time;
      CTimeFitBuf& model = gps ? time.m_gpsBuf : time.m_pcBuf;
      model.Add(false, 0.0, 0.0);
      model.Add(false, 1.0, 1.0);
      model.Add(false, 1.0, c.y3);
      time.ManagePcTime();
      time.ManageGpsTime();  // the other model is empty: nothing to say
      EXPECT_EQ(model.GetCount(), c.cleared ? 0u : 3u);
      EXPECT_EQ(gps ? time.m_gpsResidual : time.m_pcResidual, 1.0 - c.y3);
      EXPECT_NEAR(gps ? time.m_gpsDrift : time.m_pcDrift, c.y3 > 1.0 ? 1e-5 : -1e-5, 1e-15);
      const auto all = reports->All();
      ASSERT_EQ(all.size(), 1u);
      EXPECT_EQ(all[0].kind, Nyx::ReportKind::Status);
      EXPECT_EQ(all[0].id, gps ? 3024 : 3023);
      EXPECT_EQ(all[0].level, 2);
      EXPECT_EQ(all[0].text, std::string(gps ? "ManageGpsTime " : "ManagePcTime  ") + c.line);
    }
  }
}

// A ZDA's second goes into the GPS model with the device time of its pulse,
// and the PC clock is stepped to it plus the time since the pulse: only through
// the fake clock, and only when both the window's flag and the operator's
// switch are on and it is more than a second off.
TEST(ZdaTime, PairsTheSecondWithItsPulseAndStepsThePcClock) {
  const SYSTEMTIME lastOf1979{1979, 12, 0, 31, 23, 59, 59, 999};
  constexpr double kFallback = 9.0;  // the window's device time when the pulse is not used
  const std::string kAlarm = "CECommTime::ProcessGpsTime: ";
  const struct {
    const char* name;
    int sync;          // the tracker's polarity
    double zdaAfter;   // the ZDA handled this long after the pulse; -1: no pulse seen
    int syncPcClock;
    bool settingOn;
    SYSTEMTIME utc;
    double pcOffset;   // PC clock minus the ZDA's time
    unsigned long setResult;
    int statusId;
    bool pulse;        // the GPS sample takes the pulse's device time
    double set;        // the time set, after the named second; -1: none
    std::string alarm;
  } cases[] = {
      {"sync off", 0, 0.4, 0, true, kZdaUtc, 30.0, 0, 3027, false, -1, kAlarm + "m_bSyncPcClock is FALSE"},
      {"setting off", 0, 0.4, 1, false, kZdaUtc, 30.0, 0, 3022, false, -1, kAlarm + "FAILED with error 125"},
      {"a second ahead", 0, 0.4, 1, true, kZdaUtc, 1.0, 0, 3027, false, -1, ""},
      {"just past a second", 0, 0.4, 1, true, kZdaUtc, 1.001, 0, 3027, false, 0.0, ""},
      {"no right to set", 0, 0.4, 1, true, kZdaUtc, 30.0, EPERM, 3027, false, 0.0, kAlarm + "FAILED with error 1"},
      {"before 1980", 0, 0.4, 1, true, lastOf1979, 5.0, 0, 3027, false, -1, kAlarm + "FAILED with error 22"},
      {"milliseconds", 0, 0.4, 1, true, {2002, 7, 4, 4, 20, 15, 30, 250}, 5.0, 0, 3027, false, 0.25, ""},
      {"the first moment of 1980 is host time 0", 0, 0.4, 1, true, {1980, 1, 2, 1, 0, 0, 0, 0}, 5.0, 0, 3027,
       false, -kZdaHostSeconds, ""},
      {"positive pulse 0.95 s before", 1, 0.95, 1, true, kZdaUtc, 5.0, 0, 3027, true, 0.95, ""},
      {"negative pulse 0.4 s before", 2, 0.4, 1, true, kZdaUtc, -5.0, 0, 3022, true, 0.4, ""},
      {"pulse a second old", 1, 1.5, 1, true, kZdaUtc, 5.0, 0, 3027, true, 0.0, ""},
      {"no pulse seen yet", 1, -1, 1, true, kZdaUtc, 5.0, 0, 3027, false, 0.0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedReports reports;
    ScopedClock clock(kZdaHostSeconds + 0.01);
    ScopedFakePcClock pcClock(c.settingOn, kZdaHostSeconds + c.pcOffset);
    pcClock->setResult = c.setResult;
    CECommTime time;
    time.m_bSyncPcClock = c.syncPcClock;
    time.m_bUseGps = 1;
    CPulsePerSecond pps;
    pps.m_sync = 1;
    if (c.zdaAfter >= 0) pps.NewSerialPulse(kZdaHostSeconds);
    pps.m_sync = c.sync;
    clock->Set(kZdaHostSeconds + c.zdaAfter);
    // The previous GPS second, one device second earlier: the new line maps
    // the expected device time onto the ZDA's time exactly.
    const double device = c.pulse ? kZdaHostSeconds : kFallback;
    time.m_gpsBuf.Add(true, device - 1.0, kZdaHostSeconds - 1.0);
    CTm80 gps(kZdaHostSeconds);
    ProcessZdaTime(time, pps, kFallback * 1e6, gps, c.utc, c.statusId);

    const CBufEntry e = Newest(time.m_gpsBuf);
    EXPECT_DOUBLE_EQ(e.x, device);
    EXPECT_EQ(e.y, kZdaHostSeconds);
    const auto status = reports->Of(Nyx::ReportKind::Status, c.statusId);
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(status[0].level, 2);
    const std::string shown = c.utc.wMonth == 7 ? "Comm ZDA,20:15:30 04/07/2002 PPS " : " PPS ";
    EXPECT_TRUE(status[0].text.ends_with(shown + "710280930.000000")) << status[0].text;
    const auto alarms = reports->Of(Nyx::ReportKind::Alarm, 3065);
    ASSERT_EQ(alarms.size(), c.alarm.empty() ? 0u : 1u);
    if (!c.alarm.empty()) {
      EXPECT_EQ(alarms[0].level, 1);
      EXPECT_EQ(alarms[0].text, c.alarm);
    }
    ASSERT_EQ(pcClock->sets.size(), c.set == -1 ? 0u : 1u);
    if (c.set != -1) {
      EXPECT_NEAR(pcClock->sets[0], kZdaHostSeconds + c.set, 1e-6);
    }
  }
}

// Samples arrive on one thread while conversions and the upkeep run on
// others: every sample lies on one unit-slope line, so a conversion gives t
// plus 1000 or repeats an earlier one; a torn entry would give anything else.
TEST(CommTime, SamplesFromOneThreadWhileConvertingOnAnother) {
  ScopedReports reports;
  ScopedClock clock(1000.0);
  CECommTime time;
  time.m_bSyncPcClock = 0;
  constexpr int kSamples = 4000;
  std::thread feeder([&] {
    for (int k = 0; k < kSamples; ++k) {
      time.m_pcBuf.Add(false, k, k + 1000.0);
      if (k % 4 == 0) time.ProcessGpsTime(kZdaUtc, k * 1e6, CTm80(k + 1000.0));
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
    const double converted = time.ConvertTime((k % kSamples) + 0.5).GetValue() - 1000.0;
    if (converted == 0.0) continue;  // the time at construction
    ASSERT_GE(converted, 0.5) << k;
    ASSERT_LE(converted, kSamples - 0.5) << k;
    ASSERT_NEAR(converted - std::floor(converted), 0.5, 1e-6) << k;
  }
  feeder.join();
  upkeep.join();
}
