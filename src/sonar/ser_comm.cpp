#include "sonar/ser_comm.h"

#include <utility>

#include "host/controls.h"
#include "host/report.h"
#include "sonar/sonar_library.h"
#include "time/zda_time.h"

NYX_IMPLEMENT_DYNCREATE(CSerComm, CEComm)

std::mutex CSerComm::s_windowLock;
CSerComm* CSerComm::s_window = nullptr;

namespace {
constexpr int kRxStatusId = 3020;
constexpr int kZdaStatusId = 3022;
constexpr int kMsgBoxOk = 22;
constexpr int kMsgBoxYesNo = 137;
constexpr int kAnswerYes = 6;

int Octet(std::uint32_t word, int shift) { return static_cast<int>((word >> shift) & 0xFFu); }
}  // namespace

CSerComm::CSerComm() {
  m_typeName = "Hub";
  m_pps.m_pOwner = this;
  {
    std::lock_guard guard(s_windowLock);
    s_window = this;
  }
  m_ports.SetSize(kHubPorts);
  for (unsigned i = 0; i < kHubPorts; ++i) {
    m_ports[i]->m_index = i;
    m_ports[i]->m_pOwner = this;
  }
  // Comms are off: this only sets the character times.
  for (unsigned i = 0; i < kHubPorts; ++i) SendBaud(i);
  ZEPHUB_SetHandlerFunction(&CSerComm::HubHandler);
  ZEP_SetTimeSyncFunction(&CSerComm::TimeSync);
  Join(s_trigRx, this);
  Join(s_pollRx, this);
}

CSerComm::~CSerComm() {
  LeaveReceiverLists();
  ZEPHUB_SetHandlerFunction(nullptr);
  ZEP_SetTimeSyncFunction(nullptr);
  {
    // Waits for a callback that is still using this window.
    std::lock_guard guard(s_windowLock);
    if (s_window == this) s_window = nullptr;
  }
  {
    std::lock_guard guard(s_zepHubStLock);
    for (CZepHubStatus* record : s_zepHubStatus) delete record;
    s_zepHubStatus.RemoveAll();
  }
  {
    std::lock_guard guard(m_bytesLock);
    m_bytes.clear();
  }
  m_ports.RemoveAll();
}

void CSerComm::OnTrigger(double, double dt) {
  if (!CommsEnabled()) return;
  std::lock_guard state(m_stateLock);
  std::deque<SERIAL_BYTE_PACKET> packets;
  {
    std::lock_guard guard(m_bytesLock);
    packets.swap(m_bytes);
  }
  int changes = 0;
  for (const SERIAL_BYTE_PACKET& packet : packets) {
    const std::uint64_t us = packet.TimeUs();
    m_lastHubDeviceTime = static_cast<double>(us);
    m_hubClock = m_commTime.ConvertTime(static_cast<double>(us) / 1e6).GetValue();
    m_triggersSinceByte = 0;
    if (packet.Port() < kHubPorts) {
      changes += m_ports[packet.Port()]->NewByte(m_hubClock, packet.Data());
    } else if (packet.IsPpsEdge()) {
      changes += m_pps.NewEdge(m_hubClock, static_cast<double>(us), packet.Data());
    }
  }
  if (!packets.empty()) {
    Nyx::Status(kRxStatusId, 2, "Comm RxData Read %3d bytes last time = %1.3lf", static_cast<int>(packets.size()),
                m_hubClock);
  }
  m_commTime.ManageGpsTime();
  m_commTime.ManagePcTime();
  for (const auto& port : m_ports) changes += port->SetDataAge(m_hubClock);
  changes += m_pps.SetDataAge(m_hubClock);
  {
    std::lock_guard guard(m_timeTextLock);
    if (m_timeText != m_shownTime) {
      m_shownTime = m_timeText;
      ++changes;
    }
  }
  if (changes != 0) UpdateLabels();
  // A silent hub's clock runs on by itself from the twenty-first trigger.
  if (m_triggersSinceByte < kTriggersBeforeAging) {
    ++m_triggersSinceByte;
  } else {
    m_hubClock += dt;
  }
}

