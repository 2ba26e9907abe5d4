#include "support/panel_dump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/task.h"

namespace {

std::string KindName(int kind) {
  static const std::map<int, std::string> names = {
      {kCtrlLabel, "label"}, {kCtrlText, "text"}, {kCtrlValue, "value"}, {kCtrlCheck, "check"},
      {kCtrlCombo, "combo"}, {kCtrlSlider, "slider"}, {kCtrlLamp, "lamp"}, {kCtrlButton, "button"}};
  const auto it = names.find(kind);
  return it == names.end() ? "kind" + std::to_string(kind) : it->second;
}

std::string BindingName(const CtrlBinding& binding, const PanelNames& names) {
  return std::visit(
      [&](auto pointer) -> std::string {
        if constexpr (std::is_same_v<decltype(pointer), std::monostate>) {
          return {};
        } else {
          const auto it = names.bindings.find(pointer);
          return it == names.bindings.end() ? "?" : it->second;
        }
      },
      binding);
}

std::string EntriesText(const CECombo& combo, const PanelNames& names) {
  for (const auto& [name, entries] : names.entryLists) {
    if (entries == combo.GetEntries()) return "@" + name;
  }
  std::string text;
  for (const auto& [entry, value] : combo.GetEntries()) {
    text += (text.empty() ? "" : " ") + entry + "=" + std::to_string(value);
  }
  return text;
}

}  // namespace

void PanelNames::Hold(const std::string& name, const CList_Ptr<CECtrl*>& list) {
  holders.emplace_back(name, std::vector<const CECtrl*>(list.begin(), list.end()));
}

std::string DumpPanel(const CCtrlCat& panel, const PanelNames& names) {
  std::ostringstream out;
  int row = -1;
  for (const auto& ctrl : panel.GetCtrls()) {
    if (ctrl->m_row != row) {
      row = ctrl->m_row;
      out << "row " << row << "\n";
    }
    char head[32];
    std::snprintf(head, sizeof head, "  %-6s %3d ", KindName(ctrl->m_kind).c_str(), ctrl->m_width);
    out << head << '"' << ctrl->m_label << '"';
    if (ctrl->m_text != ctrl->m_label && !ctrl->m_text.empty()) out << " text \"" << ctrl->m_text << '"';
    if (const std::string bound = BindingName(ctrl->m_binding, names); !bound.empty()) out << " = " << bound;
    if (!ctrl->m_tooltip.empty()) out << " tip \"" << ctrl->m_tooltip << '"';
    if (const auto* combo = dynamic_cast<const CECombo*>(ctrl.get())) out << " [" << EntriesText(*combo, names) << "]";
    if (ctrl->m_flex) out << " flex";
    if (ctrl->m_display != 0) out << " display " << ctrl->m_display;
    if (!ctrl->HasFlag(kCtrlEnabled)) out << " disabled";
    if (!ctrl->HasFlag(kCtrlShown)) out << " hidden";
    if (ctrl->HasFlag(kCtrlMarked)) out << " marked";
    std::string held;
    for (const auto& [name, ctrls] : names.holders) {
      if (std::find(ctrls.begin(), ctrls.end(), ctrl.get()) != ctrls.end()) held += (held.empty() ? "" : ",") + name;
    }
    if (!held.empty()) out << " in " << held;
    out << "\n";
  }
  // Sizes of the lists that hold anything: a list keeping a control of an
  // earlier build, or one twice, shows here.
  for (const auto& [name, ctrls] : names.holders) {
    if (ctrls.size() > 1) out << "list " << name << " " << ctrls.size() << "\n";
  }
  return out.str();
}

void ExpectGoldenFile(const std::string& relative, const std::string& text) {
  const std::string path = std::string(NYX_SOURCE_DIR) + "/tests/data/" + relative;
  if (std::getenv("NYX_UPDATE_GOLDEN")) {
    std::ofstream(path, std::ios::binary) << text;
    return;
  }
  std::ifstream file(path, std::ios::binary);
  ASSERT_TRUE(file) << path << " is missing; NYX_UPDATE_GOLDEN=1 writes it";
  std::ostringstream golden;
  golden << file.rdbuf();
  EXPECT_EQ(text, golden.str()) << path << " differs; if the change is meant, NYX_UPDATE_GOLDEN=1 rewrites it";
}

SerialPanelWindow::SerialPanelWindow(int lines, int banks, bool taskOutput) {
  window.SetOption("nBanks", std::to_string(banks));
  window.SetOption("nPorts", std::to_string(lines));
  if (taskOutput) {
    CTask::AddTask("Out", "Host")->GetData()->m_outputFlags = {1, 0};
    window.SetOption("Task", "Out");
  }
  window.m_comPorts = {2, 7};
}

