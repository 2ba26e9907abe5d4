// The serial window's sonar side: library calls, the heads' serial data, status packets and
// pulse edges as queued bytes, clock samples and change flags, and what the trigger makes of them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "comms/serial_comms.h"
#include "host/controls.h"
#include "host/records.h"
#include "host/settings.h"
#include "host/task.h"
#include "sonar/sonar_library.h"
#include "sonar/sonar_recorder.h"
#include "sonar/zep_messages.h"
#include "support/capture.h"
#include "support/panel_dump.h"
#include "support/test_codecs.h"

namespace {

using Nyx::ReportKind;

constexpr double kHostStart = 1000.0;

// A serial window whose sonar task names the given heads, with comms on and
// the sonar active. The slots take the identifiers as info 108 would.
class SonarWindow {
 public:
  explicit SonarWindow(const std::vector<CSonarEntry>& heads, int nPorts = 1) {
    CTaskData& data = tasks.Add("Sonar", "Zephra");
    data.m_sonarCount = static_cast<unsigned>(heads.size());
    for (std::size_t k = 0; k < heads.size() && k < data.m_sonars.size(); ++k) data.m_sonars[k] = heads[k];
    window.SetOption("nPorts", std::to_string(nPorts));
    window.SetOption("Task", "Sonar");
    window.m_commsEnabled = 1;
    window.Sonar().m_sonarActive = 1;
    window.UpdateZephraIDs(true);
  }

  CTaskData& Task() const { return *window.m_pTask->GetData(); }
  CZepPort& Port(int k, int j) { return window.GetSonarPort(static_cast<std::size_t>(2 * k + j)); }
  std::vector<SERIAL_BYTE_PACKET> Queued() { return window.Sonar().Queued(); }
  void Receive(const CZepNetMsgBuilder& message) { window.ZepRxData(message.Length(), &message.Msg()); }
  // A status packet of a sonar at device time `sonarSeconds`, received at host time `hostSeconds`.
  void Status(ScopedClock& clock, std::uint16_t id, double sonarSeconds, double hostSeconds,
              unsigned char typeCode = 0, unsigned char kind = 0, unsigned char flags = 1) {
    clock->Set(hostSeconds);
    const auto packet =
        CZepStatusPacket::Make(id, kind, flags, typeCode, static_cast<std::uint64_t>(sonarSeconds * 1e6 + 0.5));
    window.ZepRxStatus(&packet);
  }

  ScopedTasks tasks;  // outlives the window
  CSComm window;
};

struct RecordedLibrary {
  RecordedLibrary() : recorder(std::make_shared<CZephraRecorder>()), scope(recorder) {}
  std::shared_ptr<CZephraRecorder> recorder;
  ScopedZephraBackend scope;
};

CZepNetMsgBuilder Message(CZepNetMsgBuilder builder, const std::vector<std::pair<char, std::uint64_t>>& items) {
  for (const auto& [data, timeUs] : items) builder.Add(static_cast<unsigned char>(data), timeUs);
  return builder;
}

struct Packet {
  int port;
  char data;
  std::uint64_t timeUs;
  bool operator==(const Packet&) const = default;
};

std::vector<Packet> AsPackets(const std::vector<SERIAL_BYTE_PACKET>& queued) {
  std::vector<Packet> packets;
  for (const auto& p : queued) packets.push_back({p.Port(), static_cast<char>(p.Data()), p.TimeUs()});
  return packets;
}

std::vector<std::string> Texts(const std::vector<Nyx::Report>& reports) {
  std::vector<std::string> texts;
  for (const auto& r : reports) texts.push_back(r.text);
  return texts;
}

}  // namespace

