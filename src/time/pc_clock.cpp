#include "time/pc_clock.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <optional>

namespace {

std::atomic<bool> g_pcClockSettingOn{false};

std::mutex g_factoryLock;
CSystemTimeProxy::Factory& FactorySlot() {
  static CSystemTimeProxy::Factory factory = MakeMachineClockProxy;
  return factory;
}

// Host seconds of a calendar time, for a real date no earlier than 1980: GPS
// time starts there, so an earlier date is a bad sentence, not a time to set.
std::optional<double> HostSecondsOf(const SYSTEMTIME& utc) {
  static const std::int64_t kHostEpochFileTime = *SystemTimeToFileTime({1980, 1, 0, 1, 0, 0, 0, 0});
  const auto fileTime = SystemTimeToFileTime(utc);
  if (!fileTime || *fileTime < kHostEpochFileTime) return std::nullopt;
  return static_cast<double>(*fileTime - kHostEpochFileTime) / 1e7;
}

}  // namespace

std::unique_ptr<CSystemTimeProxy> CSystemTimeProxy::Create() {
  Factory factory;
  {
    std::lock_guard guard(g_factoryLock);
    factory = FactorySlot();
  }
  return factory();
}

CSystemTimeProxy::Factory CSystemTimeProxy::SetFactory(Factory factory) {
  std::lock_guard guard(g_factoryLock);
  Factory previous = std::move(FactorySlot());
  FactorySlot() = factory ? std::move(factory) : Factory(MakeMachineClockProxy);
  return previous;
}

void CGpsTimeSync::EnablePcClockSetting(bool on) { g_pcClockSettingOn.store(on); }

bool CGpsTimeSync::IsPcClockSettingEnabled() { return g_pcClockSettingOn.load(); }

void CGpsTimeSync::SyncPcTime(const SYSTEMTIME& utc, unsigned long& error, int& ok, double sinceSecond) {
  ok = 0;
  if (!IsPcClockSettingEnabled()) {
    error = kPcClockSettingOff;
    return;
  }
  std::optional<double> target = HostSecondsOf(utc);
  if (target && std::isfinite(sinceSecond)) *target += sinceSecond;
  if (!target) {
    error = EINVAL;
    return;
  }
  error = 0;
  if (std::fabs(*target - m_proxy.GetTime()) <= m_stepThreshold) {
    ok = 1;
    return;
  }
  error = m_proxy.SetTime(*target);
  ok = error == 0 ? 1 : 0;
}
