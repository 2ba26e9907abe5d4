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
  const struct {
    int banks, mode;
    bool bank, pulse;
    std::size_t extra;  // controls beyond the smallest page
  } cases[] = {{1, 0, false, false, 0}, {8, 0, true, false, 9}, {1, 1, false, true, 11}, {8, 1, true, true, 21}};
  std::size_t smallest = 0;
  for (const auto& c : cases) {
    Nyx::nyxMode = c.mode;
    HubFixture hub;
    hub.wnd->m_nBanks = c.banks;
    hub.wnd->SetupCtrls();
    const std::size_t count = hub.wnd->GetCtrls().size();
    if (smallest == 0) smallest = count;
    EXPECT_EQ(count - smallest, c.extra) << c.banks << "/" << c.mode;
    EXPECT_EQ(hub.wnd->FindCtrl("Port H Bank") != nullptr, c.bank) << c.banks;
    for (const char* name : {"PPS Edge", "PPS Age", "Time Synchronisation", "Network data output"}) {
      EXPECT_EQ(hub.wnd->FindCtrl(name) != nullptr, c.pulse) << c.mode << " " << name;
    }
    // Outside mode 1 the page ends with port H's message.
    if (!c.pulse) {
      EXPECT_TRUE(hub.wnd->GetCtrls().back()->m_binding == CtrlBinding(&hub.wnd->HubPort(7).m_lastMsg));
    }
  }
  Nyx::nyxMode = 0;
}
