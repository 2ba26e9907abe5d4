// Panel layouts against their golden files in tests/data/panels/: a changed
// layout shows as a diff. After a meant change,
//   NYX_UPDATE_GOLDEN=1 build/tests/nyx_tests --gtest_filter='PanelLayouts.*'
// rewrites the files; review them with git diff. A new layout is one line in
// the table and its file.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "host/report.h"
#include "sonar/sonar_comm.h"
#include "support/hub_fixture.h"
#include "support/panel_dump.h"

namespace {

std::string Serial(int lines, int banks, bool taskOutput) {
  SerialPanelWindow panel(lines, banks, taskOutput);
  panel.window.SetupCtrls();
  return DumpPanel(panel.window, SerialPanelNames(panel.window));
}

std::string SonarPorts(int level) {
  SerialPanelWindow panel(1, 8, false);
  panel.window.SetName("SerialForLayout");
  CSonarComm page;
  page.SetOption("SComm", "SerialForLayout");
  const int previous = Nyx::nyxLevel.exchange(level);
  page.SetupCtrls();
  Nyx::nyxLevel = previous;
  return DumpPanel(page, SerialPanelNames(panel.window));
}

std::string Hub(int banks, int hostMode) {
  const int previous = Nyx::nyxMode.exchange(hostMode);
  HubFixture hub;
  hub.wnd->m_nBanks = banks;
  hub.wnd->SetupCtrls();
  Nyx::nyxMode = previous;
  return DumpPanel(*hub.wnd, HubPanelNames(*hub.wnd));
}

const struct {
  const char* name;
  std::function<std::string()> dump;
} kLayouts[] = {
    {"serial_one_line", [] { return Serial(1, 8, false); }},
    {"serial_one_line_one_bank", [] { return Serial(1, 1, false); }},
    {"serial_eight_lines", [] { return Serial(8, 8, false); }},
    {"serial_eight_lines_task_output", [] { return Serial(8, 8, true); }},
    {"serial_eight_lines_one_bank", [] { return Serial(8, 1, true); }},
    {"sonar_ports", [] { return SonarPorts(3); }},
    {"sonar_ports_level4", [] { return SonarPorts(4); }},
    {"hub", [] { return Hub(8, 1); }},
    {"hub_one_bank_mode0", [] { return Hub(1, 0); }},
};

}  // namespace

TEST(PanelLayouts, MatchTheirGoldenFiles) {
  for (const auto& layout : kLayouts) {
    SCOPED_TRACE(layout.name);
    ExpectGoldenFile(std::string("panels/") + layout.name + ".txt", layout.dump());
  }
}
