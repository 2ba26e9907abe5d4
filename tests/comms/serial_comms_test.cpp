// The serial comms window: options, trigger, task texts, pulse-line scan, messages, settings file.
#include <gtest/gtest.h>

#include <thread>

#include "comms/serial_comms.h"
#include "host/controls.h"
#include "host/records.h"
#include "host/settings.h"
#include "host/task.h"
#include "support/capture.h"
#include "support/panel_dump.h"
#include "support/pty_pair.h"
#include "support/scripted_serial_device.h"
#include "support/test_codecs.h"

namespace {

using Nyx::ReportKind;

class CountingSerialWindow : public CSComm {
 public:
  void UpdateLabels() override { ++labelUpdates; }
  int labelUpdates = 0;
};

class CountingWindow : public CNyxWnd {
 public:
  void UpdateLabels() override { ++labelUpdates; }
  int labelUpdates = 0;
};

class EnableRecorder : public CDecode {
 public:
  void Enable(int on) override { calls.push_back(on); }
  std::vector<int> calls;
};

void SetDecoder(CSPort& line, int index) {
  line.m_port.m_decode = index;
  line.m_port.SetDecode();
}

}  // namespace

TEST(SerialComms, OptionsNPortsTaskAndSonarPorts) {
  ScopedTasks tasks;
  tasks.Add("Quiet", "Host");
  tasks.Add("Talker", "Host").m_outputFlags = {0, 1};
  const std::pair<const char*, std::size_t> cases[] = {{"", 1}, {"3", 3}, {"3x", 3}, {"-1", 3}, {"0", 0}, {"8", 8}};
  CSComm window;
  EXPECT_EQ(window.GetSonarPort(0).m_pOwner, nullptr);  // the sonar ports get their owner from "nPorts" only
  for (const auto& [value, lines] : cases) {
    window.SetOption("nPorts", value);
    ASSERT_EQ(window.GetLineCount(), lines) << value;
    if (lines > 0) {
      EXPECT_EQ(window.GetLine(lines - 1)->m_port.m_index, lines - 1);
      EXPECT_EQ(window.GetLine(lines - 1)->m_port.m_pOwner, &window);
    }
  }
  EXPECT_EQ(window.GetSonarPort(7).m_pOwner, &window);
  EXPECT_EQ(window.GetSonarPort(7).m_index, 3u);
  window.SetOption("Task", "Talker");
  EXPECT_EQ(window.m_pTask, CTask::GetTask("Talker"));
  EXPECT_EQ(window.m_taskOutput, 1);
  window.SetOption("Task", "Quiet");
  EXPECT_EQ(window.m_taskOutput, 0);
  window.SetOption("Task", "Absent");
  EXPECT_EQ(window.m_pTask, nullptr);
  CountingWindow sonar;
  sonar.SetName("SonarPage");
  window.SetOption("SonarPorts", "SonarPage");
  EXPECT_EQ(window.m_pSonarWnd, &sonar);
  window.SetOption("nBanks", "2");  // the base's options still apply
  EXPECT_EQ(window.m_nBanks, 2);
}

TEST(SerialComms, TaskTextsGoToEncodingLinesByTheEncodersName) {
  ScopedTasks tasks;
  CTaskData& data = tasks.Add("Out", "Host");
  CSComm window;
  const int target = RegisterTestEncoder("Test target", RuntimeClassOf<TestTargetEncoder>());
  const int status = RegisterTestEncoder("Test status", RuntimeClassOf<TestStatusEncoder>());
  window.SetOption("Task", "Out");
  window.SetOption("nPorts", "5");
  // Every line open on a device of its own, so that each has a writer.
  const int encoders[] = {status, CEComm::FindEncode("PVKRTR1")->m_index, target, status, 0};
  ScriptedSerialLine devices[5];
  for (unsigned i = 0; i < 5; ++i) {
    CSPort& line = *window.GetLine(i);
    line.m_port.m_encode = encoders[i] != 0 ? encoders[i] : status;
    line.m_port.SetEncode();
    line.m_port.m_encode = encoders[i];  // the last keeps its encoder object, the choice is none
    line.SetDeviceOpener(devices[i].Opener());
    line.m_commPort = 70 + static_cast<int>(i);
    line.SetComm(line.m_commPort);
  }
  const auto written = [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::vector<std::string> out;
    for (const auto& device : devices) out.push_back(device.Written());
    return out;
  };
  window.m_commsEnabled = 1;
  data.m_singleText = "$PVKRSTA,OK\r\n";
  data.m_targetTexts = {"T1\r\n", "T2\r\n"};
  data.m_jsonPayloads = {"{}"};
  EXPECT_EQ(window.SendPortsData(), 3);
  // The target list moves into the first target line.
  const std::vector<std::string> sent = {"$PVKRSTA,OK\r\n", "T1\r\nT2\r\n", "", "$PVKRSTA,OK\r\n", ""};
  EXPECT_EQ(written(), sent);
  EXPECT_TRUE(data.m_singleText.empty() && data.m_targetTexts.empty() && data.m_jsonPayloads.empty());

  // With comms off the texts are emptied, and nothing goes out.
  window.m_commsEnabled = 0;
  data.m_singleText = "S";
  data.m_targetTexts = {"T3"};
  EXPECT_EQ(window.SendPortsData(), 0);
  EXPECT_TRUE(data.m_singleText.empty() && data.m_targetTexts.empty());
  EXPECT_EQ(written(), sent);
}