// The library calls for both serial ports of head 7 (the network settings follow the first).
TEST(SerialSonar, InitZepRS232ConfiguresEveryPortOfTheSonar) {
  // Routing, baud index and format of serial 0 and serial 1 of slot 0.
  const int setups[][2][3] = {
      {{0, 2, 0}, {0, 6, 0}},    // decode both
      {{256, 0, 1}, {0, 1, 0}},  // loopback over RS485 stays local
      {{3, 1, 0}, {0, 2, 0}},    // first port routed to COM 3
      {{0, 3, 0}, {12, 9, 1}},   // second to COM 12: RS485 ignored there, baud index past the list
  };
  std::string calls;
  for (const auto& setup : setups) {
    RecordedLibrary library;
    SonarWindow sonar({{7, 0x31}, {9, 0}});
    for (int j = 0; j < 2; ++j) {
      sonar.Port(0, j).m_routing = setup[j][0];
      sonar.Port(0, j).m_baud = static_cast<unsigned char>(setup[j][1]);
      sonar.Port(0, j).m_format = setup[j][2];
    }
    sonar.window.InitZepRS232(7);
    for (const std::string& call : library.recorder->Lines()) calls += call + "\n";
    const long rate = std::lround(10.0 / sonar.Port(0, 0).m_charTime);
    calls += "characters of serial 0 at " + std::to_string(rate) + "\n\n";
    // The library's handles mark the ports as configured; the other sonar's stay unconfigured.
    EXPECT_EQ(std::tie(sonar.Port(0, 0).m_libraryHandle, sonar.Port(0, 1).m_libraryHandle,
                       sonar.Port(1, 0).m_libraryHandle),
              std::make_tuple(1, 2, 0));
  }
  ExpectGoldenFile("comms/init_zep_rs232.txt", calls);
}

// The routing message shows a port's decoding controls unless it routes to a
// COM port, and sets up again the ports the library configured.
TEST(SerialSonar, RoutingMessageReinitialisesOnlyConfiguredPortsAndShowsTheirDecoding) {
  const struct {
    int routing;
    int handle;
    bool shown;
  } cases[] = {{256, 0, true}, {4, 0, false}, {4, 5, false}, {256, 5, true}};
  for (const auto& c : cases) {
    RecordedLibrary library;
    library.recorder->SetResult("ZEPX_InitComPort", 41);
    SonarWindow sonar({{7, 0x31}});
    CZepPort& port = sonar.Port(0, 1);
    CECtrl* decode = sonar.window.InsText(10, "decode");
    port.m_decodeCtrls.AddTail(decode);
    port.m_routing = c.routing;
    port.m_libraryHandle = c.handle;
    CNyxWnd::InfoMsg(kInfoApplySonarRouting, nullptr);
    EXPECT_EQ(decode->HasFlag(kCtrlShown), c.shown) << c.routing << " " << c.handle;
    if (c.handle != 0) {
      // The routing reaches the head only on init.
      EXPECT_EQ(library.recorder->Lines(), std::vector<std::string>{"ZEPX_InitComPort(7, 0, 9600, 0, 0, 1)"});
      EXPECT_EQ(port.m_libraryHandle, 41);
    } else {
      EXPECT_EQ(library.recorder->Count(), 0u) << c.routing;
    }
  }
}