void CSerComm::OnPoll(double) {
  m_rxHubId = m_hubId;
  m_timeSourceSeen = m_timeSource;
  ConfigureLateHub();
  bool stayAlive = false;
  std::vector<CZepHubStatus*> expired;
  std::size_t before = 0;
  std::size_t kept = 0;
  {
    std::lock_guard guard(s_zepHubStLock);
    before = s_zepHubStatus.GetCount();
    const std::uint32_t tick = HubTickCount();
    for (CZepHubStatus* record : s_zepHubStatus) {
      if (CommsEnabled() && record->m_id == m_hubId) stayAlive = true;
      if (tick - record->m_lastHeard > kHubExpiryMs) expired.push_back(record);
    }
    for (CZepHubStatus* record : expired) {
      s_zepHubStatus.Remove(record);
      delete record;
    }
    kept = s_zepHubStatus.GetCount();
  }
  // The library is called outside the list lock: its thread takes that lock
  // in the handler.
  if (stayAlive) ZEPHUB_SendHubStayAlive(m_hubId);
  for (std::size_t position = kept; position < before; ++position) {
    Nyx::Status(kHubLineId + static_cast<int>(position), 1, "No longer present");
  }
}

void CSerComm::OnEnableBtn() {
  if (m_bEnableComms) {
    bool accepted = false;
    if (m_hubId == 0) {
      Nyx::MsgBox(kMsgBoxOk, "No Hub has been selected.\nPress OK to continue");
    } else if (GetZepHubStatus(m_hubId, 0) != nullptr) {
      s_zepHubStLock.unlock();
      accepted = true;
    } else {
      const int count = GetZepHubCount();
      if (count == 0) {
        Nyx::MsgBox(kMsgBoxOk, "No Hubs are available.\nPress OK to continue");
      } else if (count == 1) {
        const int answer =
            Nyx::MsgBox(kMsgBoxYesNo, "Selected Hub is not available.\nWould you like to use the available Hub?");
        // The list may have emptied while the operator answered.
        if (answer == kAnswerYes) {
          if (CZepHubStatus* first = GetZepHubFirst()) {
            m_hubId = first->m_id;
            s_zepHubStLock.unlock();
            if (m_pHubIdCtrl) m_pHubIdCtrl->Redraw();
            accepted = true;
          }
        }
      } else {
        Nyx::MsgBox(kMsgBoxOk, "Selected Hub is not available.\nPlease select an alternative.");
      }
    }
    if (!accepted) m_bEnableComms = 0;
  }
  CNyxWnd::InfoMsg(kInfoCommsEnable, InfoValue(m_bEnableComms));
}

void CSerComm::OnInfoMsg(int kind, void* data) {
  if (kind == kInfoCommsEnable) {
    if ((m_optionFlags & 2) == 0) return;
    CEComm::OnInfoMsg(kind, data);
    const int on = static_cast<int>(InfoValueOf(data));
    if (m_commsEnabled.load() == on) return;
    m_commsEnabled = on;
    if (on) {
      StartComms();
    } else {
      StopComms();
    }
  } else if (kind == kInfoShutdown) {
    ZEPHUB_SetHandlerFunction(nullptr);
    ZEP_SetTimeSyncFunction(nullptr);
  }
}

void CSerComm::StartComms() {
  m_rxHubId = m_hubId;
  EnableCtrl(m_pHubIdCtrl, false);
  CZepHubStatus* record = GetZepHubStatus(m_hubId, 0);
  if (!record) return;
  const HubAddress address{record->m_altIp, record->m_altMask};
  s_zepHubStLock.unlock();
  ConfigureHub(address);
}

void CSerComm::ConfigureHub(const HubAddress& a) {
  ZEPHUB_UseAltDeviceIPAddress(m_hubId, Octet(a.ip, 24), Octet(a.ip, 16), Octet(a.ip, 8), Octet(a.ip, 0),
                               Octet(a.mask, 24), Octet(a.mask, 16), Octet(a.mask, 8), Octet(a.mask, 0));
  ZEPHUB_TxToAltIPAddress(m_hubId, 1);
  ZEPHUB_SetSurveyNetworkEnable(m_hubId, m_networkOutput);
  std::lock_guard state(m_stateLock);
  for (unsigned i = 0; i < kHubPorts; ++i) {
    SendBaud(i);
    m_ports[i]->Enable(1);
  }
  m_pps.m_state = 3;
  m_hubConfigured = true;
}

