// Host time: seconds since 1980-01-01 00:00 UTC as a double, read from one
// injectable clock so that tests can fix the time. The PC clock calls of the
// original (system time, local time, tick count) read the same clock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

// Calendar time with the fields of the platform's SYSTEMTIME.
struct SYSTEMTIME {
  std::uint16_t wYear = 0;
  std::uint16_t wMonth = 0;
  std::uint16_t wDayOfWeek = 0;
  std::uint16_t wDay = 0;
  std::uint16_t wHour = 0;
  std::uint16_t wMinute = 0;
  std::uint16_t wSecond = 0;
  std::uint16_t wMilliseconds = 0;
};

// Seconds from 1970-01-01 to 1980-01-01.
inline constexpr double kHostEpochUnixSeconds = 315532800.0;

class HostClock {
 public:
  virtual ~HostClock() = default;
  // Host time in seconds since 1980-01-01 UTC.
  virtual double Now() const = 0;
  // Seconds on a clock that never steps, for waits and tick counts.
  virtual double Monotonic() const = 0;
  // Offset of local time from UTC at host time t, in seconds.
  virtual long UtcOffsetSeconds(double t) const = 0;
};

// The machine's clocks (CLOCK_REALTIME, CLOCK_MONOTONIC, the TZ zone).
class SystemClock : public HostClock {
 public:
  double Now() const override;
  double Monotonic() const override;
  long UtcOffsetSeconds(double t) const override;
};

// A clock that stands still until a test moves it; thread-safe.
class ManualClock : public HostClock {
 public:
  explicit ManualClock(double now = 0.0, long utcOffset = 0) : m_now(now), m_offset(utcOffset) {}
  double Now() const override { return m_now.load(); }
  double Monotonic() const override { return m_now.load(); }
  long UtcOffsetSeconds(double) const override { return m_offset; }
  void Set(double now) { m_now.store(now); }
  void Advance(double seconds) { m_now.fetch_add(seconds); }

 private:
  std::atomic<double> m_now;
  long m_offset;
};

namespace TmSync {
// Host time now, from the installed clock.
double GetTm();
// Installs a clock; null restores the system clock.
void SetClock(std::shared_ptr<HostClock> clock);
std::shared_ptr<HostClock> GetClock();
}  // namespace TmSync

// The PC clock as calendar time, in UTC and in local time.
SYSTEMTIME GetSystemTime();
SYSTEMTIME GetLocalTime();

// Calendar time of host time t (UTC), with milliseconds truncated.
SYSTEMTIME HostTimeToSystemTime(double hostSeconds);

// 100-nanosecond intervals since 1601-01-01, as the platform's FILETIME counts;
// empty for a date the platform cannot express (year before 1601 or after 30827,
// or a month, day or time field out of range).
std::optional<std::int64_t> SystemTimeToFileTime(const SYSTEMTIME& time);

// Days from 1970-01-01 to the given proleptic Gregorian date; any field values.
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day);