// The bytes go to the last slot that holds the sonar, only while comms are on;
// pulse edges queue beside them. How messages hold their items: ZepNetMsg.
TEST(SerialSonar, SerialDataAndPulseEdgesQueueForTheLastSlotOfTheirSonar) {
  const std::uint64_t big = 0xABCD12345678ULL;  // all 48 bits in use
  const struct {
    const char* name;
    CZepNetMsgBuilder message;
    std::vector<Packet> packets;
  } cases[] = {
      {"type 1, two items", Message(CZepNetMsgBuilder::Type1(7), {{'a', 1000}, {'b', big}}),
       {{4, 'a', 1000}, {4, 'b', big}}},
      {"type 2 on the second port", Message(CZepNetMsgBuilder::Type2(7, 1, true), {{'G', 77}}), {{5, 'G', 77}}},
      {"type 2 plain items carry no time", Message(CZepNetMsgBuilder::Type2(9, 1, false), {{'p', 5}, {'q', 6}}),
       {{3, 'p', 0}, {3, 'q', 0}}},
      {"a sonar in no slot", Message(CZepNetMsgBuilder::Type1(8), {{'a', 1}}), {}},
  };
  for (const auto& c : cases) {
    SonarWindow sonar({{7, 0x31}, {9, 0}, {7, 0}});
    sonar.Receive(c.message);
    EXPECT_EQ(AsPackets(sonar.Queued()), c.packets) << c.name;
  }
  SonarWindow sonar({{7, 0}, {9, 0}});
  const CZepNetMsgBuilder message = Message(CZepNetMsgBuilder::Type1(7), {{'z', 10}});
  sonar.window.m_commsEnabled = 0;
  sonar.Receive(message);
  sonar.window.OnPpsEdge(7, 100, 0);
  sonar.window.m_commsEnabled = 1;
  sonar.window.ZepRxData(message.Length(), nullptr);
  sonar.window.OnPpsEdge(9, 0x1234567890ABULL, 1);
  sonar.window.OnPpsEdge(8, 5, 0);
  EXPECT_EQ(AsPackets(sonar.Queued()), (std::vector<Packet>{{0xFF, 1, 0x1234567890ABULL}}));
}

TEST(SerialSonar, TriggerFeedsBytesWithConvertedTimesAndPulsesToTheTracker) {
  ScopedClock clock(kHostStart);
  ScopedReports reports;
  RecordCollector records;
  SonarWindow sonar({{7, 0x31}});
  CZepPort& first = sonar.Port(0, 0);
  CZepPort& second = sonar.Port(0, 1);
  first.m_decode = DecoderIndex("GPGGA");
  first.SetDecode();
  first.GetBaud();  // 9600: one character takes 10/9600 s
  sonar.window.m_pps.m_sync = 1;

  // Device time 10 s is host time 1000 s; the sonar clock runs with the host's.
  sonar.Status(clock, 7, 10.0, 1000.0);
  sonar.Status(clock, 7, 11.0, 1001.0);
  const std::string gga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
  CZepNetMsgBuilder message = CZepNetMsgBuilder::Type2(7, 0, true);
  std::uint64_t us = 11'500'000;
  for (char byte : gga) message.Add(static_cast<unsigned char>(byte), us += 1042);
  sonar.window.Sonar().Queue(SERIAL_BYTE_PACKET::Make(9, 'u', 7'250'000));  // no such port: dropped
  sonar.Receive(message);
  sonar.Receive(Message(CZepNetMsgBuilder::Type2(7, 1, true), {{'x', 11'600'000}}));
  sonar.window.OnPpsEdge(7, 12'000'000, 0);
  sonar.Receive(Message(CZepNetMsgBuilder::Type2(7, 1, false), {{'y', 0}}));
  sonar.window.OnTrigger(1002.0, 0.05);

  const auto raw = records.Records(kSnsrInf);
  ASSERT_EQ(raw.size(), 1u);
  const double firstByte = 990.0 + 11.501042;
  EXPECT_NEAR(raw[0]["time"].get<double>(), firstByte - 10.0 / 9600, 1e-9);
  EXPECT_EQ(raw[0]["text"], gga.substr(0, gga.size() - 1));
  const auto positions = records.Records(kSnsrPos);
  ASSERT_EQ(positions.size(), 1u);
  EXPECT_NEAR(positions[0]["time"].get<double>(), firstByte - 10.0 / 9600, 1e-9);
  // The port clock holds the host time of the port's last byte; the second
  // port took its byte, and a byte without a time takes the last converted one.
  EXPECT_NEAR(first.m_portClock, 990.0 + 11.5 + 1.042e-3 * static_cast<double>(gga.size()), 1e-9);
  EXPECT_NEAR(second.m_portClock, 1001.6, 1e-9);
  EXPECT_EQ(second.m_commTime.GetMissCount(), 1u);
  // The pulse reaches the tracker in sonar seconds.
  EXPECT_EQ(sonar.window.m_pps.m_state, 2);
  EXPECT_DOUBLE_EQ(sonar.window.m_pps.m_lastCommTime, 12.0);
  EXPECT_DOUBLE_EQ(sonar.window.m_pps.m_lastFpgaTime, 12'000'000.0);
  EXPECT_TRUE(sonar.Queued().empty());
  // Every packet counts; the last one was the byte without a time, at the last converted time.
  EXPECT_EQ(Texts(reports->Of(ReportKind::Status, 3021)),
            std::vector<std::string>{"SComm RxData Read  71 bytes last time = 1001.600"});
}

