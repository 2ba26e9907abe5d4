// The port: framing, the hand-over to decoder and host, light, rate, age, codecs, settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>

#include "comms/ecomm.h"
#include "host/records.h"
#include "host/settings.h"
#include "port/port.h"
#include "support/capture.h"
#include "support/panel_dump.h"

namespace {

// A decoder that answers from a script and remembers what it saw.
class ScriptedDecoder : public CDecode {
 public:
  int DecodeMsg(double time, std::string& msg, int bank) override {
    seen.push_back(msg);
    times.push_back(time);
    banks.push_back(bank);
    if (results.empty()) return kDecodeOk;
    const int result = results.front();
    results.pop_front();
    return result;
  }
  // Binary mode: every byte 'Z' completes a message "Z@<time>".
  int DecodeByte(double time, unsigned char byte, std::string& msg, double& msgTime) override {
    if (byte != 'Z') return 0;
    msg = "Z";
    msgTime = time - 1.0;
    return 1;
  }

  std::deque<int> results;
  std::vector<std::string> seen;
  std::vector<double> times;
  std::vector<int> banks;
};

class TestOwner : public CEComm {
 public:
  void PortUpdated(CPort& port) override { updated.push_back(&port); }
  std::vector<CPort*> updated;
};

ScriptedDecoder& Script(CPort& port) {
  auto decoder = std::make_unique<ScriptedDecoder>();
  ScriptedDecoder& ref = *decoder;
  port.m_pDecode = std::move(decoder);
  return ref;
}

// Feeds bytes one per millisecond from t0; returns how many completed a message.
int Feed(CPort& port, const std::string& bytes, double t0 = 100.0) {
  int completed = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    completed += port.NewByte(t0 + 0.001 * static_cast<double>(i), static_cast<unsigned char>(bytes[i]));
  }
  return completed;
}

}  // namespace

