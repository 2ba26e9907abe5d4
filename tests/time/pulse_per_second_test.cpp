// Pulse-per-second tracking: which edges are accepted, the state lamp, the
// age alarm and the serial pulse mapping.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/settings.h"
#include "support/capture.h"
#include "time/pulse_per_second.h"

namespace {

struct EdgeCase {
  int sync;
  int stateBefore;
  unsigned char edge;
  int result;
  int stateAfter;
  bool stored;
};

CPulsePerSecond Tracker(int sync, int state) {
  CPulsePerSecond pps;
  pps.m_sync = sync;
  pps.m_state = state;
  return pps;
}

}  // namespace

TEST(PulsePerSecond, AcceptsOnlyTheSelectedPolarity) {
  const EdgeCase cases[] = {
      // sync 1: positive edges (code 0) only
      {1, 3, 0, 1, 2, true},
      {1, 2, 0, 0, 2, true},
      {1, 0, 0, 1, 2, true},
      {1, 3, 1, 0, 3, false},
      {1, 2, 1, 0, 2, false},
      {1, 2, 2, 1, 0, false},
      {1, 0, 2, 0, 0, false},
      {1, 2, 7, 0, 2, false},
      // sync 2: negative edges (code 1) only
      {2, 3, 1, 1, 2, true},
      {2, 3, 0, 0, 3, false},
      {2, 2, 0, 0, 2, false},
      {2, 2, 2, 1, 0, false},
      // sync 0: nothing is accepted; an error report still shows
      {0, 2, 0, 1, 3, false},
      {0, 2, 1, 1, 3, false},
      {0, 3, 0, 0, 3, false},
      {0, 2, 2, 1, 0, false},
      {0, 2, 7, 1, 3, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("sync " + std::to_string(c.sync) + " state " + std::to_string(c.stateBefore) + " edge " +
                 std::to_string(c.edge));
    ScopedReports reports;
    CPulsePerSecond pps = Tracker(c.sync, c.stateBefore);
    pps.m_lastCommTime = 1.0;
    pps.m_lastFpgaTime = 2.0;
    EXPECT_EQ(pps.NewEdge(1234.5, 987654321.0, c.edge), c.result);
    EXPECT_EQ(pps.m_state, c.stateAfter);
    const auto status = reports->Of(Nyx::ReportKind::Status, 3030);
    if (c.stored) {
      EXPECT_EQ(pps.m_lastCommTime, 1234.5);
      EXPECT_EQ(pps.m_lastFpgaTime, 987654321.0);
      ASSERT_EQ(status.size(), 1u);
      EXPECT_EQ(status[0].level, 2);
      EXPECT_EQ(status[0].text, "Comm PPS Time 1234.500 FPGA Time 987.654");
    } else {
      EXPECT_EQ(pps.m_lastCommTime, 1.0);
      EXPECT_EQ(pps.m_lastFpgaTime, 2.0);
      EXPECT_TRUE(status.empty());
    }
    EXPECT_EQ(reports->All().size(), status.size()) << "nothing but the edge line is reported";
  }
}

TEST(PulsePerSecond, AgeAlarmRaisesOnceThePulseIsLateAndEndsWhenItIsBack) {
  struct Step {
    double edgeAt;  // > 0: an accepted edge at that time first
    double now;
    int result;
    int state;
    int alarmLevel;
    const char* alarmText;
    double age;
  };
  const Step steps[] = {
      {10.0, 12.0, 1, 2, -1, "", 2.0},  // age equal to the limit is no alarm
      {0, 12.5, 1, 3, 3, "The PPS age of 2.0s has been exceeded. Age = 2.5s", 2.5},
      {0, 12.5, 0, 3, 3, "The PPS age of 2.0s has been exceeded. Age = 2.5s", 2.5},
      {0, 9.0, 0, 3, 3, "The PPS age of 2.0s has been exceeded. Age = 2.5s", 2.5},  // clock went back
      {13.0, 13.5, 1, 2, -1, "", 0.5},
      {0, 20.04, 1, 3, 3, "The PPS age of 2.0s has been exceeded. Age = 7.0s", 7.04},
  };
  ScopedReports reports;
  CPulsePerSecond pps = Tracker(1, 3);
  for (const auto& s : steps) {
    SCOPED_TRACE("now " + std::to_string(s.now));
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
}

TEST(PulsePerSecond, WithoutPolarityTheAgeIsNotCheckedAndTheAlarmEnds) {
  ScopedReports reports;
  CPulsePerSecond pps = Tracker(0, 2);
  pps.m_lastCommTime = 1.0;
  EXPECT_EQ(pps.SetDataAge(100.0), 0);
  EXPECT_EQ(pps.m_state, 2);
  EXPECT_EQ(pps.m_age, 0.0);
  const auto alarms = reports->Of(Nyx::ReportKind::Alarm, 3019);
  ASSERT_EQ(alarms.size(), 1u);
  EXPECT_EQ(alarms[0].level, -1);
  EXPECT_EQ(alarms[0].text, "");
  pps.Enable(1);
  EXPECT_EQ(pps.m_state, 3) << "switching comms on or off greys the lamp";
}

TEST(PulsePerSecond, SerialPulseIsPassedAsTheSelectedEdge) {
  struct Case {
    int sync;
    int result;
    int state;
    bool stored;
  };
  const Case cases[] = {
      {1, 1, 2, true},
      {2, 1, 2, true},
      {0, 0, 3, false},   // no polarity: passed as a positive edge, which sync 0 refuses
      {3, 1, 0, false},   // a corrupt setting maps onto the error code and shows red
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("sync " + std::to_string(c.sync));
    ScopedReports reports;
    CPulsePerSecond pps = Tracker(c.sync, 3);
    EXPECT_EQ(pps.NewSerialPulse(1500.25), c.result);
    EXPECT_EQ(pps.m_state, c.state);
    EXPECT_EQ(pps.m_lastCommTime, c.stored ? 1500.25 : 0.0);
    EXPECT_EQ(pps.m_lastFpgaTime, c.stored ? 1500.25e6 : 0.0);
  }
}

TEST(PulsePerSecond, SettingsKeepSyncBankAndAlarmAgeInOrder) {
  CPulsePerSecond stored;
  stored.m_sync = 2;
  stored.m_bank = 5;
  stored.m_alarmAge = 3.5;
  stored.m_lastCommTime = 99.0;
  CESet set;
  CESetObj& obj = *set.AddCol("SComm")->AddObj("PPS");
  stored.Settings(obj);
  std::vector<std::string> keys;
  for (const auto& item : obj.GetItems()) keys.push_back(item.key);
  EXPECT_EQ(keys, (std::vector<std::string>{"Sync", "Bank", "AlarmAge"}));

  CESet loaded;
  ASSERT_TRUE(loaded.LoadFromString(set.ToString()));
  CPulsePerSecond read;
  read.Settings(*loaded.GetCol("SComm")->GetObj("PPS"));
  EXPECT_EQ(read.m_sync, 2);
  EXPECT_EQ(read.m_bank, 5);
  EXPECT_EQ(read.m_alarmAge, 3.5);
  EXPECT_EQ(read.m_lastCommTime, 0.0);
}
