// Pulse-per-second tracking: which edges are accepted, the state lamp, the
// age alarm and the serial pulse mapping.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/settings.h"
#include "support/capture.h"
#include "time/pulse_per_second.h"
#include "time_rows.h"

TEST(PulsePerSecond, AcceptsOnlyTheSelectedPolarity) {
  for (auto& row : TimeRows("pps_edges.tsv")) {
    SCOPED_TRACE(row.line);
    int sync, stateBefore, edge, result, stateAfter;
    bool stored;
    row.fields >> sync >> stateBefore >> edge >> result >> stateAfter >> stored;
    ScopedReports reports;
    CPulsePerSecond pps;
    pps.m_sync = sync;
    pps.m_state = stateBefore;
    pps.m_lastFpgaTime = 2.0;
    const auto code = static_cast<unsigned char>(edge);
    EXPECT_EQ(edge == 9 ? pps.NewSerialPulse(1234.5) : pps.NewEdge(1234.5, 987654321.0, code), result);
    EXPECT_EQ(pps.m_state, stateAfter);
    EXPECT_EQ(pps.m_lastCommTime, stored ? 1234.5 : 0.0);
    EXPECT_EQ(pps.m_lastFpgaTime, !stored ? 2.0 : edge == 9 ? 1234.5e6 : 987654321.0);
    const auto status = reports->Of(Nyx::ReportKind::Status, 3030);
    ASSERT_EQ(status.size(), stored ? 1u : 0u);
    if (stored && edge != 9) {
      EXPECT_EQ(status[0].text, "Comm PPS Time 1234.500 FPGA Time 987.654");
    }
  }
}

TEST(PulsePerSecond, AgeAlarmRaisesOnceThePulseIsLateAndEndsWhenItIsBack) {
  ScopedReports reports;
  CPulsePerSecond pps;
  for (auto& row : TimeRows("pps_age.tsv")) {
    SCOPED_TRACE(row.line);
    double edgeAt, now, age;
    int result, state, level;
    row.fields >> pps.m_sync >> edgeAt >> now >> result >> state >> age >> level;
    if (edgeAt > 0) pps.NewEdge(edgeAt, edgeAt * 1e6, kPpsPositive);
    reports->Clear();
    EXPECT_EQ(pps.SetDataAge(now), result);
    EXPECT_EQ(pps.m_state, state);
    EXPECT_DOUBLE_EQ(pps.m_age, age);
    const auto alarms = reports->Of(Nyx::ReportKind::Alarm, 3019);
    ASSERT_EQ(alarms.size(), 1u);
    EXPECT_EQ(alarms[0].level, level);
    EXPECT_EQ(alarms[0].text, row.Rest());
  }
  pps.m_state = 2;
  pps.Enable(1);
  EXPECT_EQ(pps.m_state, 3) << "switching comms on or off greys the lamp";
}

TEST(PulsePerSecond, SettingsKeepSyncBankAndAlarmAgeInOrder) {
  CPulsePerSecond stored;
  stored.m_sync = 2;
  stored.m_bank = 5;
  stored.m_alarmAge = 3.5;
  CESet set;
  CESetObj& obj = *set.AddCol("SComm")->AddObj("PPS");
  stored.Settings(obj);
  std::vector<std::string> keys;
  for (const auto& item : obj.GetItems()) keys.push_back(item.key + "=" + item.value);
  EXPECT_EQ(keys, (std::vector<std::string>{"Sync=2", "Bank=5", "AlarmAge=3.5"}));
}