TEST(SerialSonar, SilentPortsAgeFromTheTwentyFirstTrigger) {
  ScopedClock clock(kHostStart);
  ScopedReports reports;
  SonarWindow sonar({{7, 0}});
  CZepPort& port = sonar.Port(0, 0);
  port.m_decode = DecoderIndex("GPGGA");
  port.SetDecode();
  port.m_lastTime = 500.0;
  port.m_portClock = 501.0;
  for (int i = 1; i <= 20; ++i) sonar.window.OnTrigger(kHostStart, 0.25);
  EXPECT_DOUBLE_EQ(port.m_portClock, 501.0);
  EXPECT_EQ(port.m_triggersSinceByte, 20u);
  // Age 1.0 against the port's own clock, not the PC's: no alarm yet.
  EXPECT_TRUE(reports->Of(ReportKind::Alarm, 3017).empty());
  sonar.window.OnTrigger(kHostStart, 0.25);
  EXPECT_DOUBLE_EQ(port.m_portClock, 501.25);
  for (int i = 0; i < 4; ++i) sonar.window.OnTrigger(kHostStart, 0.25);
  EXPECT_DOUBLE_EQ(port.m_age, 2.0);  // not yet above the limit
  sonar.window.OnTrigger(kHostStart, 0.25);
  EXPECT_DOUBLE_EQ(port.m_age, 2.25);
  EXPECT_EQ(port.m_status, kLightGrey);
  // Both ports of a slot carry the sonar's identifier, so they share one
  // alarm id: the second port, which decodes nothing, leaves the alarm alone.
  const auto alarms = reports->Of(ReportKind::Alarm, 3017);
  ASSERT_EQ(alarms.size(), 1u);
  EXPECT_EQ(alarms.back().level, 3);
  EXPECT_EQ(alarms.back().text, "The data age of 2.0s has been exceeded. Age = 2.2s");

  // A byte restarts the count.
  sonar.Receive(Message(CZepNetMsgBuilder::Type1(7), {{'a', 1}}));
  sonar.window.OnTrigger(kHostStart, 0.25);
  EXPECT_EQ(port.m_triggersSinceByte, 1u);
}

TEST(SerialSonar, LoopbackOutputFromOperatorLevelFour) {
  const struct {
    int level;
    int routing;
    int active;
    bool sent;
  } cases[] = {{4, 256, 1, true}, {5, 256, 1, true}, {3, 256, 1, false}, {4, 0, 1, false}, {4, 256, 0, false}};
  for (const auto& c : cases) {
    ScopedClock clock(12 * 3600 + 34 * 60 + 56.25, 3600);  // 1980-01-01 13:34:56.250 local
    ScopedReports reports;
    RecordedLibrary library;
    SonarWindow sonar({{7, 0x31}});
    sonar.window.Sonar().m_sonarActive = c.active;
    sonar.Port(0, 1).m_routing = c.routing;
    const int previous = Nyx::nyxLevel.exchange(c.level);
    sonar.window.OnTrigger(kHostStart, 0.05);
    Nyx::nyxLevel = previous;
    const std::string sentence = "$GPGGA,133456,4722.68462,N,00813.94875,E,2,07,1.4,0.0,M,0.0,M,0250,0362*59\r\n";
    if (c.sent) {
      ASSERT_EQ(library.recorder->CallsTo("ZEPX_SendRS232Ex").size(), 1u) << c.level;
      const ZepCall call = library.recorder->CallsTo("ZEPX_SendRS232Ex")[0];
      EXPECT_EQ(call.args, (std::vector<long long>{7, 76, 1}));
      EXPECT_EQ(call.bytes, sentence);
      EXPECT_EQ(Texts(reports->Of(ReportKind::Comms)),
                std::vector<std::string>{"ID7: 76 bytes <" + sentence + ">"});
    } else {
      EXPECT_TRUE(library.recorder->CallsTo("ZEPX_SendRS232Ex").empty()) << c.level << " " << c.routing;
    }
  }
}

