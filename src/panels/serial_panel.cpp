// The serial comms window's panel: one labelled column for a single line, or
// an input section (and, when the task sends texts, an output section) with a
// row per line; and the row builders the sonar ports page lays out too.
#include <cstdio>
#include <string>

#include "comms/serial_comms.h"
#include "host/controls.h"
#include "host/report.h"
#include "panels/panel_controls.h"

namespace {

// Widths of the decoding row and its header.
constexpr int kModeWidth = 90;
constexpr int kSyncWidth = 55;
constexpr int kCodecWidth = 125;
constexpr int kBankWidth = 35;
constexpr int kMaxAgeWidth = 30;
constexpr int kAgeWidth = 50;
constexpr int kLampWidth = 16;
constexpr int kHzWidth = 30;
constexpr int kStringWidth = 30;
// The several-lines layout.
constexpr int kComPortWidth = 89;
constexpr int kButtonWidth = 16;
constexpr int kEnableWidth = 107;
// The single-line layout.
constexpr int kRowLabelWidth = 60;
constexpr int kColumnWidth = 125;
constexpr int kColumnBankWidth = 45;
constexpr int kMessageWidth = 201;
// Lines from this index on are the output rows.
constexpr std::size_t kFirstOutputLine = 6;
// Operator level from which the loopback routing is offered.
constexpr int kLoopbackLevel = 4;

constexpr const char* kStatusTip =
    "Status grey = no data, red = data incorrect, yellow = more data expected, green = all ok";
constexpr const char* kMaxTip = "Generate alarm after data age exceeds this value";
constexpr const char* kAgeTip = "Time since last correct message";
constexpr const char* kBankTip = "Bank on which to output sensor data";
constexpr const char* kSyncTip = "Sync character used by ASCII data";
constexpr const char* kComPortTip = "COM Port number";
constexpr const char* kSettingsTip = "COM Port settings (Baud rate etc.)";

std::string Numbered(const char* format, const std::string& prefix, unsigned number) {
  char text[128];
  std::snprintf(text, sizeof text, format, prefix.c_str(), number);
  return text;
}

std::string Numbered(const char* format, unsigned number) {
  char text[128];
  std::snprintf(text, sizeof text, format, number);
  return text;
}

using PanelControls::InsAgeSlider;
using PanelControls::InsCombo;
using PanelControls::MarkFlex;

void AddModeEntries(CECombo* combo) {
  combo->AddValue("ASCII", 1);
  combo->AddValue("Binary", 0);
}


// The host's control category here keeps no margin of its own to add to the
// single line's message width.
int LayoutMargin(const CCtrlCat&) { return 0; }

}  // namespace

void CSComm::AddHeader(CNyxWnd& wnd, CList_Ptr<CECtrl*>& list, bool addToList) {
  auto add = [&](int width, const char* label, const char* tooltip) {
    CECtrl* ctrl = wnd.InsText(width, label, tooltip);
    if (addToList) list.AddTail(ctrl);
    return ctrl;
  };
  add(kModeWidth, "Mode", "Mode for port (ASCII decode or Binary decode)");
  add(kSyncWidth, "Sync", kSyncTip);
  add(kCodecWidth, "Decode", "Decode to apply");
  if (m_nBanks > 1) add(kBankWidth, "Bank", kBankTip);
  add(kMaxAgeWidth, "Max", kMaxTip);
  add(kAgeWidth, "Age", kAgeTip);
  add(kLampWidth, "", kStatusTip);
  add(kHzWidth, "Hz", "Data rate of primary decode");
  MarkFlex(add(kStringWidth, "String", "Decoded string"));
}

