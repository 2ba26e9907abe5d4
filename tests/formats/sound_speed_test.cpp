// AML Smart SVP and Speed of Sound decoding, and the SVP wake-up sequence.
#include <gtest/gtest.h>

#include "format_test_support.h"
#include "formats/sound_speed.h"
#include "host/records.h"
#include "port/port.h"

TEST(AmlSvp, TakesTheSecondNumberAboveTheFloor) {
  ExpectValueCases<CSD_AML_SVP>(
      {
          {"12.5 1500.25", 1, 1500.25},
          {"12.5\t1480\r", 1, 1480.0},
          {"  -2 1500 17", 1, 1500.0},
          {"12.5 1.0", 0, std::nullopt},  // the floor must be exceeded
          {"12.5 0.5", 0, std::nullopt},
          {"12.5 -1500", 0, std::nullopt},
          {"12.5 nan", 0, std::nullopt},
          {"1500.25", 0, std::nullopt},
          {"12.5,1500.25", 0, std::nullopt},
          {"x 1500", 0, std::nullopt},
          {"", 0, std::nullopt},
      },
      kSnsrSOS, "sos");
}

TEST(Sos, TrimsAndTakesOneNumber) {
  ExpectValueCases<CSD_SOS>(
      {
          {"1498.72", 1, 1498.72},
          {"  1498.72 \r", 1, 1498.72},
          {"1500x", 1, 1500.0},
          {"1.0", 0, std::nullopt},
          {"0", 0, std::nullopt},
          {"speed", 0, std::nullopt},
          {" \t\r", 0, std::nullopt},
          {"", 0, std::nullopt},
      },
      kSnsrSOS, "sos");
  EXPECT_EQ(DecodeOnce<CSD_SOS>("\t 1498.72 \r").msg, "1498.72");
  EXPECT_EQ(DecodeOnce<CSD_SOS>(" \r ").msg, "");
}

TEST(SoundSpeed, FormatHints) {
  EXPECT_EQ(CSD_AML_SVP().m_description, "Speed of sound in m/s");
  EXPECT_EQ(CSD_SOS().m_description, "Speed of sound in m/s");
}

TEST(AmlSvp, EnablingThePortWakesTheProbeOneKeyAtATime) {
  SentBytes owner;
  CPort port;
  port.m_pOwner = &owner;
  auto* svp = new CSD_AML_SVP;
  svp->m_pPort = &port;
  port.m_pDecode.reset(svp);

  port.Enable(0);
  EXPECT_TRUE(owner.m_sent.empty());
  port.Enable(1);
  ASSERT_EQ(owner.m_sent.size(), 4u);
  const unsigned char keys[] = {'\r', '\r', 'M', '\r'};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(owner.m_sent[i].bytes, std::vector<unsigned char>{keys[i]}) << i;
    if (i > 0) {
      EXPECT_GE(owner.m_sent[i].at - owner.m_sent[i - 1].at, std::chrono::milliseconds(10)) << i;
    }
  }
}

TEST(AmlSvp, WithoutAPortEnablingSendsNothing) {
  CSD_AML_SVP svp;
  svp.Enable(1);  // must not crash
  SUCCEED();
}
