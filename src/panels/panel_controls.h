// Control helpers the panel builders share.
#pragma once

#include <string>

#include "host/controls.h"
#include "port/port.h"

namespace PanelControls {

template <class T>
CECombo* InsCombo(CCtrlCat& cat, int width, T* binding, const std::string& label, const std::string& tooltip = "") {
  return static_cast<CECombo*>(cat.InsCtrl(kCtrlCombo, width, binding, label, tooltip));
}

// The flexible column that takes the rest of the row.
inline CECtrl* MarkFlex(CECtrl* ctrl) {
  ctrl->m_flex = true;
  return ctrl;
}

// An age slider whose top follows an alarm age.
inline CESlider* InsAgeSlider(CCtrlCat& cat, int width, double* age, const double* limit) {
  auto* slider = static_cast<CESlider*>(cat.InsCtrl(kCtrlSlider, width, age, ""));
  slider->DynRange(limit);
  return slider;
}

inline CESlider* InsAgeSlider(CCtrlCat& cat, int width, CPort& port) {
  return InsAgeSlider(cat, width, &port.m_age, &port.m_alarmAge);
}

}  // namespace PanelControls
