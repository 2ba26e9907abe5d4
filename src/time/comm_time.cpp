#include "time/comm_time.h"

#include <cmath>
#include <memory>

#include "host/host_time.h"
#include "host/report.h"
#include "time/pc_clock.h"

namespace {
constexpr int kPcClockAlarmId = 3065;
}  // namespace

CECommTime::CECommTime()
    : m_bUseGps(Nyx::nyxMode == 1 ? 1 : 0),
      m_bSyncPcClock(Nyx::nyxMode == 1 ? 1 : 0),
      m_lastTime(TmSync::GetTm()) {}

CTm80 CECommTime::ConvertTime(double deviceSeconds) {
  CBufEntry line;
  if ((m_bUseGps && m_gpsBuf.Find(deviceSeconds, line)) || m_pcBuf.Find(deviceSeconds, line)) {
    const double converted = line.m * deviceSeconds + line.c;
    m_lastTime.store(converted);
    return CTm80(converted);
  }
  ++m_missCount;
  return CTm80(m_lastTime.load());
}

void CECommTime::ProcessGpsTime(const SYSTEMTIME& utc, double deviceMicroseconds, CTm80 gpsTime, double sinceSecond) {
  m_gpsBuf.Add(true, deviceMicroseconds * 1e-6, gpsTime.GetValue());
  if (!m_bSyncPcClock) {
    Nyx::Alarm(kPcClockAlarmId, 1, "CECommTime::ProcessGpsTime: m_bSyncPcClock is FALSE");
    return;
  }
  const std::unique_ptr<CSystemTimeProxy> proxy = CSystemTimeProxy::Create();
  CGpsTimeSync sync(*proxy);
  unsigned long error = 0;
  int ok = 0;
  sync.SyncPcTime(utc, error, ok, sinceSecond);
  if (!ok) Nyx::Alarm(kPcClockAlarmId, 1, "CECommTime::ProcessGpsTime: FAILED with error %d", static_cast<int>(error));
}

void CECommTime::Manage(CTimeFitBuf& model, double& drift, double& residual, int statusId, const char* name) {
  CBufEntry newest;
  if (!model.GetLast(newest)) return;
  drift = newest.m - 1.0;
  residual = newest.m * newest.x + newest.c - newest.y;
  Nyx::Status(statusId, 2, "%s M=%lf, C=%lf", name, newest.m, newest.c);
  if (std::fabs(residual) > m_resetLimit) model.Clear();
}

void CECommTime::ManagePcTime() { Manage(m_pcBuf, m_pcDrift, m_pcResidual, 3023, "ManagePcTime "); }

void CECommTime::ManageGpsTime() { Manage(m_gpsBuf, m_gpsDrift, m_gpsResidual, 3024, "ManageGpsTime"); }

void CECommTime::SetUseGps(int on) {
  if (m_bUseGps.exchange(on) == on) return;
  m_pcBuf.Clear();
  m_gpsBuf.Clear();
}
