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
TEST(CommTime, ConvertsWithGpsThenPcThenTheLastTime) {
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
}

TEST(CommTime, UpkeepReportsTheNewestLineAndEmptiesTheModelPastTheResetLimit) {
  {
    ScopedReports reports;
    CECommTime time;
    time.ManagePcTime();
    time.ManageGpsTime();
    EXPECT_TRUE(reports->All().empty()) << "an empty model says nothing";
  }
  // The third sample jumps by y3 - 1 from a unit line; the newest line's
  // residual at its own sample is then exactly 1 - y3.
  const double justAbove = std::nextafter(3.0, 4.0);
  const struct {
    bool gps;
    double y3;
    bool cleared;
    const char* text;
  } cases[] = {
      {false, 3.0, false, "ManagePcTime  M=1.000010, C=-0.000010"},
      {false, justAbove, true, "ManagePcTime  M=1.000010, C=-0.000010"},
      {false, -1.0, false, "ManagePcTime  M=0.999990, C=0.000010"},
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
    EXPECT_EQ(c.gps ? time.m_gpsResidual : time.m_pcResidual, 1.0 - c.y3);
    EXPECT_NEAR(c.gps ? time.m_gpsDrift : time.m_pcDrift, c.y3 > 1.0 ? 1e-5 : -1e-5, 1e-15);
    const auto status = reports->Of(Nyx::ReportKind::Status, c.gps ? 3024 : 3023);
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(status[0].level, 2);
    EXPECT_EQ(status[0].text, c.text);
  }
}

TEST(CommTime, ChangingUseGpsEmptiesBothModelsAndSettingItAgainDoesNot) {
  const struct {
    int on;
    bool cleared;
  } steps[] = {{1, false}, {0, true}, {0, false}, {2, true}};
  CECommTime time;
  time.m_bUseGps = 1;
  for (const auto& s : steps) {
    SCOPED_TRACE("SetUseGps(" + std::to_string(s.on) + ")");
    time.m_pcBuf.Add(false, 1.0, 1.0);
    time.m_gpsBuf.Add(false, 1.0, 1.0);
    const std::size_t before = time.m_gpsBuf.GetCount();
    time.SetUseGps(s.on);
    EXPECT_EQ(time.m_bUseGps.load(), s.on);
    EXPECT_EQ(time.m_pcBuf.GetCount(), s.cleared ? 0u : before);
    EXPECT_EQ(time.m_gpsBuf.GetCount(), s.cleared ? 0u : before);
  }
}

// A ZDA's second goes into the GPS model with the device time of its pulse,
// and the PC clock is stepped to it plus the time since the pulse: only through
// the fake clock, and only when both the window's flag and the operator's
// switch are on and it is more than a second off.
TEST(ZdaTime, PairsTheSecondWithItsPulseAndStepsThePcClock) {
  const SYSTEMTIME month13{2002, 13, 0, 4, 20, 15, 30, 0};
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
      {"a second behind", 0, 0.4, 1, true, kZdaUtc, -1.0, 0, 3027, false, -1, ""},
      {"just past a second", 0, 0.4, 1, true, kZdaUtc, 1.001, 0, 3027, false, 0.0, ""},
      {"no right to set", 0, 0.4, 1, true, kZdaUtc, 30.0, EPERM, 3027, false, 0.0, kAlarm + "FAILED with error 1"},
      {"month 13", 0, 0.4, 1, true, month13, 5.0, 0, 3027, false, -1, kAlarm + "FAILED with error 22"},
      {"before 1980", 0, 0.4, 1, true, lastOf1979, 5.0, 0, 3027, false, -1, kAlarm + "FAILED with error 22"},
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
    if (c.utc.wMonth == kZdaUtc.wMonth) {
      EXPECT_EQ(status[0].text, "Comm ZDA,20:15:30 04/07/2002 PPS 710280930.000000");
    } else {
      EXPECT_TRUE(status[0].text.ends_with(" PPS 710280930.000000")) << status[0].text;
    }
    const auto alarms = reports->Of(Nyx::ReportKind::Alarm, 3065);
    ASSERT_EQ(alarms.size(), c.alarm.empty() ? 0u : 1u);
    if (!c.alarm.empty()) {
      EXPECT_EQ(alarms[0].level, 1);
      EXPECT_EQ(alarms[0].text, c.alarm);
    }
    ASSERT_EQ(pcClock->sets.size(), c.set < 0 ? 0u : 1u);
    if (c.set >= 0) {
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
