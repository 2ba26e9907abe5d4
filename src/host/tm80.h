// A time as seconds since 1980-01-01 00:00 UTC, the host's time base.
#pragma once

#include <string>
#include <string_view>

#include "host/host_time.h"

class CTm80 {
 public:
  CTm80() = default;
  explicit CTm80(double seconds) : m_seconds(seconds) {}

  // Calendar fields in UTC; the second is whole and the milliseconds carry the
  // fraction. Out-of-range fields roll over arithmetically (month 13 is next January).
  void SetTime(int year, int month, int day, int hour, int minute, int second, double milliseconds);

  double GetValue() const { return m_seconds; }
  void SetValue(double seconds) { m_seconds = seconds; }

  // strftime-style text of the time in UTC; "%f" gives three-digit milliseconds.
  std::string FormatGmt(const char* format) const;
  // ISO 8601 in UTC with milliseconds, e.g. 2002-07-04T20:15:30.000Z.
  std::string FormatIso8601() const;
  // The same text written into the caller's buffer, for the per-record path.
  static constexpr int kIso8601Size = 48;
  std::string_view FormatIso8601(char (&text)[kIso8601Size]) const;

  SYSTEMTIME GetSystemTime() const { return HostTimeToSystemTime(m_seconds); }

 private:
  double m_seconds = 0.0;
};
