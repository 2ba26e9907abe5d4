#include "host/host_time.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <mutex>

double SystemClock::Now() const {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<double>(ts.tv_sec) - kHostEpochUnixSeconds + ts.tv_nsec * 1e-9;
}

double SystemClock::Monotonic() const {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

long SystemClock::UtcOffsetSeconds(double t) const {
  const auto unix = static_cast<time_t>(std::floor(t + kHostEpochUnixSeconds));
  tm local{};
  localtime_r(&unix, &local);
  return local.tm_gmtoff;
}

namespace TmSync {
namespace {
std::mutex g_clockLock;
std::shared_ptr<HostClock>& ClockSlot() {
  static std::shared_ptr<HostClock> clock = std::make_shared<SystemClock>();
  return clock;
}
}  // namespace

void SetClock(std::shared_ptr<HostClock> clock) {
  std::lock_guard guard(g_clockLock);
  ClockSlot() = clock ? std::move(clock) : std::make_shared<SystemClock>();
}

std::shared_ptr<HostClock> GetClock() {
  std::lock_guard guard(g_clockLock);
  return ClockSlot();
}

double GetTm() { return GetClock()->Now(); }
}  // namespace TmSync

std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
  // Howard Hinnant's algorithm, with the month first brought into 1..12.
  year += (month - 1 >= 0 ? (month - 1) / 12 : (month - 12) / 12);
  month = ((month - 1) % 12 + 12) % 12 + 1;
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yoe = year - era * 400;
  const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

SYSTEMTIME HostTimeToSystemTime(double hostSeconds) {
  // Beyond +-10^12 s the calendar fields would not fit; such a time is garbage.
  if (!std::isfinite(hostSeconds) || std::fabs(hostSeconds) > 1e12) return SYSTEMTIME{};
  const double whole = std::floor(hostSeconds);
  auto unix = static_cast<std::int64_t>(whole + kHostEpochUnixSeconds);
  std::int64_t days = unix >= 0 ? unix / 86400 : (unix - 86399) / 86400;
  std::int64_t secs = unix - days * 86400;
  // Inverse of DaysFromCivil.
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = yoe + era * 400 + (m <= 2);

  SYSTEMTIME st;
  st.wYear = static_cast<std::uint16_t>(y);
  st.wMonth = static_cast<std::uint16_t>(m);
  st.wDay = static_cast<std::uint16_t>(d);
  st.wDayOfWeek = static_cast<std::uint16_t>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  st.wHour = static_cast<std::uint16_t>(secs / 3600);
  st.wMinute = static_cast<std::uint16_t>(secs / 60 % 60);
  st.wSecond = static_cast<std::uint16_t>(secs % 60);
  st.wMilliseconds = static_cast<std::uint16_t>(std::min(999.0, std::floor((hostSeconds - whole) * 1000.0)));
  return st;
}

SYSTEMTIME GetSystemTime() { return HostTimeToSystemTime(TmSync::GetTm()); }

SYSTEMTIME GetLocalTime() {
  const std::shared_ptr<HostClock> clock = TmSync::GetClock();
  const double now = clock->Now();
  return HostTimeToSystemTime(now + static_cast<double>(clock->UtcOffsetSeconds(now)));
}

std::optional<std::int64_t> SystemTimeToFileTime(const SYSTEMTIME& t) {
  if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
      t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 || t.wMilliseconds > 999) {
    return std::nullopt;
  }
  static constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (t.wYear % 4 == 0 && t.wYear % 100 != 0) || t.wYear % 400 == 0;
  const int monthDays = kDaysInMonth[t.wMonth - 1] + (t.wMonth == 2 && leap ? 1 : 0);
  if (t.wDay > monthDays) return std::nullopt;
  const std::int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay) - DaysFromCivil(1601, 1, 1);
  const std::int64_t ms =
      ((days * 24 + t.wHour) * 60 + t.wMinute) * 60000 + t.wSecond * 1000 + t.wMilliseconds;
  return ms * 10000;
}
