#include "time/zda_time.h"

#include <cstdio>

#include "host/report.h"
#include "time/comm_time.h"
#include "time/pulse_per_second.h"

void ProcessZdaTime(CECommTime& time, const CPulsePerSecond& pps, double fallbackDeviceMicroseconds,
                    CTm80& gpsTime, const SYSTEMTIME& utc, int statusId) {
  char text[64];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d %02d/%02d/%04d", utc.wHour, utc.wMinute, utc.wSecond, utc.wDay,
                utc.wMonth, utc.wYear);
  const bool pulse = pps.m_sync != 0 && pps.m_lastFpgaTime > 0.0;
  const double device = pulse ? pps.m_lastFpgaTime : fallbackDeviceMicroseconds;
  // The ZDA arrives after the pulse of the second it names: the PC clock is
  // set to that second plus the time since the pulse. A pulse a second old or
  // more belongs to an earlier second, and without one the sentence is all we have.
  const double sincePulse = TmSync::GetClock()->Monotonic() - pps.m_lastMonotonic;
  const double sinceSecond = pulse && sincePulse >= 0.0 && sincePulse < 1.0 ? sincePulse : 0.0;
  time.ProcessGpsTime(utc, device, gpsTime, sinceSecond);
  if (pps.m_pListener) pps.m_pListener->OnSecond(gpsTime.GetValue(), TmSync::GetTm());
  const CTm80 converted = time.ConvertTime(device / 1e6);
  Nyx::Status(statusId, 2, "Comm ZDA,%s PPS %1.6lf", text, converted.GetValue());
}