SerialPanelWindow::~SerialPanelWindow() { CTask::RemoveAll(); }

namespace {

void NamePort(PanelNames& names, CPort& port, const std::string& prefix) {
  const std::pair<const char*, const void*> fields[] = {
      {"sync", &port.m_sync},     {"syncChar", &port.m_syncChar}, {"decode", &port.m_decode},
      {"encode", &port.m_encode}, {"bank", &port.m_bank},         {"alarmAge", &port.m_alarmAge},
      {"age", &port.m_age},       {"status", &port.m_status},     {"hz", &port.m_hz},
      {"lastMsg", &port.m_lastMsg}, {"echoData", &port.m_echoData}, {"comPort", &port.m_comPort},
      {"format", &port.m_format}, {"baud", &port.m_baud},
  };
  for (const auto& [field, variable] : fields) names.Bind(prefix + "." + field, variable);
}

}  // namespace

namespace {

void NameRegistriesAndSyncChars(PanelNames& names, const CEComm& window) {
  const auto byPosition = [](const std::list<std::string>& texts) {
    PanelNames::Entries entries;
    for (const std::string& text : texts) entries.emplace_back(text, static_cast<long>(entries.size()));
    return entries;
  };
  names.Entry("decoders", byPosition(CEComm::s_decodes_names));
  names.Entry("encoders", byPosition(CEComm::s_encodes_names));
  PanelNames::Entries sync;
  for (const auto& [code, name] : window.m_syncNames) sync.emplace_back(name, code);
  names.Entry("syncChars", sync);
}

}  // namespace

PanelNames HubPanelNames(CSerComm& window) {
  PanelNames names;
  names.Bind("enableComms", &window.m_bEnableComms);
  names.Bind("hubId", &window.m_hubId);
  names.Hold("hubIdCtrl", window.m_pHubIdCtrl);
  for (unsigned i = 0; i < CSerComm::kHubPorts; ++i) {
    CZepHubPort& port = window.HubPort(i);
    const std::string prefix = std::string("hub") + static_cast<char>('A' + i);
    NamePort(names, port, prefix);
    names.Bind(prefix + ".mode", &port.m_mode);
    names.Hold(prefix + ".decodeCtrls", port.m_decodeCtrls);
  }
  names.Bind("pps.sync", &window.m_pps.m_sync);
  names.Bind("pps.bank", &window.m_pps.m_bank);
  names.Bind("pps.alarmAge", &window.m_pps.m_alarmAge);
  names.Bind("pps.age", &window.m_pps.m_age);
  names.Bind("pps.state", &window.m_pps.m_state);
  names.Bind("timeSource", &window.m_timeSource);
  names.Bind("shownTime", &window.m_shownTime);
  names.Bind("networkOutput", &window.m_networkOutput);
  names.Hold("networkCtrl1", window.m_networkCtrls[0]);
  names.Hold("networkCtrl2", window.m_networkCtrls[1]);
  names.Hold("ageSliders", window.m_ageSliders);
  NameRegistriesAndSyncChars(names, window);
  return names;
}

PanelNames SerialPanelNames(CSComm& window) {
  PanelNames names;
  names.Bind("enableComms", &window.m_bEnableComms);
  for (std::size_t i = 0; i < window.GetLineCount(); ++i) {
    CSPort& line = *window.GetLine(i);
    const std::string prefix = "line" + std::to_string(i + 1);
    NamePort(names, line.m_port, prefix);
    names.Bind(prefix + ".commPort", &line.m_commPort);
    names.Hold(prefix + ".input", line.m_inputCtrls);
    names.Hold(prefix + ".output", line.m_outputCtrls);
  }
  for (unsigned p = 0; p < CSonarPorts::kSonarPorts; ++p) {
    CZepPort& port = window.GetSonarPort(p);
    const std::string prefix = "sonar" + std::to_string(p + 1);
    NamePort(names, port, prefix);
    names.Bind(prefix + ".label", &port.m_label);
    names.Bind(prefix + ".routing", &port.m_routing);
    names.Hold(prefix + ".decodeCtrls", port.m_decodeCtrls);
    names.Hold(prefix + ".otherCtrls", port.m_otherCtrls);
    const std::pair<const char*, const CECtrl*> ctrls[] = {
        {".labelCtrl", port.m_pLabelCtrl},     {".comPortCtrl", port.m_pComPortCtrl}, {".routingCtrl", port.m_pRoutingCtrl},
        {".formatCtrl", port.m_pFormatCtrl}, {".baudCtrl", port.m_pBaudCtrl}};
    for (const auto& [field, ctrl] : ctrls) {
      if (ctrl) names.Hold(prefix + field, ctrl);
    }
  }
  names.Hold("ageSliders", window.m_ageSliders);
  NameRegistriesAndSyncChars(names, window);
  return names;
}