void CSComm::AddDecodingOptions(CNyxWnd& wnd, unsigned index, CList_Ptr<CECtrl*>& list, CPort& port,
                                const std::string& prefix) {
  const unsigned number = index + 1;
  CECombo* mode = InsCombo(wnd, kModeWidth, &port.m_sync, Numbered("%s %d Mode", prefix, number));
  AddModeEntries(mode);
  list.AddTail(mode);

  CECombo* sync = InsCombo(wnd, kSyncWidth, &port.m_syncChar, Numbered("%s %d Sync char", prefix, number));
  for (const auto& [code, name] : m_syncNames) sync->AddValue(name, code);
  list.AddTail(sync);

  CECombo* decode = InsCombo(wnd, kCodecWidth, &port.m_decode, Numbered("%s %d Decode", prefix, number));
  decode->LoadSList(s_decodes_names);
  decode->SetCallback([&port] { port.SetDecode(); });
  list.AddTail(decode);

  if (m_nBanks > 1) {
    CECombo* bank = InsCombo(wnd, kBankWidth, &port.m_bank, Numbered("%s %d Bank", prefix, number));
    bank->LoadIndex(m_nBanks);
    bank->SetCallback([&port] { port.SetDecode(); });
    list.AddTail(bank);
  }

  list.AddTail(wnd.InsCtrl(kCtrlValue, kMaxAgeWidth, &port.m_alarmAge, Numbered("%s %d Age", prefix, number)));

  CESlider* age = InsAgeSlider(wnd, kAgeWidth, port);
  age->m_display = -1;  // no numeric text
  list.AddTail(age);
  m_ageSliders.AddTail(age);

  list.AddTail(wnd.InsCtrl(kCtrlLamp, kLampWidth, &port.m_status, ""));
  list.AddTail(wnd.InsCtrl(kCtrlText, kHzWidth, &port.m_hz, ""));
  CECtrl* message = MarkFlex(wnd.InsCtrl(kCtrlText, kStringWidth, &port.m_lastMsg, ""));
  message->m_display = 0;
  list.AddTail(message);
}

void CSComm::AddZephraHeaderCtrls(CNyxWnd& wnd) {
  wnd.InsText(50, "Sonar ID", "Sonar ID number");
  wnd.InsText(35, "Port", "Sonar Serial Ports");
  wnd.InsText(110, "Function", "Function of Serial Port");
  wnd.InsText(55, "Protocol", "Zephra Serial Port Protocol");
  wnd.InsText(65, "Baud Rate", "Zephra Serial Port Baud Rate");
}

void CSComm::AddZephraCtrls(CNyxWnd& wnd, unsigned sonar, unsigned serial) {
  if (sonar >= static_cast<unsigned>(kSonarSlots) || serial > 1) return;
  CZepPort& port = m_sonar.Port(2 * sonar + serial);

  port.m_pLabelCtrl = wnd.InsCtrl(kCtrlText, 50, &port.m_label, "");
  port.m_pLabelCtrl->m_display = 0;
  port.m_pComPortCtrl = wnd.InsCtrl(kCtrlText, 35, &port.m_comPort, "");

  CECombo* routing = InsCombo(wnd, 110, &port.m_routing, "Zephra Serial Decode");
  routing->AddValue("Decode", CZepPort::kRouteDecode);
  if (Nyx::nyxLevel.load() >= kLoopbackLevel) routing->AddValue("Loopback", CZepPort::kRouteLoopback);
  AddCommPortList(routing, "Route to COM");
  routing->SetCallback([this] { OnZepRouting(); });
  port.m_pRoutingCtrl = routing;

  // The second serial port of a head speaks RS232 only.
  CECombo* format = InsCombo(wnd, 55, &port.m_format, "Protocol");
  format->AddValue("RS232", 0);
  if (serial == 0) format->AddValue("RS485", 1);
  port.m_pFormatCtrl = format;

  CECombo* baud = InsCombo(wnd, 65, &port.m_baud, Numbered("Zephra %d Baud", sonar + 1));
  for (std::size_t i = 0; i < CZepPort::kBaudRates.size(); ++i) {
    baud->AddValue(std::to_string(CZepPort::kBaudRates[i]), static_cast<long>(i));
  }
  baud->SetCallback([&port] { port.SetBaud(); });
  port.m_pBaudCtrl = baud;
}

