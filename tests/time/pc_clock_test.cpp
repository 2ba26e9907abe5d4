// Setting the PC clock, always against a fake clock (the cases of the switch
// and the step threshold run through the clock models, in comm_time_test).
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <vector>

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

}  // namespace

TEST(PcClock, SetsTheMillisecondsAndHonoursAnotherThreshold) {
  ScopedFakePcClock pcClock(true, kHostSeconds);
  auto proxy = CSystemTimeProxy::Create();
  CGpsTimeSync sync(*proxy);
  sync.m_stepThreshold = 0.1;
  unsigned long error = 0;
  int ok = 0;
  sync.SyncPcTime({2002, 7, 4, 4, 20, 15, 30, 250}, error, ok);
  sync.SyncPcTime({1980, 1, 2, 1, 0, 0, 0, 0}, error, ok);
  EXPECT_EQ(ok, 1);
  // The first moment of 1980 is host time 0.
  EXPECT_EQ(pcClock->sets, (std::vector<double>{kHostSeconds + 0.25, 0.0}));
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
