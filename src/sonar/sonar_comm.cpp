#include "sonar/sonar_comm.h"

#include "sonar/sonar_port_owner.h"
#include "sonar/zep_port.h"

NYX_IMPLEMENT_DYNCREATE(CSonarComm, CNyxWnd)

void CSonarComm::SetOption(const std::string& key, const std::string& value) {
  CNyxWnd::SetOption(key, value);
  if (key != "SComm") return;
  // A name that is not a serial comms window keeps the one already known.
  if (auto* window = dynamic_cast<ISonarPortRows*>(CNyxWnd::GetWnd(value))) m_pSComm = window;
}

void CSonarComm::SetupCtrls() {
  // A second build replaces the first.
  if (m_pSComm) m_pSComm->ForgetCtrls(*this);
  ClearCtrls();
  if (!m_pSComm) return;
  InsText(107, "Zephra Serial Ports");
  ShiftY(16, 5);
  m_pSComm->AddZephraHeaderCtrls(*this);
  m_pSComm->AddHeader(*this, m_pSComm->GetSonarPort(0).m_decodeCtrls, false);
  ShiftY(16, 5);
  for (unsigned k = 0; k < static_cast<unsigned>(m_pSComm->GetMaxNumberOfSonars()); ++k) {
    for (unsigned j = 0; j < 2; ++j) {
      CZepPort& port = m_pSComm->GetSonarPort(2 * k + j);
      m_pSComm->AddZephraCtrls(*this, k, j);
      m_pSComm->AddDecodingOptions(*this, k, port.m_decodeCtrls, port, "Zephra");
      ShiftY(16, 5);
    }
  }
}

void CSonarComm::LayoutWnd(int how) {
  if (!WindowExists()) return;
  LayoutCtrls();
  CNyxWnd::UpdateFlex();
  CNyxWnd::LayoutWnd(how);
}
