#include "sonar/hub_status.h"

#include <cmath>
#include <cstdio>

#include "host/host_time.h"
#include "sonar/hub_messages.h"
#include "sonar/ser_comm.h"

CList_Ptr<CZepHubStatus*> CSerComm::s_zepHubStatus;
std::recursive_mutex CSerComm::s_zepHubStLock;

std::uint32_t HubTickCount() {
  const double ms = std::floor(TmSync::GetClock()->Monotonic() * 1000.0);
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

CZepHubStatus::CZepHubStatus(std::uint16_t id) : m_id(id), m_lastHeard(HubTickCount()) {}

void CZepHubStatus::Update(const HubStatusFields& f, std::uint32_t tick) {
  m_version = f.version;
  m_word24 = f.word24;
  m_id = f.hubId;
  m_sensor1 = HubSensorValue(f.sensor1);
  m_sensor1Valid = HubSensorValid(f.sensor1);
  m_temperature1 = HubTemperature(f.temperature1);
  m_sensor2 = HubSensorValue(f.sensor2);
  m_temperature2 = HubTemperature(f.temperature2);
  m_linkStatus = f.linkStatus;
  m_altIp = f.altIp;
  m_word20 = f.word20;
  m_altMask = f.altMask;
  m_words72 = f.words72;
  m_word52 = f.word52;
  m_supplyCentivolts = f.supplyCentivolts;
  m_fixedIp = f.fixedIp;
  m_lastHeard = tick;
  for (std::size_t i = 0; i < m_linkSpeed.size(); ++i) m_linkSpeed[i] = HubLinkSpeed(m_linkStatus[i]);
}

std::string CZepHubStatus::StatusLine(int position) const {
  char sensor[10];  // the sensor text is cut at nine characters
  if (m_sensor1Valid) {
    std::snprintf(sensor, sizeof sensor, "%1.2lf", m_sensor1);
  } else {
    std::snprintf(sensor, sizeof sensor, "%s", " N/P ");
  }
  char line[160];
  std::snprintf(line, sizeof line, "%d. Ver:0x%04x ID:%3d Volts:%1.1lfV DT:%1.1lf PT:%s Fixed IP %03d:%03d:%03d:%03d",
                position + 1, m_version, m_id, m_supplyCentivolts / 100.0, m_temperature1, sensor, m_fixedIp[3],
                m_fixedIp[2], m_fixedIp[1], m_fixedIp[0]);
  return line;
}

CZepHubStatus* CSerComm::GetZepHubStatus(unsigned short id, int create) {
  if (id == 0) return nullptr;
  s_zepHubStLock.lock();
  for (CZepHubStatus* record : s_zepHubStatus) {
    if (record->m_id == id) return record;
  }
  if (create != 0) {
    auto* record = new CZepHubStatus(id);
    s_zepHubStatus.AddTail(record);
    return record;
  }
  s_zepHubStLock.unlock();
  return nullptr;
}

CZepHubStatus* CSerComm::GetZepHubFirst() {
  s_zepHubStLock.lock();
  if (!s_zepHubStatus.IsEmpty()) return *s_zepHubStatus.begin();
  s_zepHubStLock.unlock();
  return nullptr;
}

int CSerComm::GetZepHubCount() {
  std::lock_guard guard(s_zepHubStLock);
  return static_cast<int>(s_zepHubStatus.GetCount());
}

std::vector<CZepHubStatus> CSerComm::HubSnapshot() {
  std::lock_guard guard(s_zepHubStLock);
  std::vector<CZepHubStatus> copies;
  copies.reserve(s_zepHubStatus.GetCount());
  for (const CZepHubStatus* record : s_zepHubStatus) copies.push_back(*record);
  return copies;
}
