// The comm window base's options.
#include <gtest/gtest.h>

#include "comms/ecomm.h"
#include "support/capture.h"

TEST(EComm, OptionNBanksTakesExactlyOneInteger) {
  const std::pair<const char*, int> cases[] = {{"4", 4}, {"4x", 8}, {"", 8}, {" 12", 12}, {"-1", -1}, {"1 2", 8}};
  for (const auto& [value, banks] : cases) {
    CEComm wnd;
    wnd.SetOption("nBanks", value);
    EXPECT_EQ(wnd.m_nBanks, banks) << value;
  }
  CEComm wnd;
  wnd.SetOption("nbanks", "4");  // keys are exact
  EXPECT_EQ(wnd.m_nBanks, 8);
  wnd.SetOption("Name", "EC");   // the host's own options still apply
  EXPECT_EQ(CNyxWnd::GetWnd("EC"), &wnd);
}