// The trigger drains every line into its port and redraws both windows on a
// change; with comms off it only empties the task's target list.
TEST(SerialComms, TriggerDecodesTheLinesOrWithCommsOffOnlyEmptiesTheTargetList) {
  ScopedTasks tasks;
  CTaskData& data = tasks.Add("Out", "Host");
  ScopedReports reports;
  RecordCollector records;
  CountingSerialWindow window;
  CountingWindow sonarPage;
  sonarPage.SetName("SonarPage");
  window.SetOption("SonarPorts", "SonarPage");
  window.SetOption("Task", "Out");
  window.SetOption("nPorts", "2");
  const std::string gga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
  for (std::size_t i = 0; i < 2; ++i) {
    CSPort& line = *window.GetLine(i);
    SetDecoder(line, DecoderIndex("GPGGA + ZDA"));
    line.m_commPort = 1;  // drained without being open
    for (const char c : gga) line.NewByte(10.0, static_cast<unsigned char>(c));
  }
  data.m_singleText = "S";
  data.m_targetTexts = {"T"};

  window.OnTrigger(100.0, 0.05);
  EXPECT_TRUE(data.m_targetTexts.empty());
  EXPECT_EQ(data.m_singleText, "S");
  EXPECT_EQ(window.GetLine(0)->GetQueuedCount(), static_cast<int>(gga.size()));
  EXPECT_TRUE(records.Records(kSnsrInf).empty());
  EXPECT_EQ(window.labelUpdates, 0);

  window.m_commsEnabled = 1;
  window.OnTrigger(100.0, 0.05);
  EXPECT_EQ(window.GetLine(0)->GetQueuedCount(), 0);
  const auto raw = records.Records(kSnsrInf);
  ASSERT_EQ(raw.size(), 2u);
  EXPECT_EQ(raw[1]["bank"], 1);  // the port index tags the raw line
  ASSERT_EQ(records.Records(kSnsrPos).size(), 2u);
  EXPECT_NEAR(records.Records(kSnsrPos)[0]["pos"][1].get<double>(), 48.1173, 1e-4);
  EXPECT_EQ(window.labelUpdates, 1);
  EXPECT_EQ(sonarPage.labelUpdates, 1);
  EXPECT_FALSE(reports->Of(ReportKind::Alarm, 3010).empty());  // aged: the message is 90 s old
}

