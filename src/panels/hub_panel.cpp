// The hub comms window's panel: the comms switch and the hub's identifier, a
// row per hub port, and, in host mode 1, the pulse, time-source and
// network-output controls.
#include <string>

#include "host/controls.h"
#include "host/report.h"
#include "panels/panel_controls.h"
#include "sonar/ser_comm.h"

namespace {

constexpr int kLetterWidth = 40;
constexpr int kModeWidth = 90;
constexpr int kSyncWidth = 55;
constexpr int kBaudWidth = 65;
constexpr int kDecodeWidth = 140;
constexpr int kBankWidth = 35;
constexpr int kMaxAgeWidth = 30;
constexpr int kAgeWidth = 50;
constexpr int kLampWidth = 16;
constexpr int kHzWidth = 30;
constexpr int kStringWidth = 130;
constexpr int kCaptionWidth = 256;
constexpr int kComboWidth = 140;

std::string Lettered(const char* format, char letter) {
  std::string text(format);
  text.replace(text.find("%c"), 2, 1, letter);
  return text;
}

using PanelControls::InsCombo;
using PanelControls::MarkFlex;

// Age sliders here show no numeric text.
CESlider* InsAgeSlider(CCtrlCat& cat, double* age, const double* limit) {
  CESlider* slider = PanelControls::InsAgeSlider(cat, kAgeWidth, age, limit);
  slider->m_display = -1;
  return slider;
}

}  // namespace