TEST(PortFraming, AsciiMessagesEndAtTheSyncCharacter) {
  const struct {
    const char* name;
    unsigned char syncChar;
    int rxSize;
    std::string bytes;
    std::vector<std::string> messages;
  } cases[] = {
      {"CR terminator drops the LF", 13, 1000, "ABC\r\nDEF\r", {"ABC", "DEF"}},
      {"LF terminator keeps the CR", 10, 1000, "ABC\r\n", {"ABC\r"}},
      {"buffer wraps, earlier bytes lost", 10, 4, "\x01\x02\x03\x04\x05\x06\n", {"\x05\x06"}},
      {"exactly RxSize bytes give an empty text", 10, 4, "\x01\x02\x03\x04\n", {""}},
      {"NUL bytes are text", 10, 1000, std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
      {"sync character 0", 0, 1000, std::string("PULSE\0", 6), {"PULSE"}},
      {"no terminator, no message", 10, 1000, "ABC", {}},
      {"bytes are Windows-1252", 59, 1000, "-TU \xB0" "C;", {"-TU \xC2\xB0" "C"}},
  };
  for (const auto& c : cases) {
    CPort port;
    port.m_syncChar = c.syncChar;
    port.CfgBufSize(0, c.rxSize);
    ScriptedDecoder& decoder = Script(port);
    const int completed = Feed(port, c.bytes);
    EXPECT_EQ(decoder.seen, c.messages) << c.name;
    EXPECT_EQ(completed, static_cast<int>(c.messages.size())) << c.name;
  }
}

// Every message, whatever its decoder made of it, reaches the host as kind 0,
// tagged with the port index, at its first byte less the character time.
TEST(PortFraming, MessagesReachTheHostAtTheirFirstByteLessTheCharacterTime) {
  RecordCollector host;
  CPort port;
  port.m_charTime = 0.01;
  port.m_index = 5;
  port.m_bank = 2;
  ScriptedDecoder& decoder = Script(port);
  decoder.results = {kDecodeBad, kDecodeForeign};
  Feed(port, "AB\nC\n", 100.0);
  ASSERT_EQ(decoder.times.size(), 2u);
  EXPECT_DOUBLE_EQ(decoder.times[0], 100.0 - 0.01);
  EXPECT_DOUBLE_EQ(decoder.times[1], 100.003 - 0.01);
  EXPECT_EQ(decoder.banks, (std::vector<int>{2, 2}));
  const auto raw = host.Records(kSnsrInf);
  ASSERT_EQ(raw.size(), 2u);
  EXPECT_EQ(raw[1]["text"], "C");
  EXPECT_EQ(raw[1]["bank"], 5);  // the port index, not the bank
}

TEST(PortFraming, BinaryModeHandsEveryByteToTheDecoder) {
  ScopedReports reports;
  CPort port;
  port.m_sync = 0;
  port.m_echoData = 1;
  ScriptedDecoder& decoder = Script(port);
  EXPECT_EQ(Feed(port, "abZ\n", 20.0), 1);
  EXPECT_EQ(decoder.seen, std::vector<std::string>{"Z"});
  EXPECT_DOUBLE_EQ(decoder.times[0], 19.002);  // the time the decoder gave
  const auto comms = reports->Of(Nyx::ReportKind::Comms);
  ASSERT_EQ(comms.size(), 5u);  // four bytes and the message
  EXPECT_EQ(comms[0].text, "EComm 1: 20.0000 <0x61>");
}

TEST(PortParts, LightFollowsTheExpectedParts) {
  // The decoder's results, the light after each message.
  const std::pair<std::deque<int>, std::vector<int>> cases[] = {
      {{2, 1}, {3, 2}},
      {{1, 1}, {1, 1}},
      {{2, 2, 1}, {3, 1, 2}},
      {{0, 2, 1}, {0, 0, 2}},
      {{-1, 1}, {3, 1}},
      {{40, 1}, {3, 1}},  // a part beyond the mask width is ignored
  };
  for (const auto& [results, expected] : cases) {
    CPort port;
    ScriptedDecoder& decoder = Script(port);
    decoder.m_expectedParts = 3;
    decoder.results = results;
    std::vector<int> lights;
    for (std::size_t i = 0; i < results.size(); ++i) {
      Feed(port, "m\n", 1.0 + static_cast<double>(i));
      lights.push_back(port.m_status);
    }
    EXPECT_EQ(lights, expected);
  }
}

TEST(PortParts, RateComesFromIntervalsBetweenPrimaries) {
  CPort port;
  ScriptedDecoder& decoder = Script(port);
  decoder.results = {1, 2, 1, 1};
  port.Decode(10.0, "a");
  EXPECT_EQ(port.m_hz, "0.0");  // the first primary adds no interval
  EXPECT_EQ(port.m_lastTime, 10.0);
  port.Decode(10.05, "b");      // a secondary part changes nothing
  EXPECT_EQ(port.m_lastTime, 10.0);
  port.Decode(10.2, "c");
  EXPECT_EQ(port.m_hz, "5.0");
  port.Decode(10.3, "d");
  EXPECT_EQ(port.m_hz, "6.7");
}

TEST(PortAge, AnAlarmWhosePortIsGoneIsEndedByTheNextPortOfItsId) {
  // The first port raises the alarm and goes ("nPorts" 2 to 1), the second takes its index.
  // While the first is there only it ends its alarm (a sonar port shares the id of a line).
  const struct {
    const char* name;
    bool firstGone;   // the port that raised the alarm was removed
    int decode;       // the second port's "Decode"
    double lastTime;  // when the second port last received
    bool ends;
  } cases[] = {
      {"fresh data", true, 1, 4999.5, true},
      {"decoding off", true, 0, 0.0, true},
      {"too old as well", true, 1, 4990.0, false},
      {"its port still there", false, 0, 0.0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedReports reports;
    auto first = std::make_unique<CPort>();
    first->m_index = 6;
    first->m_decode = 1;
    EXPECT_EQ(first->SetDataAge(5000.0), 0);
    if (c.firstGone) first.reset();
    CPort second;
    second.m_index = 6;
    second.m_decode = c.decode;
    second.m_lastTime = c.lastTime;
    second.SetDataAge(5000.0);
    second.SetDataAge(5000.1);
    const auto alarms = reports->Of(Nyx::ReportKind::Alarm, 3016);
    ASSERT_FALSE(alarms.empty());
    EXPECT_EQ(alarms.front().level, 3);
    // Ended once, not on every trigger after.
    const auto ended = std::count_if(alarms.begin(), alarms.end(), [](const auto& a) { return a.level < 0; });
    EXPECT_EQ(ended, c.ends ? 1 : 0);
    EXPECT_EQ(alarms.back().level < 0, c.ends);
    // Whoever raised it last ends it when it stops decoding.
    CPort& raiser = first ? *first : second;
    raiser.m_decode = 0;
    raiser.SetDataAge(5000.2);
    EXPECT_EQ(reports->Of(Nyx::ReportKind::Alarm, 3016).back().level, -1);
  }
}

TEST(PortCodecs, CodecsFollowTheRegistryIndex) {
  TestOwner owner;
  CPort port;
  port.m_pOwner = &owner;
  port.m_decode = 1;
  port.SetDecode();
  ASSERT_NE(port.m_pDecode, nullptr);
  EXPECT_EQ(port.m_pDecode->m_name, "GPGGA");
  EXPECT_EQ(port.m_pDecode->m_pPort, &port);
  port.SetDecode();  // unchanged index: nobody told
  EXPECT_EQ(owner.updated.size(), 1u);
  port.m_decode = static_cast<int>(CEComm::s_decodes.GetCount()) + 1;
  port.SetDecode();
  EXPECT_EQ(port.m_decode, 0);
  EXPECT_EQ(port.m_pDecode->m_typeIndex, 0);
  EXPECT_EQ(owner.updated.size(), 2u);
}

TEST(PortSettings, ItemsInTheirFixedOrderAndHostModeOneNeverAnEncoder) {
  CEComm::InitDecode();
  Nyx::nyxMode = 1;
  CPort port;
  port.m_encode = 2;
  CESet set;
  port.Settings(*set.AddCol("C")->AddObj("P"));
  EXPECT_EQ(set.GetCol("C")->GetObj("P")->GetItems().back().value, "0");
  EXPECT_EQ(port.m_encode, 0);
  Nyx::nyxMode = 0;
  // "Baud" comes twice: the items load in this order.
  std::string keys;
  for (const auto& item : set.GetCol("C")->GetObj("P")->GetItems()) keys += item.key + ":" + item.type + "\n";
  ExpectGoldenFile("port/port_setting_items.txt", keys);
}

// Loading sizes the buffer: as many bytes as it holds wrap to an empty text.
TEST(PortSettings, LoadingBringsDamagedSizesIntoRangeAndSizesTheBuffer) {
  const std::pair<int, int> cases[] = {{-5, 0}, {CPort::kMaxRxSize + 1, CPort::kMaxRxSize}, {0, 0}, {64, 64}};
  for (const auto& [loadedSize, expected] : cases) {
    CESet set;
    const std::string xml = "<NyxSettings><Col name=\"C\"><Obj name=\"P\"><Item key=\"RxSize\" type=\"int\">" +
                            std::to_string(loadedSize) + "</Item></Obj></Col></NyxSettings>";
    ASSERT_TRUE(set.LoadFromString(xml));
    CPort port;
    port.Settings(*set.GetCol("C")->GetObj("P"));
    EXPECT_EQ(port.m_rxSize, expected) << loadedSize;
    ScriptedDecoder& decoder = Script(port);
    Feed(port, std::string(static_cast<std::size_t>(expected), 'y') + "\n");
    EXPECT_EQ(decoder.seen, std::vector<std::string>(expected > 0 ? 1 : 0, "")) << loadedSize;
  }
}
