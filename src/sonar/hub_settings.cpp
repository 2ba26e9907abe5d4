// The hub window's settings: its own keys in the window's settings object,
// and the "SerComm" column of its ports and its pulse tracker, which also
// travels alone in an exported file.
#include <mutex>
#include <string>

#include "host/report.h"
#include "host/settings.h"
#include "sonar/ser_comm.h"

namespace {
constexpr const char* kColumn = "SerComm";
constexpr const char* kNoData = "No Data";
constexpr int kImportAlarmId = 3020;

std::string PortObjectName(unsigned index) { return std::string("Port") + static_cast<char>('A' + index); }
}  // namespace

void CSerComm::Settings(CESetObj& obj) {
  CEComm::Settings(obj);
  obj.Item("CommsEnabled", m_bEnableComms);
  obj.Item("HubID", m_hubId);
  obj.Item("TimeSource", m_timeSource);
  obj.Item("EnSurveyNet", m_networkOutput);
  if (obj.IsStoring()) {
    SaveSet(obj.GetSet());
  } else {
    LoadSet(obj.GetSet());
  }
  if (obj.IsLoading()) {
    OnPPSEdge();
    VerifyTimeSource();
    m_timeSourceSeen = m_timeSource;
    m_commTime.SetUseGps(m_timeSource == 0 ? 1 : 0);
  }
}

void CSerComm::SaveSet(CESet& set) {
  CESetCol* col = set.AddCol(kColumn);
  for (unsigned i = 0; i < kHubPorts; ++i) m_ports[i]->Settings(*col->AddObj(PortObjectName(i), kNoData));
  m_pps.Settings(*col->AddObj("PPS", kNoData));
}

void CSerComm::LoadSet(CESet& set) {
  if (CESetCol* col = set.GetCol(kColumn)) {
    std::lock_guard state(m_stateLock);
    for (unsigned i = 0; i < kHubPorts; ++i) {
      if (CESetObj* obj = col->GetObj(PortObjectName(i))) m_ports[i]->Settings(*obj);
    }
    // Echo ports take their sources' line settings; a running hub is reconfigured.
    for (unsigned i = 0; i < kHubPorts; ++i) SendBaud(i);
    if (CESetObj* obj = col->GetObj("PPS")) m_pps.Settings(*obj);
  }
  UpdateCtrls();
}

bool CSerComm::Import(const std::string& path) {
  CESet set;
  if (set.Load(path) == 0) {
    Nyx::Alarm(kImportAlarmId, 1, "SerComm: Cannot read settings file %s", path.c_str());
    return false;
  }
  LoadSet(set);
  return true;
}

bool CSerComm::Export(const std::string& path) {
  CESet set;
  SaveSet(set);
  return set.Save(path) != 0;
}