TEST(SerialComms, PortUpdatedScansForThePulseLine) {
  CSComm window;
  const int psea = RegisterTestDecoder("Test PSea", RuntimeClassOf<TestPseaPressureDecoder>());
  const int gga = DecoderIndex("GPGGA");
  const int pps = DecoderIndex("PPS");
  constexpr unsigned kUntouched = 12345;
  const struct {
    const char* name;
    std::vector<int> decoders;  // per line, 0 = none
    std::size_t updated;
    std::vector<bool> touched;  // DTR raised or lowered
    std::vector<unsigned char> syncChars;
    bool ppsPresent;
  } cases[] = {
      {"pulse after a position line", {gga, pps}, 1, {true, true}, {10, 0}, true},
      {"pulse line not the updated one", {pps, gga}, 1, {true, false}, {10, 10}, true},
      {"pressure line ends the scan", {psea, pps}, 0, {false, false}, {';', 10}, false},
      {"lines without a decoder are skipped", {gga, 0, gga}, 2, {true, false, true}, {10, 10, 10}, false},
  };
  for (const auto& c : cases) {
    window.SetOption("nPorts", std::to_string(c.decoders.size()));
    for (std::size_t i = 0; i < c.decoders.size(); ++i) SetDecoder(*window.GetLine(i), c.decoders[i]);
    for (std::size_t i = 0; i < c.decoders.size(); ++i) {
      window.GetLine(i)->m_lastError = kUntouched;
      window.GetLine(i)->m_port.m_syncChar = 10;
    }
    window.m_pps.m_sync = 2;
    window.m_commTime.SetUseGps(c.ppsPresent ? 0 : 1);
    window.m_commTime.m_pcBuf.Add(false, 1.0, 2.0);
    window.PortUpdated(window.GetLine(c.updated)->m_port);
    for (std::size_t i = 0; i < c.decoders.size(); ++i) {
      // The lines are closed, so a touched line holds the invalid-handle error.
      EXPECT_EQ(window.GetLine(i)->m_lastError != kUntouched, c.touched[i]) << c.name << " line " << i;
      EXPECT_EQ(window.GetLine(i)->m_port.m_syncChar, c.syncChars[i]) << c.name << " line " << i;
    }
    EXPECT_EQ(window.m_pps.m_bPresent, c.ppsPresent) << c.name;
    EXPECT_EQ(window.m_pps.m_sync, c.ppsPresent ? 1 : 2) << c.name;
    EXPECT_EQ(window.m_commTime.m_bUseGps.load(), c.ppsPresent ? 1 : 0) << c.name;
    EXPECT_EQ(window.m_commTime.m_bSyncPcClock.load(), c.ppsPresent ? 1 : 0) << c.name;
    // A change of the flag empties the clock model.
    EXPECT_EQ(window.m_commTime.m_pcBuf.GetCount(), 0u) << c.name;
  }
}

TEST(SerialComms, EnableMessageSwitchesEveryPortOnce) {
  CSComm window;
  window.SetOption("nPorts", "2");
  auto recorder = std::make_unique<EnableRecorder>();
  EnableRecorder& calls = *recorder;
  window.GetLine(1)->m_port.m_pDecode = std::move(recorder);
  window.GetLine(1)->m_port.m_status = kLightGreen;
  window.GetSonarPort(7).m_status = kLightRed;

  CNyxWnd::InfoMsg(kInfoCommsEnable, InfoValue(1));
  EXPECT_TRUE(window.CommsEnabled());
  EXPECT_EQ(window.GetLine(1)->m_port.m_status, kLightGrey);
  EXPECT_EQ(window.GetSonarPort(7).m_status, kLightGrey);
  CNyxWnd::InfoMsg(kInfoCommsEnable, InfoValue(1));  // no change, no second switch
  EXPECT_EQ(calls.calls, std::vector<int>{1});
  window.m_bEnableComms = 0;
  window.OnEnableBtn();
  EXPECT_FALSE(window.CommsEnabled());
  EXPECT_EQ(calls.calls, (std::vector<int>{1, 0}));
}

TEST(SerialComms, TargetAndPingMessagesReachSonarTasks) {
  ScopedTasks tasks;
  CTaskData& sonar = tasks.Add("Sonar", "Zephra");
  CTaskData& other = tasks.Add("Other", "Host");
  std::vector<CV3> applied;
  sonar.m_onApplyTarget = [&](const CSonarTarget& target) { applied.push_back(target.m_position); };
  CSComm window;

  CSnsStreamSCADA target;
  std::tie(target.m_x, target.m_y, target.m_z) = std::make_tuple(1.5, -2.5, 30.0);
  std::tie(target.m_flagA, target.m_flagB) = std::make_tuple(7, 9);
  CNyxWnd::InfoMsg(kInfoTargetData, &target);
  const CSonarTarget& got = sonar.m_target;
  EXPECT_EQ(std::tie(got.m_position.x, got.m_position.y, got.m_position.z, got.m_positionFlag, got.m_depth),
            std::make_tuple(1.5, -2.5, 0.0, 1, 30.0));
  EXPECT_EQ(got.m_pingControl, (std::array<std::uint8_t, 3>{7, 0, 9}));
  EXPECT_EQ(applied.size(), 1u);
  EXPECT_EQ(other.m_target.m_applied, 0);

  CSnsStreamStallPing stall;
  stall.m_flagA = 3;
  stall.m_flagB = 4;
  CNyxWnd::InfoMsg(kInfoStallPing, &stall);
  EXPECT_EQ(got.m_pingControl, (std::array<std::uint8_t, 3>{4, 0, 3}));
  EXPECT_EQ(got.m_applied, 1);

  unsigned char control = 5;
  CNyxWnd::InfoMsg(kInfoPingControl, &control);
  EXPECT_EQ(got.m_pingControl, (std::array<std::uint8_t, 3>{5, 5, 0}));
  EXPECT_EQ(other.m_target.m_pingControl, (std::array<std::uint8_t, 3>{0, 0, 0}));
  CNyxWnd::InfoMsg(kInfoPingControl, nullptr);  // nothing to read: ignored
}

