// Setting the PC clock: the operator's switch, the step threshold and the
// errors reported, always against a fake clock.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <string>

#include "support/fake_pc_clock.h"
#include "time/pc_clock.h"

namespace {

// For the whole test program: a proxy made without a test's fake fails the
// test instead of reaching the machine's clock.
class TripwireProxy : public CSystemTimeProxy {
 public:
  double GetTime() override { return SystemClock().Now(); }
  unsigned long SetTime(double) override {
    ADD_FAILURE() << "a test reached the PC clock without a fake";
    return EPERM;
  }
};

class PcClockTripwire : public ::testing::Environment {
 public:
  void SetUp() override {
    CSystemTimeProxy::SetFactory([] { return std::make_unique<TripwireProxy>(); });
  }
};

[[maybe_unused]] ::testing::Environment* const g_tripwire =
    ::testing::AddGlobalTestEnvironment(new PcClockTripwire);

constexpr double kHostSeconds = 710280930.0;  // 2002-07-04 20:15:30 UTC
const SYSTEMTIME kUtc{2002, 7, 4, 4, 20, 15, 30, 0};

}  // namespace

TEST(PcClock, StepsOnlyWhenSwitchedOnAndMoreThanTheThresholdOff) {
  struct Case {
    const char* name;
    bool on;
    SYSTEMTIME utc;
    double pcOffset;  // PC clock minus utc, seconds
    unsigned long setResult;
    int ok;
    unsigned long error;
    int reads;
    bool set;
  };
  const SYSTEMTIME month13{2002, 13, 0, 4, 20, 15, 30, 0};
  const SYSTEMTIME year1850{1850, 7, 0, 4, 20, 15, 30, 0};
  const SYSTEMTIME lastOf1979{1979, 12, 0, 31, 23, 59, 59, 999};
  const Case cases[] = {
      {"switched off", false, kUtc, 3600.0, 0, 0, kPcClockSettingOff, 0, false},
      {"switched off, right", false, kUtc, 0.0, 0, 0, kPcClockSettingOff, 0, false},
      {"right", true, kUtc, 0.0, 0, 1, 0, 1, false},
      {"ZDA delay", true, kUtc, 0.75, 0, 1, 0, 1, false},
      {"a second ahead", true, kUtc, 1.0, 0, 1, 0, 1, false},
      {"a second behind", true, kUtc, -1.0, 0, 1, 0, 1, false},
      {"just past a second", true, kUtc, 1.001, 0, 1, 0, 1, true},
      {"an hour behind", true, kUtc, -3600.0, 0, 1, 0, 1, true},
      {"no right to set", true, kUtc, 5.0, EPERM, 0, EPERM, 1, true},
      {"month 13", true, month13, 5.0, 0, 0, EINVAL, 0, false},
      {"year 1850", true, year1850, 5.0, 0, 0, EINVAL, 0, false},
      {"before 1980", true, lastOf1979, 5.0, 0, 0, EINVAL, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedFakePcClock pcClock(c.on, kHostSeconds + c.pcOffset);
    pcClock->setResult = c.setResult;
    auto proxy = CSystemTimeProxy::Create();
    CGpsTimeSync sync(*proxy);
    unsigned long error = 99;
    int ok = 99;
    sync.SyncPcTime(c.utc, error, ok);
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(pcClock->reads, c.reads);
    ASSERT_EQ(pcClock->sets.size(), c.set ? 1u : 0u);
    if (c.set) {
      EXPECT_EQ(pcClock->sets[0], kHostSeconds);
    }
  }
}

TEST(PcClock, SetsTheMillisecondsAndHonoursAnotherThreshold) {
  ScopedFakePcClock pcClock(true, kHostSeconds);
  auto proxy = CSystemTimeProxy::Create();
  CGpsTimeSync sync(*proxy);
  sync.m_stepThreshold = 0.1;
  SYSTEMTIME utc = kUtc;
  utc.wMilliseconds = 250;
  unsigned long error = 0;
  int ok = 0;
  sync.SyncPcTime(utc, error, ok);
  EXPECT_EQ(ok, 1);
  ASSERT_EQ(pcClock->sets.size(), 1u);
  EXPECT_EQ(pcClock->sets[0], kHostSeconds + 0.25);

  sync.SyncPcTime({1980, 1, 2, 1, 0, 0, 0, 0}, error, ok);
  EXPECT_EQ(ok, 1);
  ASSERT_EQ(pcClock->sets.size(), 2u);
  EXPECT_EQ(pcClock->sets[1], 0.0) << "the first moment of 1980 is host time 0";
}

// The machine's proxy, used only where it cannot step the clock: with the
// switch off, and with a time the clock call would refuse anyway.
TEST(PcClock, MachineProxyReadsTheClockAndRefusesWhileSwitchedOff) {
  ASSERT_FALSE(CGpsTimeSync::IsPcClockSettingEnabled());
  auto machine = MakeMachineClockProxy();
  EXPECT_NEAR(machine->GetTime(), SystemClock().Now(), 1.0);
  EXPECT_EQ(machine->SetTime(-1e12), kPcClockSettingOff);
  EXPECT_EQ(machine->SetTime(std::nan("")), kPcClockSettingOff);
}
