#include "host/tm80.h"

#include <cmath>
#include <cstdio>
#include <ctime>

void CTm80::SetTime(int year, int month, int day, int hour, int minute, int second, double milliseconds) {
  const std::int64_t days = DaysFromCivil(year, month, day);
  const double unixSeconds = static_cast<double>(days) * 86400.0 + hour * 3600.0 + minute * 60.0 +
                             second + milliseconds / 1000.0;
  m_seconds = unixSeconds - kHostEpochUnixSeconds;
}

std::string CTm80::FormatGmt(const char* format) const {
  const SYSTEMTIME st = GetSystemTime();
  tm fields{};
  fields.tm_year = st.wYear - 1900;
  fields.tm_mon = st.wMonth - 1;
  fields.tm_mday = st.wDay;
  fields.tm_hour = st.wHour;
  fields.tm_min = st.wMinute;
  fields.tm_sec = st.wSecond;
  fields.tm_wday = st.wDayOfWeek;

  // Expand %f here; strftime does not know it.
  std::string expanded;
  for (const char* p = format; *p; ++p) {
    if (p[0] == '%' && p[1] == 'f') {
      char ms[8];
      std::snprintf(ms, sizeof ms, "%03u", static_cast<unsigned>(st.wMilliseconds));
      expanded += ms;
      ++p;
    } else if (p[0] == '%' && p[1] == '%') {
      expanded += "%%";
      ++p;
    } else {
      expanded += *p;
    }
  }
  char buffer[256];
  const std::size_t n = std::strftime(buffer, sizeof buffer, expanded.c_str(), &fields);
  return std::string(buffer, n);
}

std::string CTm80::FormatIso8601() const {
  char text[kIso8601Size];
  return std::string(FormatIso8601(text));
}

std::string_view CTm80::FormatIso8601(char (&text)[kIso8601Size]) const {
  const SYSTEMTIME st = GetSystemTime();
  if (st.wYear > 9999 || st.wMonth > 99 || st.wDay > 99 || st.wHour > 99 || st.wMinute > 99 || st.wSecond > 99 ||
      st.wMilliseconds > 999) {
    const int n = std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", unsigned{st.wYear},
                                unsigned{st.wMonth}, unsigned{st.wDay}, unsigned{st.wHour}, unsigned{st.wMinute},
                                unsigned{st.wSecond}, unsigned{st.wMilliseconds});
    return {text, static_cast<std::size_t>(n)};
  }
  // Every field fits its width: the digits are placed directly.
  char* p = text;
  const auto put = [&p](unsigned value, int width, char after) {
    for (int i = width - 1; i >= 0; --i, value /= 10) p[i] = static_cast<char>('0' + value % 10);
    p += width;
    if (after) *p++ = after;
  };
  put(st.wYear, 4, '-');
  put(st.wMonth, 2, '-');
  put(st.wDay, 2, 'T');
  put(st.wHour, 2, ':');
  put(st.wMinute, 2, ':');
  put(st.wSecond, 2, '.');
  put(st.wMilliseconds, 3, 'Z');
  return {text, static_cast<std::size_t>(p - text)};
}