TEST(SerialSonar, StatusPacketsSetPlatformSlotsAndClockSamples) {
  const struct {
    const char* name;
    std::uint16_t id;
    unsigned char kind, flags, typeCode;
    std::uint32_t platformLock;
    std::uint32_t platformFlags;   // after
    bool platformMessage;          // 271 at the next trigger
    unsigned serialPorts;          // slot 1's count after
    std::size_t portSamples;       // in slot 1's models
    std::size_t defaultSamples;
  } cases[] = {
      {"plain head", 9, 0, 1, 0x20, 0, 1, true, 1, 1, 1},
      {"Mk2 310XR, kind 2", 9, 2, 1, 0xB1, 0, 2, true, 2, 1, 1},
      {"no time-sync flag", 9, 0, 0, 0x31, 0, 1, true, 2, 0, 1},
      {"platform locked", 9, 0, 1, 0x20, 1, 0, false, 1, 1, 1},
      {"sonar in no slot", 5, 0, 1, 0x31, 0, 1, true, 1, 0, 1},
      {"kind 1 is not status", 9, 1, 1, 0x31, 0, 0, false, 1, 0, 0},
      {"identifier 0", 0, 0, 1, 0x31, 0, 0, false, 1, 0, 0},
  };
  for (const auto& c : cases) {
    ScopedClock clock(kHostStart);
    RecordCollector infos;
    SonarWindow sonar({{7, 0}, {9, 0}});
    sonar.Task().m_platformLock = c.platformLock;
    sonar.Status(clock, c.id, 50.0, 1001.0, c.typeCode, c.kind, c.flags);
    EXPECT_EQ(sonar.Task().m_platformFlags, c.platformFlags) << c.name;
    EXPECT_EQ(sonar.window.GetNumberSerialPorts(1), c.serialPorts) << c.name;
    EXPECT_EQ(sonar.Port(1, 0).m_commTime.m_pcBuf.GetCount(), c.portSamples) << c.name;
    EXPECT_EQ(sonar.Port(1, 1).m_commTime.m_pcBuf.GetCount(), c.portSamples) << c.name;
    EXPECT_EQ(sonar.Port(0, 0).m_commTime.m_pcBuf.GetCount(), 0u) << c.name;
    EXPECT_EQ(sonar.window.m_defaultTime.m_pcBuf.GetCount(), c.defaultSamples) << c.name;
    EXPECT_TRUE(infos.Infos(kInfoSonarPlatformChanged).empty());
    sonar.window.OnTrigger(kHostStart, 0.05);
    EXPECT_EQ(infos.Infos(kInfoSonarPlatformChanged).size(), c.platformMessage ? 1u : 0u) << c.name;
    sonar.window.OnTrigger(kHostStart, 0.05);
    EXPECT_EQ(infos.Infos(kInfoSonarPlatformChanged).size(), c.platformMessage ? 1u : 0u) << c.name;
  }
}

