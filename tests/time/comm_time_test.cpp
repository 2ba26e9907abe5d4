// The clock models together: which model a conversion uses, the upkeep, the
// use-GPS switch, and the ZDA step with PC clock setting.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>

#include "support/capture.h"
#include "support/fake_pc_clock.h"
#include "time/comm_time.h"
#include "time/pulse_per_second.h"
#include "time/zda_time.h"
#include "time_rows.h"

namespace {

// 2002-07-04 20:15:30 UTC in host seconds.
constexpr double kZdaHostSeconds = 710280930.0;

}  // namespace

// A model converts with the line of its newest sample not after the time,
// never with the oldest sample's line.
TEST(CommTime, ConvertsWithGpsThenPcThenTheLastTimeAndSwitchingEmptiesBoth) {
  ScopedClock clock(777.0);
  CECommTime time;
  for (double x : {19.0, 20.0, 21.0}) time.m_gpsBuf.Add(true, x, x + 1000.0);
  for (double x = 1.0; x <= 185.0; x += 1.0) time.m_pcBuf.Add(false, x, x + 2000.0);
  for (auto& row : TimeRows("comm_time_convert.tsv")) {
    SCOPED_TRACE(row.line);
    int useGps;
    double t, expected;
    unsigned misses;
    row.fields >> useGps >> t >> expected >> misses;
    time.m_bUseGps = useGps;
    EXPECT_DOUBLE_EQ(time.ConvertTime(t).GetValue(), expected);
    EXPECT_EQ(time.GetMissCount(), misses);
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

TEST(CommTime, UpkeepReportsTheNewestLineAndEmptiesTheModelPastTheResetLimit) {
  for (auto& row : TimeRows("upkeep.tsv")) {
    double y3;
    bool cleared;
    row.fields >> y3 >> cleared;
    const std::string line = row.Rest();
    for (const bool gps : {false, true}) {
      SCOPED_TRACE(std::string(gps ? "GPS " : "PC ") + row.line);
      ScopedReports reports;
      CECommTime time;
      CTimeFitBuf& model = gps ? time.m_gpsBuf : time.m_pcBuf;
      model.Add(false, 0.0, 0.0);
      model.Add(false, 1.0, 1.0);
      model.Add(false, 1.0, y3);
      time.ManagePcTime();
      time.ManageGpsTime();  // the other model is empty: nothing to say
      EXPECT_EQ(model.GetCount(), cleared ? 0u : 3u);
      EXPECT_EQ(gps ? time.m_gpsResidual : time.m_pcResidual, 1.0 - y3);
      EXPECT_NEAR(gps ? time.m_gpsDrift : time.m_pcDrift, y3 > 1.0 ? 1e-5 : -1e-5, 1e-15);
      const auto all = reports->All();
      ASSERT_EQ(all.size(), 1u);
      EXPECT_EQ(all[0].kind, Nyx::ReportKind::Status);
      EXPECT_EQ(all[0].id, gps ? 3024 : 3023);
      EXPECT_EQ(all[0].level, 2);
      EXPECT_EQ(all[0].text, std::string(gps ? "ManageGpsTime " : "ManagePcTime  ") + line);
    }
  }
}

// A ZDA's second goes into the GPS model with the device time of its pulse; the
// PC clock (a fake) is stepped to it plus the time since the pulse.
TEST(ZdaTime, PairsTheSecondWithItsPulseAndStepsThePcClock) {
  constexpr double kFallback = 9.0;  // the window's device time when the pulse is not used
  for (auto& row : TimeRows("zda_time.tsv")) {
    SCOPED_TRACE(row.line);
    int sync, syncPcClock, statusId;
    bool settingOn, pulse;
    double zdaAfter, pcOffset, set;
    unsigned long setResult;
    SYSTEMTIME utc;
    row.fields >> sync >> zdaAfter >> syncPcClock >> settingOn;
    row.fields >> utc.wYear >> utc.wMonth >> utc.wDay >> utc.wHour >> utc.wMinute >> utc.wSecond >> utc.wMilliseconds;
    row.fields >> pcOffset >> setResult >> statusId >> pulse >> set;
    const std::string alarm = row.Rest();
    ScopedReports reports;
    ScopedClock clock(kZdaHostSeconds + 0.01);
    ScopedFakePcClock pcClock(settingOn, kZdaHostSeconds + pcOffset);
    pcClock->setResult = setResult;
    CECommTime time;
    time.m_bSyncPcClock = syncPcClock;
    time.m_bUseGps = 1;
    CPulsePerSecond pps;
    pps.m_sync = 1;
    if (zdaAfter >= 0) pps.NewSerialPulse(kZdaHostSeconds);
    pps.m_sync = sync;
    clock->Set(kZdaHostSeconds + zdaAfter);
    // The previous GPS second, one device second earlier: the new line maps
    // the expected device time onto the ZDA's time exactly.
    const double device = pulse ? kZdaHostSeconds : kFallback;
    time.m_gpsBuf.Add(true, device - 1.0, kZdaHostSeconds - 1.0);
    CTm80 gps(kZdaHostSeconds);
    ProcessZdaTime(time, pps, kFallback * 1e6, gps, utc, statusId);

    const CBufEntry e = Newest(time.m_gpsBuf);
    EXPECT_DOUBLE_EQ(e.x, device);
    EXPECT_EQ(e.y, kZdaHostSeconds);
    const auto status = reports->Of(Nyx::ReportKind::Status, statusId);
    ASSERT_EQ(status.size(), 1u);
    EXPECT_EQ(status[0].level, 2);
    const std::string shown = utc.wMonth == 7 ? "Comm ZDA,20:15:30 04/07/2002 PPS " : " PPS ";
    EXPECT_TRUE(status[0].text.ends_with(shown + "710280930.000000")) << status[0].text;
    const auto alarms = reports->Of(Nyx::ReportKind::Alarm, 3065);
    ASSERT_EQ(alarms.size(), alarm.empty() ? 0u : 1u);
    if (!alarm.empty()) {
      EXPECT_EQ(alarms[0].level, 1);
      EXPECT_EQ(alarms[0].text, "CECommTime::ProcessGpsTime: " + alarm);
    }
    ASSERT_EQ(pcClock->sets.size(), set == -1 ? 0u : 1u);
    if (set != -1) {
      EXPECT_NEAR(pcClock->sets[0], kZdaHostSeconds + set, 1e-6);
    }
  }
}

// Every sample lies on one unit-slope line, so a conversion gives t plus 1000
// or repeats an earlier one; a torn entry would give anything else.
TEST(CommTime, SamplesFromOneThreadWhileConvertingOnAnother) {
  ScopedReports reports;
  ScopedClock clock(1000.0);
  CECommTime time;
  time.m_bSyncPcClock = 0;
  constexpr int kSamples = 4000;
  std::thread feeder([&] {
    for (int k = 0; k < kSamples; ++k) {
      time.m_pcBuf.Add(false, k, k + 1000.0);
      if (k % 4 == 0) time.ProcessGpsTime(SYSTEMTIME{}, k * 1e6, CTm80(k + 1000.0));
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
