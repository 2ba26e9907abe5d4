// The sonar ports page: shows the sonar-routed serial ports of a serial comms
// window on a page of their own, with that window's row builders.
#pragma once

#include <string>

#include "host/nyx_wnd.h"

class ISonarPortRows;

class CSonarComm : public CNyxWnd {
  NYX_DECLARE_DYNCREATE(CSonarComm)
 public:
  // "SComm" names the serial comms window whose ports the page shows.
  void SetOption(const std::string& key, const std::string& value) override;
  void SetupCtrls() override;
  void LayoutWnd(int how) override;

  ISonarPortRows* m_pSComm = nullptr;
};
