// Host time, calendar conversion and CTm80.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "host/host_time.h"
#include "host/tm80.h"
#include "support/capture.h"

TEST(HostTime, CalendarFieldsOfHostTime) {
  const std::pair<double, std::array<int, 8>> cases[] = {
      {0.0, {1980, 1, 2, 1, 0, 0, 0, 0}},                  // a Tuesday
      {710280930.25, {2002, 7, 4, 4, 20, 15, 30, 250}},      // a Thursday
      {-1.5, {1979, 12, 1, 31, 23, 59, 58, 500}},
      {std::nan(""), {0, 0, 0, 0, 0, 0, 0, 0}},             // garbage: an empty calendar time
      {1e300, {0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& [host, want] : cases) {
    const SYSTEMTIME st = HostTimeToSystemTime(host);
    EXPECT_EQ((std::array<int, 8>{st.wYear, st.wMonth, st.wDayOfWeek, st.wDay, st.wHour, st.wMinute, st.wSecond,
                                  st.wMilliseconds}),
              want)
        << host;
  }
}

TEST(HostTime, FileTimeCountsFrom1601AndRejectsImpossibleDates) {
  EXPECT_EQ(SystemTimeToFileTime({1601, 1, 0, 1, 0, 0, 0, 0}), 0);
  EXPECT_EQ(SystemTimeToFileTime({1970, 1, 0, 1, 0, 0, 0, 0}), 116444736000000000LL);
  EXPECT_EQ(SystemTimeToFileTime({1970, 1, 0, 1, 0, 0, 1, 5}), 116444736010050000LL);
  const SYSTEMTIME invalid[] = {
      {1600, 12, 0, 31, 0, 0, 0, 0}, {2002, 13, 0, 1, 0, 0, 0, 0}, {2002, 2, 0, 29, 0, 0, 0, 0},
      {2002, 1, 0, 0, 0, 0, 0, 0},   {2002, 1, 0, 1, 24, 0, 0, 0}, {2002, 1, 0, 1, 0, 60, 0, 0},
      {1900, 2, 0, 29, 0, 0, 0, 0},  {2100, 2, 0, 29, 0, 0, 0, 0},  // century years are no leap years
  };
  for (const auto& st : invalid) EXPECT_FALSE(SystemTimeToFileTime(st)) << st.wYear << "-" << st.wMonth;
  EXPECT_TRUE(SystemTimeToFileTime({2000, 2, 0, 29, 23, 59, 59, 999}));
}

TEST(HostTime, PcClockReadsTheInstalledClock) {
  ScopedClock clock(710280930.0, 3600);
  EXPECT_EQ(GetSystemTime().wHour, 20);
  EXPECT_EQ(GetLocalTime().wHour, 21);
  clock->Advance(0.5);
  EXPECT_EQ(GetSystemTime().wMilliseconds, 500);
}

TEST(Tm80, SetTimeAndFormat) {
  CTm80 time;
  time.SetTime(2002, 7, 4, 20, 15, 30, 0.0);
  EXPECT_DOUBLE_EQ(time.GetValue(), 710280930.0);
  EXPECT_EQ(time.FormatIso8601(), "2002-07-04T20:15:30.000Z");
  time.SetTime(1980, 1, 1, 0, 0, 0, 250.0);
  EXPECT_DOUBLE_EQ(time.GetValue(), 0.25);
  EXPECT_EQ(time.FormatGmt("%H:%M:%S.%f %%f"), "00:00:00.250 %f");
  time.SetTime(2002, 13, 1, 0, 0, 0, 0.0);  // rolls into the next year
  EXPECT_EQ(time.FormatGmt("%Y-%m-%d"), "2003-01-01");
}
