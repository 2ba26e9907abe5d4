// Device time to host time: two time models per device clock. The PC model
// pairs device times with the host time at which they arrived; the GPS model
// pairs the device time of a pulse-per-second edge with the GPS time of that
// second. Conversion prefers GPS, then PC, then the last converted time.
#pragma once

#include <atomic>

#include "host/host_time.h"
#include "host/tm80.h"
#include "time/time_fit_buf.h"

class CECommTime {
 public:
  CECommTime();
  virtual ~CECommTime() = default;

  CTm80 ConvertTime(double deviceSeconds);
  // A GPS second: the device time of its pulse and the GPS time the ZDA named
  // for it go into the GPS model (which may re-seed at its fourth sample), and
  // the PC clock is set from utc when m_bSyncPcClock is on. Alarm 3065 tells
  // when the clock was not set. sinceSecond: time elapsed since that second began.
  void ProcessGpsTime(const SYSTEMTIME& utc, double deviceMicroseconds, CTm80 gpsTime, double sinceSecond = 0.0);
  // Upkeep on every trigger: report the newest line, and empty the model when
  // its newest sample is more than m_resetLimit off the line (a time jump).
  void ManagePcTime();
  void ManageGpsTime();
  // A change of the flag empties both models.
  void SetUseGps(int on);

  CTm80 GetLastTime() const { return CTm80(m_lastTime.load()); }
  unsigned GetMissCount() const { return m_missCount.load(); }

  double m_resetLimit = 2.0;
  double m_pcResidual = 0.0;
  double m_gpsResidual = 0.0;
  double m_pcDrift = 0.0;
  double m_gpsDrift = 0.0;
  // Flags, the last time and the miss count are read by conversions on other
  // threads without the models' locks, so they are atomic.
  std::atomic<int> m_bUseGps;
  std::atomic<int> m_bSyncPcClock;
  CTimeFitBuf m_pcBuf;
  CTimeFitBuf m_gpsBuf;

 private:
  void Manage(CTimeFitBuf& model, double& drift, double& residual, int statusId, const char* name);

  std::atomic<unsigned> m_missCount{0};
  std::atomic<double> m_lastTime;
};