// Beyond what switching comms on does: a station whose "Enable Comms" is
// ticked may start before its hub is heard (both come up after a power cut,
// the hub slower), and then nothing would configure the hub until an operator
// switched comms off and on. So the hub is configured once it is in the list.
void CSerComm::ConfigureLateHub() {
  if (!m_bEnableComms || m_hubConfigured || (m_optionFlags & 2) == 0) return;
  CZepHubStatus* record = GetZepHubStatus(m_hubId, 0);
  if (!record) return;
  const HubAddress address{record->m_altIp, record->m_altMask};
  s_zepHubStLock.unlock();
  m_rxHubId = m_hubId;
  m_commsEnabled = 1;
  EnableCtrl(m_pHubIdCtrl, false);
  ConfigureHub(address);
}

void CSerComm::StopComms() {
  {
    std::lock_guard state(m_stateLock);
    for (const auto& port : m_ports) port->Enable(0);
    m_pps.m_state = 3;
  }
  ZEPHUB_DeleteDeviceID(m_hubId);
  EnableCtrl(m_pHubIdCtrl, true);
  m_hubConfigured = false;
}

void CSerComm::SendBaud(unsigned port) {
  std::array<bool, kHubPorts> resolved{};
  ResolvePort(port, resolved);
}

// Each port is resolved at most once per change, so ports that echo each
// other cannot send each other round for ever.
void CSerComm::ResolvePort(unsigned index, std::array<bool, kHubPorts>& resolved) {
  if (index >= kHubPorts || resolved[index]) return;
  resolved[index] = true;
  CZepHubPort& port = *m_ports[index];
  const int source = port.EchoSource();
  if (source >= 0 && static_cast<unsigned>(source) != index) {
    const CZepHubPort& from = *m_ports[static_cast<unsigned>(source)];
    port.m_baud = from.m_baud;
    port.m_dataBits = from.m_dataBits;
    port.m_parity = from.m_parity;
    port.m_stopBits = from.m_stopBits;
  }
  for (unsigned b = 0; b < kHubPorts; ++b) {
    if (b != index && m_ports[b]->EchoSource() == static_cast<int>(index)) ResolvePort(b, resolved);
  }
  port.SetCharTime();
  if (CommsEnabled()) {
    ZEPHUB_ConfigPort(m_hubId, static_cast<int>(index), port.m_baud, port.m_dataBits, port.m_parity,
                      port.m_stopBits, port.m_flowControl);
    Nyx::Console(0, "port %d set to %d", static_cast<int>(index), static_cast<int>(port.m_baud));
  }
}

void CSerComm::SendData(unsigned, const char*) {}

void CSerComm::SendData(unsigned port, TX_MSG* msg) {
  if (!CommsEnabled() || port >= kHubPorts || !msg) return;
  const int length = msg->m_pData ? msg->m_nLength : 0;
  ZEPHUB_SendSerialCommand(m_hubId, static_cast<int>(port), static_cast<std::uint16_t>(length), msg->m_pData);
  const std::string text = length > 0 ? std::string(msg->m_pData, static_cast<std::size_t>(length)) : std::string();
  Nyx::Comms(1, "%d: %d bytes <%s>", static_cast<int>(port), length, text.c_str());
}

void CSerComm::NewData(unsigned, double, std::string) {}
void CSerComm::PortUpdated(CPort&) {}

void CSerComm::ProcessZDA(CTm80& gpsTime, const SYSTEMTIME& utc) {
  ProcessZdaTime(m_commTime, m_pps, m_lastHubDeviceTime, gpsTime, utc, kZdaStatusId);
}

void CSerComm::OnSurveyNetworkEnable() {
  if (CommsEnabled()) ZEPHUB_SetSurveyNetworkEnable(m_hubId, m_networkOutput);
}

void CSerComm::UpdateSurveyNetwork(unsigned short code) {
  for (CECtrl* ctrl : m_networkCtrls) EnableCtrl(ctrl, code == 3);
}

void CSerComm::OnPPSEdge() {
  for (const auto& port : m_ports) port->OnModeChange();
}

void CSerComm::OnTimeSource() {
  m_timeSourceSeen = m_timeSource;
  m_commTime.SetUseGps(m_timeSource == 0 ? 1 : 0);
}

void CSerComm::EnableCtrl(CECtrl* ctrl, bool on) {
  if (!ctrl) return;
  ctrl->SetFlag(kCtrlEnabled, on);
  ctrl->Redraw();
}

std::string CSerComm::TimeText() const {
  std::lock_guard guard(m_timeTextLock);
  return m_timeText;
}
