#include "support/panel_dump.h"

#include <gtest/gtest.h>

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
  const void* variable = nullptr;
  std::visit([&variable](auto pointer) {
    if constexpr (std::is_pointer_v<decltype(pointer)>) variable = pointer;
  }, binding);
  if (variable == nullptr) return {};
  const auto it = names.bindings.find(variable);
  return it == names.bindings.end() ? "?" : it->second;
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

void NamePort(PanelNames& names, CPort& port, const std::string& prefix) {
  const std::pair<const char*, const void*> fields[] = {
      {"sync", &port.m_sync}, {"syncChar", &port.m_syncChar}, {"decode", &port.m_decode}, {"encode", &port.m_encode},
      {"bank", &port.m_bank}, {"alarmAge", &port.m_alarmAge}, {"age", &port.m_age}, {"status", &port.m_status},
      {"hz", &port.m_hz}, {"lastMsg", &port.m_lastMsg}, {"echoData", &port.m_echoData}, {"comPort", &port.m_comPort},
      {"format", &port.m_format}, {"baud", &port.m_baud}};
  for (const auto& [field, variable] : fields) names.bindings[variable] = prefix + "." + field;
}

PanelNames WindowNames(const CEComm& window) {
  PanelNames names;
  names.bindings[&window.m_bEnableComms] = "enableComms";
  const auto byPosition = [](const std::list<std::string>& texts) {
    PanelNames::Entries entries;
    for (const std::string& text : texts) entries.emplace_back(text, static_cast<long>(entries.size()));
    return entries;
  };
  PanelNames::Entries sync;
  for (const auto& [code, name] : window.m_syncNames) sync.emplace_back(name, code);
  names.entryLists = {{"decoders", byPosition(CEComm::s_decodes_names)},
                      {"encoders", byPosition(CEComm::s_encodes_names)}, {"syncChars", sync}};
  return names;
}

}  // namespace

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
    out << "\n";
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

PanelNames HubPanelNames(CSerComm& window) {
  PanelNames names = WindowNames(window);
  names.bindings[&window.m_hubId] = "hubId";
  for (unsigned i = 0; i < CSerComm::kHubPorts; ++i) {
    CZepHubPort& port = window.HubPort(i);
    const std::string prefix = std::string("hub") + static_cast<char>('A' + i);
    NamePort(names, port, prefix);
    names.bindings[&port.m_mode] = prefix + ".mode";
  }
  const std::pair<const char*, const void*> fields[] = {
      {"pps.sync", &window.m_pps.m_sync}, {"pps.bank", &window.m_pps.m_bank}, {"pps.age", &window.m_pps.m_age},
      {"pps.alarmAge", &window.m_pps.m_alarmAge}, {"pps.state", &window.m_pps.m_state},
      {"timeSource", &window.m_timeSource}, {"shownTime", &window.m_shownTime},
      {"networkOutput", &window.m_networkOutput}};
  for (const auto& [name, variable] : fields) names.bindings[variable] = name;
  return names;
}

PanelNames SerialPanelNames(CSComm& window) {
  PanelNames names = WindowNames(window);
  for (std::size_t i = 0; i < window.GetLineCount(); ++i) {
    CSPort& line = *window.GetLine(i);
    const std::string prefix = "line" + std::to_string(i + 1);
    NamePort(names, line.m_port, prefix);
    names.bindings[&line.m_commPort] = prefix + ".commPort";
  }
  for (unsigned p = 0; p < CSonarPorts::kSonarPorts; ++p) {
    CZepPort& port = window.GetSonarPort(p);
    const std::string prefix = "sonar" + std::to_string(p + 1);
    NamePort(names, port, prefix);
    names.bindings[&port.m_label] = prefix + ".label";
    names.bindings[&port.m_routing] = prefix + ".routing";
  }
  return names;
}
