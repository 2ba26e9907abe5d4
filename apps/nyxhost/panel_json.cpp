#include "nyxhost/panel_json.h"

#include <charconv>

#include "host/controls.h"
#include "host/nyx_wnd.h"

namespace {

const char* WindowClass(const CNyxWnd& window) {
  const CRuntimeClass* type = window.GetRuntimeClass();
  return type ? type->m_lpszClassName : "";
}

// A control's id as the path gives it; 0 when it is not a number.
int ParseId(const std::string& text) {
  int id = 0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, id);
  return !text.empty() && result.ec == std::errc() && result.ptr == end ? id : 0;
}

PanelAnswer Refused(int status, const std::string& error) {
  PanelAnswer answer;
  answer.status = status;
  answer.body["ok"] = false;
  answer.body["error"] = error;
  return answer;
}

}  // namespace

bool DisplayOnly(int kind) {
  return kind == kCtrlLabel || kind == kCtrlText || kind == kCtrlSlider || kind == kCtrlLamp;
}

PanelJson ControlJson(const CCtrlCat& cat, const CECtrl& ctrl) {
  PanelJson json;
  json["id"] = ctrl.m_id;
  json["label"] = ctrl.m_label;
  json["kind"] = ctrl.m_kind;
  json["width"] = ctrl.m_width;
  json["row"] = ctrl.m_row;
  json["col"] = ctrl.m_column;
  json["flex"] = ctrl.m_flex;
  json["enabled"] = ctrl.HasFlag(kCtrlEnabled);
  json["shown"] = ctrl.HasFlag(kCtrlShown);
  json["tooltip"] = ctrl.m_tooltip;
  // Captions and buttons carry no value.
  if (ctrl.m_kind == kCtrlLabel || ctrl.m_kind == kCtrlButton) {
    json["value"] = nullptr;
  } else {
    json["value"] = ctrl.GetValueText();
  }
  json["name"] = cat.CtrlName(ctrl);
  if (ctrl.m_kind == kCtrlButton) json["text"] = ctrl.m_text;
  if (const auto* combo = dynamic_cast<const CECombo*>(&ctrl)) {
    PanelJson entries = PanelJson::array();
    for (const auto& entry : combo->GetEntries()) entries.push_back(entry.first);
    json["entries"] = std::move(entries);
  }
  if (const auto* slider = dynamic_cast<const CESlider*>(&ctrl)) json["range"] = {0.0, slider->GetMaximum()};
  return json;
}

PanelJson StationPanelJson(const std::string& station, const std::vector<ServedWindow>& windows,
                           const std::vector<ActiveAlarm>& alarms) {
  PanelJson json;
  json["station"] = station;
  PanelJson list = PanelJson::array();
  for (const ServedWindow& entry : windows) {
    PanelJson window;
    window["name"] = entry.name;
    window["class"] = WindowClass(*entry.window);
    PanelJson controls = PanelJson::array();
    for (const auto& ctrl : entry.window->GetCtrls()) controls.push_back(ControlJson(*entry.window, *ctrl));
    window["controls"] = std::move(controls);
    list.push_back(std::move(window));
  }
  json["windows"] = std::move(list);
  PanelJson alarmList = PanelJson::array();
  for (const ActiveAlarm& alarm : alarms) alarmList.push_back({{"id", alarm.id}, {"level", alarm.level}, {"text", alarm.text}});
  json["alarms"] = std::move(alarmList);
  return json;
}

CECtrl* FindPanelControl(const CCtrlCat& cat, const std::string& idOrName) {
  if (const int id = ParseId(idOrName); id > 0) return cat.FindCtrlById(id);
  return cat.FindCtrl(idOrName);
}

PanelAnswer ApplyPanelEntry(const std::vector<ServedWindow>& windows, const std::string& window,
                            const std::string& control, const std::string& value) {
  const ServedWindow* target = nullptr;
  for (const ServedWindow& entry : windows) {
    if (entry.name == window) target = &entry;
  }
  if (!target) return Refused(404, "no window '" + window + "'");
  CECtrl* ctrl = FindPanelControl(*target->window, control);
  if (!ctrl) return Refused(404, "window '" + window + "' has no control '" + control + "'");
  if (!ctrl->HasFlag(kCtrlEnabled)) return Refused(403, "the control is disabled");
  if (!ctrl->HasFlag(kCtrlShown)) return Refused(403, "the control is hidden");
  if (DisplayOnly(ctrl->m_kind)) return Refused(403, "the control shows a value and takes none");
  if (ctrl->m_kind == kCtrlButton && !value.empty()) return Refused(400, "a button takes an empty value");
  if (ctrl->m_kind == kCtrlCheck && value != "0" && value != "1") return Refused(400, "a check box takes 0 or 1");
  if (!ctrl->SetValueText(value)) return Refused(400, "'" + value + "' does not fit the control");
  PanelAnswer answer;
  answer.body["ok"] = true;
  // The callback may have rebuilt the panel: the control is looked up again.
  const CECtrl* now = FindPanelControl(*target->window, control);
  if (now && now->m_kind != kCtrlButton) {
    answer.body["value"] = now->GetValueText();
  } else {
    answer.body["value"] = nullptr;
  }
  return answer;
}