TEST(SerialSonar, TimeStampsConvertWithTheSlotsModelOrTheDefaultOne) {
  ScopedClock clock(kHostStart);
  SonarWindow sonar({{7, 0}});
  // Sonar 7: device 10 s is host 1000 s. The default model also hears sonar 5: 20 s is host 1050 s.
  sonar.Status(clock, 7, 10.0, 1000.0);
  sonar.Status(clock, 7, 11.0, 1001.0);
  sonar.window.m_defaultTime.m_pcBuf.Clear();
  sonar.Status(clock, 5, 20.0, 1050.0);
  sonar.Status(clock, 5, 21.0, 1051.0);
  const auto ping = CZepPingHead::Make(7, 12'250'000);
  const auto dmg = CZepDMGData::Make(5, 23'000'000);
  const auto dmgAtZero = CZepDMGData::Make(7, 0);
  double out = -1.0;
  EXPECT_EQ(sonar.window.ZepConvertToTimestamp(21.5, 5, out), 1);
  for (const double bad : {-3.0, std::nan("")}) EXPECT_EQ(sonar.window.ZepConvertToTimestamp(bad, 7, out), 0);
  EXPECT_DOUBLE_EQ(out, 1051.5);
  EXPECT_EQ(sonar.window.ZepConvertToTimestamp(&ping, out), 1);
  EXPECT_DOUBLE_EQ(out, 1002.25);
  EXPECT_EQ(sonar.window.ZepConvertToTimestamp(&dmg, out), 1);
  EXPECT_DOUBLE_EQ(out, 1053.0);
  EXPECT_EQ(sonar.window.ZepConvertToTimestamp(&dmgAtZero, out), 0);
  sonar.window.m_commsEnabled = 0;
  EXPECT_EQ(sonar.window.ZepConvertToTimestamp(&ping, out), 0);
  EXPECT_DOUBLE_EQ(out, 1053.0);
}

TEST(SerialSonar, IdentifiersComeFromTheFirstSonarTask) {
  ScopedTasks tasks;
  CTaskData& other = tasks.Add("Other", "Host");
  other.m_sonarCount = 1;
  other.m_sonars[0] = {99, 0};
  CTaskData& first = tasks.Add("Sonar", "Zephra");
  first.m_sonarCount = 2;
  first.m_sonars = {CSonarEntry{7, 0}, CSonarEntry{9, 0}, CSonarEntry{11, 0}, CSonarEntry{13, 0}};
  CTaskData& second = tasks.Add("Sonar2", "Zephra");
  second.m_sonarCount = 4;
  second.m_sonars = {CSonarEntry{21, 0}, CSonarEntry{22, 0}, CSonarEntry{23, 0}, CSonarEntry{24, 0}};

  CSComm window;
  window.SetOption("nPorts", "1");
  for (CZepPort& port : window.Sonar().Ports()) {
    port.m_pLabelCtrl = window.InsText(10, "label");
    port.m_pBaudCtrl = window.InsText(10, "baud");
    port.m_pFormatCtrl = window.InsText(10, "format");
  }
  window.Sonar().m_serialPortCounts[1] = 2;
  window.UpdateZephraIDs(true);

  // Slot 0's head has one serial port, slot 1's two; slots 2 and 3 lie beyond the sonar count.
  std::string ports;
  for (std::size_t p = 0; p < 8; ++p) {
    const CZepPort& port = window.GetSonarPort(p);
    ports += std::to_string(port.m_index) + " '" + port.m_label + "' COM '" + port.m_comPort + "'";
    ports += port.m_pLabelCtrl->HasFlag(kCtrlMarked) ? " marked" : "";
    ports += port.m_pBaudCtrl->HasFlag(kCtrlEnabled) ? " baud" : "";
    ports += port.m_pFormatCtrl->HasFlag(kCtrlEnabled) ? " format" : "";
    ports += " '" + port.m_lastMsg + "'\n";
  }
  ExpectGoldenFile("comms/sonar_port_identifiers.txt", ports);
  EXPECT_EQ(window.FindSonarSlot(9), 1);
  EXPECT_EQ(window.FindSonarSlot(21), -1);
}