TEST(SerialComms, UpwardSendGoesToTheLineAndTheTrafficLog) {
  ScopedReports reports;
  CSComm window;
  window.SetOption("nPorts", "2");
  window.SendData(1, "OFF");  // comms off
  window.m_commsEnabled = 1;
  window.SendData(2, "NOWHERE");
  window.GetLine(1)->m_port.SendData("X");  // a port's own call reaches the window with its index
  const auto log = reports->Of(ReportKind::Comms);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(std::tie(log[0].channel, log[0].text), std::make_tuple(1, std::string("1: 1 bytes <X>")));
  EXPECT_EQ(window.GetLine(1)->m_port.m_lastMsg, "X");
}

// The settings file holds every port in a fixed order; loading it reopens the
// lines without a comms broadcast, and the shutdown message closes them again.
TEST(SerialComms, SettingsStoreEveryPortAndLoadingReopensTheLines) {
  ScopedReports reports;
  PtyPair first, second;
  ScopedComPort mapFirst(55, first.SlavePath()), mapSecond(56, second.SlavePath());
  CESet set;
  {
    CSComm window;
    window.SetOption("nPorts", "3");
    SetDecoder(*window.GetLine(0), DecoderIndex("GPGGA"));
    window.GetLine(0)->m_commPort = 55;
    window.GetLine(0)->m_dcb.BaudRate = 4800;
    window.GetLine(2)->m_commPort = 56;
    window.m_bEnableComms = 1;
    window.Sonar().m_routing = 4;
    window.GetSonarPort(3).m_commPort = 7;
    window.GetSonarPort(5).m_decode = DecoderIndex("GPGGA");
    window.Settings(*set.AddCol("Host")->AddObj("Serial"));
  }
  const CESetCol* col = set.GetCol("SComm");
  std::string layout;
  for (const auto& item : set.GetCol("Host")->GetObj("Serial")->GetItems()) layout += item.key + "\n";
  for (const auto& obj : col->GetObjs()) layout += obj->GetName() + ":" + obj->GetText() + "\n";
  ExpectGoldenFile("comms/serial_settings_layout.txt", layout);
  EXPECT_EQ(col->GetObj("ZephraPorts")->GetItems().at(0).value, "4");
  EXPECT_EQ(col->GetObj("ZepPort02:Serial01")->GetItems().at(0).value, "7");
  const std::string xml = set.ToString();

  RecordCollector infos;
  CSComm window;
  window.SetOption("nPorts", "3");
  window.SetOption("Flags", "2");
  CESet loaded;
  ASSERT_TRUE(loaded.LoadFromString(xml));
  window.Settings(*loaded.GetCol("Host")->GetObj("Serial"));
  EXPECT_TRUE(window.CommsEnabled());
  EXPECT_TRUE(infos.Infos(kInfoCommsEnable).empty());
  EXPECT_TRUE(window.GetLine(0)->IsOpen());
  EXPECT_FALSE(window.GetLine(1)->IsOpen());
  EXPECT_TRUE(window.GetLine(2)->IsOpen());
  EXPECT_EQ(window.GetLine(0)->m_dcb.BaudRate, 4800u);
  EXPECT_EQ(window.GetSonarPort(3).m_commPort, 7);
  ASSERT_NE(window.GetSonarPort(5).m_pDecode, nullptr);
  CESet again;
  window.Settings(*again.AddCol("Host")->AddObj("Serial"));
  EXPECT_EQ(again.ToString(), xml);

  // The COM ports a file names, for the host to check before it loads it.
  EXPECT_EQ(CSComm::StoredComPorts(loaded), (std::vector<int>{55, 0, 56}));
  CESet damaged;
  ASSERT_TRUE(damaged.LoadFromString(R"(<NyxSettings><Col name="SComm"><Obj name="Port01">
      <Item key="CommPort" type="int">5x</Item></Obj></Col></NyxSettings>)"));
  EXPECT_EQ(CSComm::StoredComPorts(damaged), std::vector<int>{0});

  CNyxWnd::InfoMsg(kInfoShutdown, nullptr);
  EXPECT_FALSE(window.GetLine(0)->IsOpen());
  EXPECT_EQ(window.GetLine(0)->m_commPort, 55);  // still stored
}
