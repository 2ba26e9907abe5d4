#include "time/pulse_per_second.h"

#include <algorithm>
#include <limits>

#include "host/host_time.h"
#include "host/report.h"
#include "host/settings.h"

NYX_IMPLEMENT_DYNCREATE(CPulsePerSecond, CObject)

namespace {
constexpr int kEdgeStatusId = 3030;
constexpr int kAgeAlarmId = 3019;
}  // namespace

CPulsePerSecond::CPulsePerSecond()
    : m_sync(Nyx::nyxMode == 1 ? 1 : 0),
      m_bPresent(Nyx::nyxMode == 1),
      m_lastMonotonic(std::numeric_limits<double>::quiet_NaN()) {}

void CPulsePerSecond::Settings(CESetObj& obj) {
  obj.Item("Sync", m_sync);
  obj.Item("Bank", m_bank);
  obj.Item("AlarmAge", m_alarmAge);
}

int CPulsePerSecond::NewEdge(double commTime, double fpgaTime, unsigned char edge) {
  return Edge(commTime, fpgaTime, edge, TmSync::GetClock()->Monotonic());
}

int CPulsePerSecond::Edge(double commTime, double fpgaTime, unsigned char edge, double monotonic) {
  int state = m_state;
  if ((m_sync == 1 && edge == kPpsPositive) || (m_sync == 2 && edge == kPpsNegative)) {
    m_lastCommTime = commTime;
    m_lastFpgaTime = fpgaTime;
    m_lastMonotonic = monotonic;
    state = 2;
    Nyx::Status(kEdgeStatusId, 2, "Comm PPS Time %1.3lf FPGA Time %1.3lf", commTime, fpgaTime / 1e6);
  } else if (edge == kPpsError) {
    state = 0;
  } else if (m_sync == 0) {
    state = 3;
  }
  // An edge of the other polarity leaves the state as it is.
  if (state == m_state) return 0;
  m_state = state;
  return 1;
}

int CPulsePerSecond::NewSerialPulse(double recordTime) {
  const auto edge = static_cast<unsigned char>(m_sync > 0 ? m_sync - 1 : kPpsPositive);
  // The record is stamped on the host clock, which may step; its age is not.
  const double age = std::max(0.0, TmSync::GetTm() - recordTime);
  const int changed = Edge(recordTime, recordTime * 1e6, edge, TmSync::GetClock()->Monotonic() - age);
  // The edge always has the selected polarity: it was taken unless none is selected.
  if (m_sync > 0 && m_pListener) m_pListener->OnPulse(recordTime);
  return changed;
}

int CPulsePerSecond::SetDataAge(double now) {
  if (m_sync == 0) {
    Nyx::EndAlarm(kAgeAlarmId);
    return 0;
  }
  if (now >= m_lastCommTime) m_age = now - m_lastCommTime;
  if (m_age > m_alarmAge) {
    Nyx::Alarm(kAgeAlarmId, 3, "The PPS age of %1.1lfs has been exceeded. Age = %1.1lfs", m_alarmAge, m_age);
    if (m_state == 3) return 0;
    m_state = 3;
    return 1;
  }
  Nyx::EndAlarm(kAgeAlarmId);
  return 1;
}

void CPulsePerSecond::Enable(int) { m_state = 3; }
