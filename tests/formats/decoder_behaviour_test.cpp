// What the decoders do besides turning captures into records (those are the
// cases under tests/data): settings, and the requests and texts they send.
#include <gtest/gtest.h>

#include <chrono>
#include <list>

#include "comms/ecomm.h"
#include "formats/depth.h"
#include "formats/psea.h"
#include "formats/sound_speed.h"
#include "formats/target_encoders.h"
#include "host/archive.h"
#include "host/records.h"
#include "host/tx_msg.h"
#include "port/port.h"
#include "support/capture.h"

namespace {

using ByteList = std::vector<unsigned char>;

// A comm window that keeps every binary send of its ports.
class SentBytes : public CEComm {
 public:
  void SendData(unsigned, TX_MSG* msg) override {
    m_sent.push_back({ByteList(msg->m_pData, msg->m_pData + msg->m_nLength), std::chrono::steady_clock::now()});
  }
  std::vector<std::pair<ByteList, std::chrono::steady_clock::time_point>> m_sent;
};

}  // namespace

TEST(Digi, ScaleAndOffsetApplyAndAreStoredBeforeTheSpareWord) {
  CSD_Digi stored;
  stored.m_scale = 2.0;
  stored.m_offset = -1.0;
  stored.m_spare = 0x01020304;
  RecordCollector host;
  std::string msg = "*0001 12.345";
  ASSERT_EQ(stored.DecodeMsg(1.0, msg, 0), 1);
  EXPECT_EQ(host.Records(kSnsrZ).at(0)["depth"].get<float>(), static_cast<float>(12.345 * 2.0 - 1.0));
  CArchive out(CArchive::store);
  stored.Serialize(out);
  ASSERT_EQ(out.GetBytes().size(), 20u);
  EXPECT_EQ(out.GetBytes()[16], 0x04);
  CSD_Digi loaded;
  CArchive in(CArchive::load, out.GetBytes());
  loaded.Serialize(in);
  EXPECT_TRUE(in.IsGood());
  EXPECT_EQ(loaded.m_scale, 2.0);
  EXPECT_EQ(loaded.m_offset, -1.0);
  EXPECT_EQ(loaded.m_spare, 0x01020304);
}

TEST(PSeaPressure, PollsOnlyOnceTheIntervalIsExceeded) {
  const struct {
    const char* what;
    std::vector<double> triggers;
    std::vector<int> polled;
    double interval = 1.0;
  } cases[] = {
      {"exactly one interval later does not poll", {1000.0, 1001.0, 1001.05}, {0, 2}},
      {"the interval counts from the last poll", {1000.0, 1000.5, 1001.0, 1001.5, 1002.0, 1002.5, 1003.0}, {0, 3, 6}},
      {"host times at or below the interval never poll", {0.5, 1.0, 1.0000001}, {2}},
      {"a longer interval", {10.0, 12.0, 12.5, 13.0}, {0, 3}, 2.5},
      {"time running backwards does not poll", {1000.0, 900.0, 1001.5}, {0, 2}},
  };
  // "MEASURE" to the sensor at address 0x64, with the Modbus CRC.
  const ByteList request = {0xF0, 0x64, 0x07, 0x4D, 0x45, 0x41, 0x53, 0x55, 0x52, 0x45, 0xFC, 0xB9};
  for (const auto& c : cases) {
    SentBytes owner;
    CEComm::InitDecode();
    CPort port;
    port.m_pOwner = &owner;
    port.m_decode = CEComm::FindDecode("PSea Pressure")->m_index;
    port.SetDecode();
    std::vector<int> polled;
    for (std::size_t i = 0; i < c.triggers.size(); ++i) {
      static_cast<CSD_PSeaPressure&>(*port.m_pDecode).m_pollInterval = c.interval;
      const std::size_t before = owner.m_sent.size();
      port.m_pDecode->OnTrigger(c.triggers[i], 0.05);
      if (owner.m_sent.size() == before) continue;
      polled.push_back(static_cast<int>(i));
      EXPECT_EQ(owner.m_sent.back().first, request);
    }
    EXPECT_EQ(polled, c.polled) << c.what;
  }
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
    EXPECT_EQ(owner.m_sent[i].first, ByteList{keys[i]}) << i;
    EXPECT_TRUE(i == 0 || owner.m_sent[i].second - owner.m_sent[i - 1].second >= std::chrono::milliseconds(10)) << i;
  }
}

TEST(TargetEncoders, EncodeBTakesTheFirstLineOffTheQueue) {
  const struct {
    std::list<std::string> queue;
    std::string out;
    std::list<std::string> left;
  } cases[] = {
      {{"A\n", "B\n"}, "A\n", {"B\n"}}, {{"A\nB\n"}, "A\n", {}}, {{"no end"}, "no end", {}},
      {{"", "B\n"}, "", {"B\n"}},        {{}, "untouched", {}},
  };
  CEncodeTargetDataFromHalde tar;
  CEncodeTargetData1 tr1;
  for (CEncode* encoder : {static_cast<CEncode*>(&tar), static_cast<CEncode*>(&tr1)}) {
    for (const auto& c : cases) {
      std::list<std::string> queue = c.queue;
      std::string out = "untouched";
      EXPECT_EQ(encoder->EncodeB(7, 8, out, &queue, 9), 0);
      EXPECT_EQ(out, c.out) << encoder->m_name;
      EXPECT_EQ(queue, c.left) << encoder->m_name;
    }
  }
}