// A second build replaces the first.
void CSerComm::SetupCtrls() {
  ForgetCtrls();
  ClearCtrls();

  ShiftY(2, 5);
  InsCtrl(kCtrlCheck, 132, &m_bEnableComms, "Enable Comms")->SetCallback([this] { OnEnableBtn(); });
  InsText(55, "Hub ID");
  auto* hubId = static_cast<CEVal*>(InsCtrl(kCtrlValue, 65, &m_hubId, "Hub ID"));
  hubId->SetRange(1, 65535);
  hubId->SetFlag(kCtrlEnabled, !CommsEnabled());
  m_pHubIdCtrl = hubId;
  NewLn();
  ShiftY(2, 5);

  InsText(kLetterWidth, "Port", "Port Label");
  InsText(kModeWidth, "Mode", "Mode for port (ASCII decode, Binary decode or Echo)");
  InsText(kSyncWidth, "Sync", "Sync character used by ASCII data");
  InsText(kBaudWidth, "Baud", "Baud rate for port");
  InsText(kDecodeWidth, "Decode", "Decode to apply");
  if (m_nBanks > 1) InsText(kBankWidth, "Bank", "Bank on which to output sensor data");
  InsText(kMaxAgeWidth, "Max", "Generate alarm after data age exceeds this value");
  InsText(kAgeWidth, "Age", "Time since last correct message");
  InsText(kLampWidth, "", "Status grey = no data, red = data incorrect, yellow = more data expected, green = all ok");
  InsText(kHzWidth, "Hz", "Data rate of primary decode");
  MarkFlex(InsText(kStringWidth, "String", "Decoded string"));
  ShiftY(16, 5);

  for (unsigned i = 0; i < kHubPorts; ++i) {
    CZepHubPort& port = *m_ports[i];
    CList_Ptr<CECtrl*>& list = port.m_decodeCtrls;
    const char letter = static_cast<char>('A' + i);
    InsText(kLetterWidth, std::string(1, letter));

    CECombo* mode = InsCombo(*this, kModeWidth, &port.m_mode, Lettered("Port %c Mode", letter));
    mode->AddValue("ASCII", CZepHubPort::kModeAscii);
    mode->AddValue("Binary", CZepHubPort::kModeBinary);
    for (unsigned q = 0; q < kHubPorts; ++q) {
      if (q != i) mode->AddValue(Lettered("Echo Port %c", static_cast<char>('A' + q)), CZepHubPort::kModeEchoFirst + q);
    }
    mode->SetCallback([&port] { port.OnModeChange(); });

    CECombo* sync = InsCombo(*this, kSyncWidth, &port.m_syncChar, Lettered("Port %c Sync char", letter));
    for (const auto& [code, name] : m_syncNames) sync->AddValue(name, code);
    list.AddTail(sync);

    CECombo* baud = InsCombo(*this, kBaudWidth, &port.m_baud, Lettered("Port %c Baud", letter));
    for (std::size_t b = 0; b < CZepHubPort::kBaudRates.size(); ++b) {
      baud->AddValue(std::to_string(CZepHubPort::kBaudRates[b]), static_cast<long>(b));
    }
    baud->SetCallback([&port] { port.SetBaud(); });
    list.AddTail(baud);

    CECombo* decode = InsCombo(*this, kDecodeWidth, &port.m_decode, Lettered("Port %c Decode", letter));
    decode->LoadSList(s_decodes_names);
    decode->SetCallback([&port] { port.SetDecode(); });
    list.AddTail(decode);

    if (m_nBanks > 1) {
      CECombo* bank = InsCombo(*this, kBankWidth, &port.m_bank, Lettered("Port %c Bank", letter));
      bank->LoadIndex(m_nBanks);
      bank->SetCallback([&port] { port.SetDecode(); });
      list.AddTail(bank);
    }

    list.AddTail(InsCtrl(kCtrlValue, kMaxAgeWidth, &port.m_alarmAge, Lettered("Port %c Age", letter)));
    CESlider* age = InsAgeSlider(*this, &port.m_age, &port.m_alarmAge);
    list.AddTail(age);
    m_ageSliders.AddTail(age);
    list.AddTail(InsCtrl(kCtrlLamp, kLampWidth, &port.m_status, ""));
    list.AddTail(InsCtrl(kCtrlText, kHzWidth, &port.m_hz, ""));
    CECtrl* message = MarkFlex(InsCtrl(kCtrlText, kStringWidth, &port.m_lastMsg, "", port.m_lastMsg));
    message->m_display = 0;
    list.AddTail(message);
    // A port loaded as an echo shows only its letter and its mode.
    port.ShowDecodeCtrls();
    ShiftY(16, 5);
  }

  if (Nyx::nyxMode != 1) return;

  ShiftY(5, 5);
  InsText(kCaptionWidth, "Pulse-Per-Second (PPS) Edge");
  CECombo* edge = InsCombo(*this, kComboWidth, &m_pps.m_sync, "PPS Edge");
  edge->AddValue("<none>", 0);
  edge->AddValue("Positive edge", 1);
  edge->AddValue("Negative edge", 2);
  edge->SetCallback([this] { OnPPSEdge(); });
  if (m_nBanks > 1) InsCombo(*this, kBankWidth, &m_pps.m_bank, "")->LoadIndex(m_nBanks);
  InsCtrl(kCtrlValue, kMaxAgeWidth, &m_pps.m_alarmAge, "PPS Age");
  m_ageSliders.AddTail(InsAgeSlider(*this, &m_pps.m_age, &m_pps.m_alarmAge));
  InsCtrl(kCtrlLamp, kLampWidth, &m_pps.m_state, "");
  ShiftY(16, 5);

  InsText(kCaptionWidth, "Time Synchronisation (if valid)");
  CECombo* source = InsCombo(*this, kComboWidth, &m_timeSource, "Time Synchronisation",
                             "If GPS not available Velmar will switch to PC(UTC) time");
  source->AddValue("GPS", 0);
  source->AddValue("PC Clock", 1);
  source->SetCallback([this] { OnTimeSource(); });
  ShiftX(1);
  InsText(132, "Data output time: ");
  MarkFlex(InsCtrl(kCtrlText, 130, &m_shownTime, ""));
  ShiftY(16, 5);

  m_networkCtrls[0] = InsText(kCaptionWidth, "Network data output");
  CECombo* output = InsCombo(*this, kComboWidth, &m_networkOutput, "Network data output");
  output->AddValue("Disabled", 0);
  output->AddValue("Unframed", 1);
  output->AddValue("Framed", 2);
  output->SetCallback([this] { OnSurveyNetworkEnable(); });
  m_networkCtrls[1] = output;
  NewLn();
}

// Drops every reference to this window's controls before they are rebuilt.
void CSerComm::ForgetCtrls() {
  for (const auto& ctrl : GetCtrls()) m_ageSliders.Remove(ctrl.get());
  for (const auto& port : m_ports) port->m_decodeCtrls.RemoveAll();
  m_pHubIdCtrl = nullptr;
  m_networkCtrls = {};
}
