// The station's panels as the browser sees them: every window's controls as
// JSON, and an operator's entry applied to one control. Both read or drive
// the windows' controls, so they run under the host lock; an entry runs on
// the host's thread as well.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "nyxhost/status_view.h"

class CCtrlCat;
class CECtrl;
class CNyxWnd;

struct ServedWindow {
  std::string name;  // the station's name of the window
  CNyxWnd* window = nullptr;
};

using PanelJson = nlohmann::ordered_json;

PanelJson ControlJson(const CCtrlCat& cat, const CECtrl& ctrl);
// {"station":…,"windows":[…],"alarms":[…]}
PanelJson StationPanelJson(const std::string& station, const std::vector<ServedWindow>& windows,
                           const std::vector<ActiveAlarm>& alarms);

// True for the kinds that show a value and take none from the operator.
bool DisplayOnly(int kind);

struct PanelAnswer {
  int status = 200;
  PanelJson body;
};

// The control of a window by its id ("17") or its name ("Port 2 Decode",
// "Protocol#3"); null when there is none.
CECtrl* FindPanelControl(const CCtrlCat& cat, const std::string& idOrName);

// The operator's entry for a control: 404 for an unknown window or control,
// 403 for a disabled, hidden or display-only one, 400 when the entry does not
// fit; else 200 with the value as the control now shows it.
PanelAnswer ApplyPanelEntry(const std::vector<ServedWindow>& windows, const std::string& window,
                            const std::string& control, const std::string& value);
