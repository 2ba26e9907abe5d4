// The comm window base: options, shared registries, assignment.
#include <gtest/gtest.h>

#include "comms/ecomm.h"
#include "port/codec.h"
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

TEST(EComm, WindowsShareOneRegistryFilledOnceThatOutlivesThem) {
  { CEComm only; }
  const std::size_t decoders = CEComm::s_decodes.GetCount();
  ASSERT_GT(decoders, 0u);
  EXPECT_NE(CEComm::FindDecode("GPGGA"), nullptr);
  CEComm first;
  { CEComm second; }  // neither a new window nor one going away adds or takes any
  EXPECT_EQ(CEComm::s_decodes.GetCount(), decoders);
  EXPECT_EQ(CEComm::s_decodes_names.size(), decoders + 1);
  EXPECT_EQ(CEComm::s_decodes_names.front(), "<none>");
}
