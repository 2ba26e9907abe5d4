// The machine's PC clock is never set by a test (comm_time_test sets a fake).
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>

#include "time/pc_clock.h"

namespace {

// For the whole program: a proxy made without a test's fake fails the test.
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

}  // namespace

// The machine's proxy, used only where it cannot step the clock: with the
// switch off, and with a time the clock call would refuse anyway.
TEST(PcClock, MachineProxyReadsTheClockAndRefusesWhileSwitchedOff) {
  ASSERT_FALSE(CGpsTimeSync::IsPcClockSettingEnabled());
  auto machine = MakeMachineClockProxy();
  EXPECT_NEAR(machine->GetTime(), SystemClock().Now(), 1.0);
  EXPECT_EQ(machine->SetTime(-1e12), kPcClockSettingOff);
  EXPECT_EQ(machine->SetTime(std::nan("")), kPcClockSettingOff);
}
