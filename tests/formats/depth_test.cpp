// Digiquartz and Sonadyne depth decoding, and the Digiquartz archive.
#include <gtest/gtest.h>

#include <cstring>

#include "formats/depth.h"
#include "format_test_support.h"
#include "host/archive.h"
#include "host/records.h"

TEST(Digi, ReadsTheValueAfterTheAddress) {
  ExpectValueCases<CSD_Digi>(
      {
          {"*0001 12.345", 1, 12.345},
          {"*0001-3.5\r", 1, -3.5},
          {"*0001 7", 1, 7.0},            // 7 characters: the shortest accepted
          {"*00011", 0, std::nullopt},    // 6 characters
          {"°°°°°7", 0, std::nullopt},    // 6 characters in 11 bytes
          {"°°°°° 2.5", 1, 2.5},          // the address is 5 characters, whatever their bytes
          {"*0001 abc", 0, std::nullopt},
          {"*0001      ", 0, std::nullopt},
          {"", 0, std::nullopt},
      },
      kSnsrZ, "depth");
}

TEST(Digi, ShowsTheReadingWithoutTheAddress) {
  EXPECT_EQ(DecodeOnce<CSD_Digi>("*0001 12.345").msg, " 12.345");
  EXPECT_EQ(DecodeOnce<CSD_Digi>("°°°°° 2.5").msg, " 2.5");
  EXPECT_EQ(DecodeOnce<CSD_Digi>("*0001 abc").msg, " abc");  // cut even when the reading fails
  EXPECT_EQ(DecodeOnce<CSD_Digi>("*00011").msg, "*00011");   // too short: left alone
}

TEST(Digi, AppliesScaleAndOffset) {
  RecordCollector host;
  CSD_Digi digi;
  digi.m_scale = 2.0;
  digi.m_offset = -1.0;
  std::string msg = "*0001 12.345";
  ASSERT_EQ(digi.DecodeMsg(1.0, msg, 0), 1);
  const auto records = host.Records(kSnsrZ);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["depth"].get<float>(), static_cast<float>(12.345 * 2.0 - 1.0));
}

TEST(Digi, SerializesScaleOffsetAndTheSpareWordInOrder) {
  CSD_Digi stored;
  stored.m_scale = 1.25;
  stored.m_offset = -0.5;
  stored.m_spare = 0x01020304;
  CArchive out(CArchive::store);
  stored.Serialize(out);
  const auto& bytes = out.GetBytes();
  ASSERT_EQ(bytes.size(), 20u);
  double scale = 0.0, offset = 0.0;
  std::memcpy(&scale, bytes.data(), 8);
  std::memcpy(&offset, bytes.data() + 8, 8);
  EXPECT_EQ(scale, 1.25);
  EXPECT_EQ(offset, -0.5);
  EXPECT_EQ(bytes[16], 0x04);
  EXPECT_EQ(bytes[19], 0x01);

  CSD_Digi loaded;
  CArchive in(CArchive::load, bytes);
  loaded.Serialize(in);
  EXPECT_TRUE(in.IsGood());
  EXPECT_EQ(loaded.m_scale, 1.25);
  EXPECT_EQ(loaded.m_offset, -0.5);
  EXPECT_EQ(loaded.m_spare, 0x01020304);
}

TEST(Sondepth, MetresOrCentimetres) {
  ExpectValueCases<CSD_Sondepth>(
      {
          {"$SONDEP,1234,0,C*hh", 1, 12.34},
          {"$SONDEP,12.3,,M*hh", 1, 12.3},
          {"$SONDEP,12.3,4.5,M*1F\r", 1, 12.3},
          {"$SONDEP,12.3,,M", 1, 12.3},          // no checksum needed
          {"$SONDEP,250,1,m*00", 1, 2.5},        // only 'M' means metres
          {"$SONDEP,-75,0,C", 1, -0.75},
          {"$SONDEP,12.3", 0, std::nullopt},
          {"$SONDEP,12.3,", 0, std::nullopt},
          {"$SONDEP,,0,M*hh", 0, std::nullopt},
          {"$SONDEP,x,0,M*hh", 0, std::nullopt},
          {"$SONDEPTH,12.3,,M", 0, std::nullopt},
          {"SONDEP,12.3,,M", 0, std::nullopt},
          {"", 0, std::nullopt},
      },
      kSnsrZ, "depth");
}