void CSComm::ForgetCtrls(const CCtrlCat& owner) {
  for (const auto& ctrl : owner.GetCtrls()) {
    CECtrl* gone = ctrl.get();
    m_ageSliders.Remove(gone);
    for (std::size_t i = 0; i < m_lines.GetCount(); ++i) {
      m_lines[i]->m_inputCtrls.Remove(gone);
      m_lines[i]->m_outputCtrls.Remove(gone);
    }
    for (unsigned p = 0; p < CSonarPorts::kSonarPorts; ++p) {
      CZepPort& port = GetSonarPort(p);
      port.m_decodeCtrls.Remove(gone);
      port.m_otherCtrls.Remove(gone);
      for (CECtrl** pointer : {&port.m_pLabelCtrl, &port.m_pComPortCtrl, &port.m_pBaudCtrl, &port.m_pFormatCtrl,
                               &port.m_pRoutingCtrl}) {
        if (*pointer == gone) *pointer = nullptr;
      }
    }
  }
}

// A second build replaces the first.
void CSComm::SetupCtrls() {
  ForgetCtrls(*this);
  ClearCtrls();
  if (m_lines.GetCount() == 1) {
    SetupSingleLine();
  } else {
    SetupSeveralLines();
  }
}

void CSComm::SetupSingleLine() {
  CSPort& line = *m_lines[0];
  CPort& port = line.m_port;

  InsText(kRowLabelWidth, "Comm Port");
  CECombo* comPort = InsCombo(*this, kColumnWidth, &line.m_commPort, "Comm Port");
  comPort->AddValue("Off", 0);
  AddCommPortList(comPort, "COM");
  comPort->SetCallback([&line] { line.SetupComm(); });
  InsBtn(kButtonWidth, "...", [&line] { line.CfgPrt(); });
  NewLn();

  InsText(kRowLabelWidth, "Decode");
  CECombo* decode = InsCombo(*this, kColumnWidth, &port.m_decode, "Decode");
  decode->LoadSList(s_decodes_names);
  decode->SetCallback([&port] { port.SetDecode(); });
  NewLn();

  InsText(kRowLabelWidth, "Sync");
  CECombo* sync = InsCombo(*this, kColumnWidth, &port.m_syncChar, "Sync char");
  for (const auto& [code, name] : m_syncNames) sync->AddValue(name, code);
  InsCtrl(kCtrlCheck, kButtonWidth, &port.m_sync, "");
  NewLn();

  // The bank shares its row with the status.
  if (m_nBanks > 1) {
    InsText(kRowLabelWidth, "Bank");
    InsCombo(*this, kColumnBankWidth, &port.m_bank, "Bank")->LoadIndex(m_nBanks);
  }

  InsText(kRowLabelWidth, "Status");
  m_ageSliders.AddTail(InsAgeSlider(*this, kColumnWidth, port));
  InsCtrl(kCtrlLamp, kLampWidth, &port.m_status, "");
  NewLn();

  InsText(kRowLabelWidth, "Rate (Hz)");
  InsCtrl(kCtrlText, kColumnWidth, &port.m_hz, "");
  NewLn();

  InsText(kRowLabelWidth, "Output");
  InsCtrl(kCtrlCheck, kColumnWidth, &port.m_echoData, "Write to Console");
  NewLn();
  CECtrl* message = MarkFlex(InsCtrl(kCtrlText, kMessageWidth + LayoutMargin(*this), &port.m_lastMsg, ""));
  message->m_display = 0;
  NewLn();
}

