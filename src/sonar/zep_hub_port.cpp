#include "sonar/zep_hub_port.h"

#include "host/controls.h"
#include "host/nyx_wnd.h"
#include "host/settings.h"
#include "sonar/ser_comm.h"

NYX_IMPLEMENT_DYNCREATE(CZepHubPort, CPort)

namespace {
constexpr unsigned char kDecodeCode = 0x01;
}  // namespace

CZepHubPort::CZepHubPort() {
  m_baud = 5;  // 9600
  m_dataBits = 4;  // 8 bits
  m_parity = 1;
  m_stopBits = 1;
  m_flowControl = kDecodeCode;
}

CZepHubPort& CZepHubPort::operator=(const CZepHubPort& other) {
  if (this == &other) return *this;
  m_mode = other.m_mode;
  m_decodeCtrls = other.m_decodeCtrls;
  return *this;
}

void CZepHubPort::Settings(CESetObj& obj) {
  obj.Item("Mode", m_mode);
  CPort::Settings(obj);
}

int CZepHubPort::NewByte(double arrivalTime, unsigned char byte) {
  // The hub copies an echo port's traffic out of it; what comes back is not ours.
  if (IsEcho()) return 0;
  return CPort::NewByte(arrivalTime, byte);
}

unsigned char CZepHubPort::ModeCode() const {
  if (m_mode == kModeAscii || m_mode == kModeBinary || !IsEcho()) return kDecodeCode;
  // High nibble: the echoed port counted from 1. Low nibble: the pulse edge
  // the hub passes on with the echo, known only to a hub window owner.
  unsigned char low = 0;
  if (const auto* owner = dynamic_cast<const CSerComm*>(m_pOwner)) {
    low = owner->m_pps.m_sync == 1 ? 3 : owner->m_pps.m_sync == 2 ? 4 : 1;
  }
  return static_cast<unsigned char>(((m_mode - 1) << 4) | low);
}

void CZepHubPort::OnModeChange() {
  if (m_mode == kModeAscii || IsEcho()) m_sync = 1;
  if (m_mode == kModeBinary) m_sync = 0;
  const unsigned char code = ModeCode();
  if (code != m_flowControl) {
    m_flowControl = code;
    if (m_pOwner) m_pOwner->SendBaud(m_index);
  }
  ShowDecodeCtrls();
}

void CZepHubPort::ShowDecodeCtrls() {
  const bool shown = m_mode < kModeEchoFirst;
  const bool drawn = m_pOwner && m_pOwner->WindowExists();
  for (CECtrl* ctrl : m_decodeCtrls) {
    ctrl->SetFlag(kCtrlShown, shown);
    if (drawn) ctrl->Redraw();
  }
}

void CZepHubPort::SetCharTime() {
  if (m_baud >= kBaudRates.size()) return;
  double bits = 1.0;  // start bit; parity is not counted
  if (m_dataBits >= 1 && m_dataBits <= 4) bits += 4 + m_dataBits;
  static constexpr double kStopBits[] = {0.0, 1.0, 1.5, 2.0};
  if (m_stopBits >= 1 && m_stopBits <= 3) bits += kStopBits[m_stopBits];
  m_charTime = bits / kBaudRates[m_baud];
}
