// Setting the PC clock from GPS time. The machine's clock is reached only
// through a CSystemTimeProxy made by a replaceable factory (tests install a
// recording fake), and it is stepped only after the operator switched PC clock
// setting on: the switch is off in every process until something turns it on.
#pragma once

#include <cerrno>
#include <functional>
#include <memory>

#include "host/host_time.h"

// The error SyncPcTime reports while PC clock setting is off. The clock call
// itself never fails with it, so alarm 3065 "FAILED with error 125" tells the
// operator that the clock was left alone on purpose, not that setting it failed.
inline constexpr unsigned long kPcClockSettingOff = ECANCELED;

class CSystemTimeProxy {
 public:
  using Factory = std::function<std::unique_ptr<CSystemTimeProxy>()>;

  virtual ~CSystemTimeProxy() = default;
  // The PC clock now, in host seconds (since 1980-01-01 UTC).
  virtual double GetTime() = 0;
  // Steps the PC clock to host time t: 0 on success, else the system error number.
  virtual unsigned long SetTime(double hostSeconds) = 0;

  // A proxy from the installed factory: the machine's clock unless replaced.
  static std::unique_ptr<CSystemTimeProxy> Create();
  // Installs a factory and returns the one it replaces; null restores the machine's clock.
  static Factory SetFactory(Factory factory);
};

// The machine's clock (CLOCK_REALTIME). Its SetTime refuses with
// kPcClockSettingOff while PC clock setting is off, whoever calls it.
std::unique_ptr<CSystemTimeProxy> MakeMachineClockProxy();

class CGpsTimeSync {
 public:
  explicit CGpsTimeSync(CSystemTimeProxy& proxy) : m_proxy(proxy) {}

  // Steps the PC clock to utc when it is more than m_stepThreshold off. ok is
  // nonzero when the clock is right (stepped, or close enough to leave alone);
  // otherwise ok is 0 and error holds the reason: kPcClockSettingOff while
  // setting is off, EINVAL for an impossible date or one before 1980, or the
  // error of the clock call (EPERM without the right to set the time).
  // sinceSecond: seconds elapsed since the second named by utc began.
  void SyncPcTime(const SYSTEMTIME& utc, unsigned long& error, int& ok, double sinceSecond = 0.0);

  // The operator's switch, process-wide and off by default.
  static void EnablePcClockSetting(bool on);
  static bool IsPcClockSettingEnabled();

  // A ZDA names the second that began at the pulse and arrives up to a second
  // after it, so a PC clock within a second of that time cannot be told from
  // the sentence's delay: stepping it would only set it back by the delay (and
  // fight NTP where it runs). One second is also where the ZDA decoder starts
  // synchronising at once.
  double m_stepThreshold = 1.0;

 private:
  CSystemTimeProxy& m_proxy;
};