// Input rows stop two lines before the last, output rows start at line 6.
// With more than eight lines those ranges would overlap; then, while the
// output section is shown, the input rows stop at line 6 so that every line
// has one row (without the output section every line but the last two stays
// an input row).
void CSComm::SetupSeveralLines() {
  ShiftY(2, 5);
  InsCtrl(kCtrlCheck, kEnableWidth, &m_bEnableComms, "Enable Comms")->SetCallback([this] { OnEnableBtn(); });
  NewLn();
  ShiftY(2, 5);

  InsText(kComPortWidth, "Input COM Port", kComPortTip);
  InsText(kButtonWidth, "", kSettingsTip);
  CList_Ptr<CECtrl*> unused;
  AddHeader(*this, m_lines.GetCount() > 0 ? m_lines[0]->m_inputCtrls : unused, false);
  ShiftY(16, 5);

  const std::size_t count = m_lines.GetCount();
  const bool outputRows = m_taskOutput && count > kFirstOutputLine;
  for (std::size_t i = 0; i + 2 < count && !(outputRows && i >= kFirstOutputLine); ++i) {
    CSPort& line = *m_lines[i];
    const auto number = static_cast<unsigned>(i + 1);
    CECombo* comPort = InsCombo(*this, kComPortWidth, &line.m_commPort, Numbered("Port %d COM Port", number));
    comPort->AddValue("Off", 0);
    AddCommPortList(comPort, "COM");
    comPort->SetCallback([&line] { line.SetupComm(); });
    line.m_inputCtrls.AddTail(InsBtn(kButtonWidth, "...", [&line] { line.CfgPrt(); }));
    AddDecodingOptions(*this, static_cast<unsigned>(i), line.m_inputCtrls, line.m_port, "Port");
    ShiftY(16, 5);
  }

  if (!m_taskOutput) return;

  NewLn();
  InsText(kComPortWidth, "Output COM Port", kComPortTip);
  InsText(kButtonWidth, "", kSettingsTip);
  InsText(kModeWidth, "Mode", "Mode for port (ASCII encode or Binary encode)");
  InsText(kSyncWidth, "Sync", kSyncTip);
  InsText(kCodecWidth, "Encode", "Encode to apply");
  if (m_nBanks > 1) InsText(kBankWidth, "Bank", kBankTip);
  InsText(kMaxAgeWidth, "Max", kMaxTip);
  InsText(kAgeWidth, "Age", kAgeTip);
  InsText(kLampWidth, "", kStatusTip);
  InsText(kHzWidth, "Hz", "Data rate of primary encode");
  InsText(kStringWidth, "String", "Encoded string");
  ShiftY(16, 5);

  for (std::size_t i = kFirstOutputLine; i < count; ++i) {
    CSPort& line = *m_lines[i];
    CPort& port = line.m_port;
    CList_Ptr<CECtrl*>& list = line.m_outputCtrls;
    const auto number = static_cast<unsigned>(i + 1);

    CECombo* comPort = InsCombo(*this, kComPortWidth, &line.m_commPort, Numbered("Port %d COM Port", number));
    line.PopulateCOMPortList(*comPort);
    comPort->SetCallback([&line] { line.SetupComm(); });
    list.AddTail(comPort);
    list.AddTail(InsBtn(kButtonWidth, "...", [&line] { line.CfgPrt(); }));

    CECombo* mode = InsCombo(*this, kModeWidth, &port.m_sync, Numbered("Port %d Mode", number));
    AddModeEntries(mode);
    list.AddTail(mode);

    CECombo* sync = InsCombo(*this, kSyncWidth, &port.m_syncChar, Numbered("Port %d Sync char", number));
    for (const auto& [code, name] : m_syncNames) sync->AddValue(name, code);
    list.AddTail(sync);

    CECombo* encode = InsCombo(*this, kCodecWidth, &port.m_encode, Numbered("Port %d Encode", number));
    encode->LoadSList(s_encodes_names);
    encode->SetCallback([&port] { port.SetEncode(); });
    list.AddTail(encode);

    if (m_nBanks > 1) {
      CECombo* bank = InsCombo(*this, kBankWidth, &port.m_bank, Numbered("Port %d Bank", number));
      bank->LoadIndex(m_nBanks);
      bank->SetCallback([&port] { port.SetEncode(); });
      list.AddTail(bank);
    }

    list.AddTail(InsCtrl(kCtrlValue, kMaxAgeWidth, &port.m_alarmAge, Numbered("Port %d Age", number)));
    CESlider* age = InsAgeSlider(*this, kAgeWidth, port);
    age->m_display = -1;
    list.AddTail(age);
    m_ageSliders.AddTail(age);
    list.AddTail(InsCtrl(kCtrlLamp, kLampWidth, &port.m_status, ""));
    list.AddTail(InsCtrl(kCtrlText, kHzWidth, &port.m_hz, ""));
    list.AddTail(MarkFlex(InsCtrl(kCtrlText, kStringWidth, &port.m_lastMsg, "")));
    ShiftY(16, 5);
  }
}
