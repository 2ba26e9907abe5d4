// The hub panel's behaviour: echo rows, mode entries, banks and host mode.
#include <gtest/gtest.h>

#include "host/controls.h"
#include "support/hub_fixture.h"

namespace {

bool Shown(const CSerComm& wnd, const std::string& name) {
  const CECtrl* ctrl = wnd.FindCtrl(name);
  return ctrl && ctrl->HasFlag(kCtrlShown);
}

}  // namespace

TEST(HubPanel, EchoModeHidesTheRowAndAsciiShowsIt) {
  HubFixture hub;
  hub.wnd->SetupCtrls();
  const auto* mode = dynamic_cast<const CECombo*>(hub.wnd->FindCtrl("Port A Mode"));
  ASSERT_NE(mode, nullptr);
  std::vector<std::pair<std::string, long>> expected = {{"ASCII", 0}, {"Binary", 1}};
  for (char q = 'B'; q <= 'H'; ++q) expected.emplace_back(std::string("Echo Port ") + q, q - 'A' + 2);
  EXPECT_EQ(mode->GetEntries(), expected);

  for (auto [entry, mode] : {std::pair{"Echo Port C", 4}, {"Binary", 1}, {"Echo Port H", 9}, {"ASCII", 0}}) {
    ASSERT_TRUE(hub.wnd->SetCtrlValue("Port A Mode", entry)) << entry;
    EXPECT_EQ(hub.wnd->HubPort(0).m_mode, mode) << entry;
    for (const char* name : {"Port A Sync char", "Port A Baud", "Port A Decode", "Port A Bank", "Port A Age"}) {
      EXPECT_EQ(Shown(*hub.wnd, name), mode < 2) << entry << " " << name;
    }
    EXPECT_TRUE(Shown(*hub.wnd, "Port B Baud")) << entry;
  }
}

TEST(HubPanel, BanksAndHostModeDecideWhatIsBuilt) {
  for (auto [banks, mode] : {std::pair{1, 0}, {8, 0}, {1, 1}, {8, 1}}) {
    Nyx::nyxMode = mode;
    HubFixture hub;
    hub.wnd->m_nBanks = banks;
    hub.wnd->SetupCtrls();
    EXPECT_EQ(hub.wnd->FindCtrl("Port H Bank") != nullptr, banks > 1) << banks;
    for (const char* name : {"PPS Edge", "PPS Age", "Time Synchronisation", "Network data output"}) {
      EXPECT_EQ(hub.wnd->FindCtrl(name) != nullptr, mode == 1) << mode << " " << name;
    }
    // Outside mode 1 the page ends with port H's message.
    if (mode != 1) {
      EXPECT_TRUE(hub.wnd->GetCtrls().back()->m_binding == CtrlBinding(&hub.wnd->HubPort(7).m_lastMsg));
    }
  }
  Nyx::nyxMode = 0;
}
