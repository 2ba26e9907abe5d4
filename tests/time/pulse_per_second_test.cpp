// Pulse-per-second tracking: which edges are accepted, the state lamp, the
// age alarm and the serial pulse mapping.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/settings.h"
#include "support/capture.h"
#include "time/pulse_per_second.h"

namespace {

CPulsePerSecond Tracker(int sync, int state) {
  CPulsePerSecond pps;
  pps.m_sync = sync;
  pps.m_state = state;
  return pps;
}

}  // namespace

// Edge codes 0 positive, 1 negative, 2 device error; 9 here is a pulse from a
// serial line, which carries no polarity and is passed as the selected edge.
TEST(PulsePerSecond, AcceptsOnlyTheSelectedPolarity) {
  const struct {
    int sync;
    int stateBefore;
    unsigned char edge;
    int result;
    int stateAfter;
    bool stored;
  } cases[] = {
      {1, 3, 0, 1, 2, true},   {1, 2, 0, 0, 2, true},   {1, 3, 1, 0, 3, false}, {1, 2, 2, 1, 0, false},
      {1, 2, 7, 0, 2, false},  {2, 3, 1, 1, 2, true},   {2, 3, 0, 0, 3, false}, {2, 0, 2, 0, 0, false},
      {0, 2, 0, 1, 3, false},  {0, 3, 1, 0, 3, false},  {0, 2, 2, 1, 0, false}, {1, 3, 9, 1, 2, true},
      {2, 3, 9, 1, 2, true},   {0, 3, 9, 0, 3, false},  {3, 3, 9, 1, 0, false},  // 3: a corrupt setting shows red
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("sync " + std::to_string(c.sync) + " state " + std::to_string(c.stateBefore) + " edge " +
                 std::to_string(c.edge));
    ScopedReports reports;
    CPulsePerSecond pps = Tracker(c.sync, c.stateBefore);
    pps.m_lastFpgaTime = 2.0;
    const int result = c.edge == 9 ? pps.NewSerialPulse(1234.5) : pps.NewEdge(1234.5, 987654321.0, c.edge);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(pps.m_state, c.stateAfter);
    EXPECT_EQ(pps.m_lastCommTime, c.stored ? 1234.5 : 0.0);
    EXPECT_EQ(pps.m_lastFpgaTime, !c.stored ? 2.0 : c.edge == 9 ? 1234.5e6 : 987654321.0);
    const auto status = reports->Of(Nyx::ReportKind::Status, 3030);
    ASSERT_EQ(status.size(), c.stored ? 1u : 0u);
    if (c.stored && c.edge != 9) {
      EXPECT_EQ(status[0].text, "Comm PPS Time 1234.500 FPGA Time 987.654");
    }
  }
}

TEST(PulsePerSecond, AgeAlarmRaisesOnceThePulseIsLateAndEndsWhenItIsBack) {
  const struct {
    int sync;
    double edgeAt;  // > 0: an accepted edge at that time first
    double now;
    int result;
    int state;
    int alarmLevel;
    const char* alarmText;
    double age;
  } steps[] = {
      {1, 10.0, 12.0, 1, 2, -1, "", 2.0},  // age equal to the limit is no alarm
      {1, 0, 12.5, 1, 3, 3, "The PPS age of 2.0s has been exceeded. Age = 2.5s", 2.5},
      {1, 0, 12.5, 0, 3, 3, "The PPS age of 2.0s has been exceeded. Age = 2.5s", 2.5},
      {1, 0, 9.0, 0, 3, 3, "The PPS age of 2.0s has been exceeded. Age = 2.5s", 2.5},  // clock went back
      {1, 13.0, 13.5, 1, 2, -1, "", 0.5},
      {1, 0, 20.04, 1, 3, 3, "The PPS age of 2.0s has been exceeded. Age = 7.0s", 7.04},
      {0, 0, 100.0, 0, 3, -1, "", 7.04},  // without polarity the age is not checked
  };
  ScopedReports reports;
  CPulsePerSecond pps = Tracker(1, 3);
  for (const auto& s : steps) {
    SCOPED_TRACE("now " + std::to_string(s.now));
    pps.m_sync = s.sync;
    if (s.edgeAt > 0) pps.NewEdge(s.edgeAt, s.edgeAt * 1e6, kPpsPositive);
    reports->Clear();
    EXPECT_EQ(pps.SetDataAge(s.now), s.result);
    EXPECT_EQ(pps.m_state, s.state);
    EXPECT_DOUBLE_EQ(pps.m_age, s.age);
    const auto alarms = reports->Of(Nyx::ReportKind::Alarm, 3019);
    ASSERT_EQ(alarms.size(), 1u);
    EXPECT_EQ(alarms[0].level, s.alarmLevel);
    EXPECT_EQ(alarms[0].text, s.alarmText);
  }
  pps.m_state = 2;
  pps.Enable(1);
  EXPECT_EQ(pps.m_state, 3) << "switching comms on or off greys the lamp";
}

TEST(PulsePerSecond, SettingsKeepSyncBankAndAlarmAgeInOrder) {
  CPulsePerSecond stored = Tracker(2, 3);
  stored.m_bank = 5;
  stored.m_alarmAge = 3.5;
  CESet set;
  CESetObj& obj = *set.AddCol("SComm")->AddObj("PPS");
  stored.Settings(obj);
  std::vector<std::string> keys;
  for (const auto& item : obj.GetItems()) keys.push_back(item.key + "=" + item.value);
  EXPECT_EQ(keys, (std::vector<std::string>{"Sync=2", "Bank=5", "AlarmAge=3.5"}));
}
