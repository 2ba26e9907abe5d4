// The machine's clock behind CSystemTimeProxy.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>

#include "time/pc_clock.h"

namespace {

class CMachineClockProxy : public CSystemTimeProxy {
 public:
  double GetTime() override { return SystemClock().Now(); }

  unsigned long SetTime(double hostSeconds) override {
    // Checked here as well, so that nothing reaches the clock call while the
    // operator has not switched clock setting on.
    if (!CGpsTimeSync::IsPcClockSettingEnabled()) return kPcClockSettingOff;
    const double unixSeconds = hostSeconds + kHostEpochUnixSeconds;
    if (!std::isfinite(unixSeconds) || unixSeconds < 0.0 || unixSeconds > 1e11) return EINVAL;
    const double whole = std::floor(unixSeconds);
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(whole);
    ts.tv_nsec = std::min(999999999L, static_cast<long>((unixSeconds - whole) * 1e9));
    if (clock_settime(CLOCK_REALTIME, &ts) != 0) return static_cast<unsigned long>(errno);
    return 0;
  }
};

}  // namespace

std::unique_ptr<CSystemTimeProxy> MakeMachineClockProxy() { return std::make_unique<CMachineClockProxy>(); }
