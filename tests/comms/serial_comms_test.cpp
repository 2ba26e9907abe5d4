// The serial comms window: options, the trigger cycle, handing the task's
// texts to encoding lines, the reconfiguration scan after a decoder change,
// info and sensor messages, the upward calls and the settings file.
#include <gtest/gtest.h>

#include <thread>

#include "comms/serial_comms.h"
#include "host/controls.h"
#include "host/records.h"
#include "host/settings.h"
#include "host/task.h"
#include "support/capture.h"
#include "support/pty_pair.h"
#include "support/scripted_serial_device.h"
#include "support/test_codecs.h"

namespace {

using namespace std::chrono_literals;
using Nyx::ReportKind;

// Counts what the window asks of the host's drawing.
class CountingSerialWindow : public CSComm {
 public:
  void UpdateLabels() override { ++labelUpdates; }
  int labelUpdates = 0;
};

class CountingWindow : public CNyxWnd {
 public:
  void UpdateLabels() override { ++labelUpdates; }
  void LayoutWnd(int how) override { layouts.push_back(how); }
  int labelUpdates = 0;
  std::vector<int> layouts;
};

// Remembers the enable calls its port passes on.
class EnableRecorder : public CDecode {
 public:
  void Enable(int on) override { calls.push_back(on); }
  std::vector<int> calls;
};

void SetDecoder(CSPort& line, int index) {
  line.m_port.m_decode = index;
  line.m_port.SetDecode();
}

void SetEncoder(CSPort& line, int index) {
  line.m_port.m_encode = index;
  line.m_port.SetEncode();
}

}  // namespace

TEST(SerialComms, IsCreatedByItsRuntimeClassWithOneOwnedLine) {
  std::unique_ptr<CObject> object(CRuntimeClass::CreateObject("CSComm"));
  auto* window = dynamic_cast<CSComm*>(object.get());
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->GetTypeName(), "Serial");
  ASSERT_EQ(window->GetLineCount(), 1u);
  EXPECT_EQ(window->GetLine(0)->m_port.m_pOwner, window);
  EXPECT_EQ(window->GetLine(0)->m_port.m_index, 0u);
  EXPECT_TRUE(CNyxWnd::s_trigRx.Contains(window) && CNyxWnd::s_snsrRx.Contains(window) && CNyxWnd::s_infoRx.Contains(window));
  EXPECT_EQ(window->m_pps.m_pOwner, window);
  // The sonar ports get their owner from "nPorts" only.
  EXPECT_EQ(window->GetSonarPort(0).m_pOwner, nullptr);
  EXPECT_EQ(window->GetMaxNumberOfSonars(), 4);
  object.reset();
  EXPECT_FALSE(CNyxWnd::s_trigRx.Contains(window));
}

TEST(SerialComms, OptionNPortsResizesTheLines) {
  const struct {
    const char* value;
    std::size_t lines;
  } cases[] = {{"3", 3}, {"3x", 3}, {"", 3}, {"1", 1}, {"-1", 1}, {"0", 0}, {"8", 8}};
  CSComm window;
  for (const auto& c : cases) {
    window.SetOption("nPorts", c.value);
    ASSERT_EQ(window.GetLineCount(), c.lines) << c.value;
    for (std::size_t i = 0; i < c.lines; ++i) {
      EXPECT_EQ(window.GetLine(i)->m_port.m_index, i);
      EXPECT_EQ(window.GetLine(i)->m_port.m_pOwner, &window);
      EXPECT_FALSE(window.GetLine(i)->IsOpen());
    }
  }
  for (std::size_t p = 0; p < 8; ++p) {
    EXPECT_EQ(window.GetSonarPort(p).m_pOwner, &window);
    EXPECT_EQ(window.GetSonarPort(p).m_index, p / 2);
  }
}

TEST(SerialComms, OptionsTaskAndSonarPorts) {
  ScopedTasks tasks;
  tasks.Add("Quiet", "Host");
  tasks.Add("Talker", "Host").m_outputFlags = {0, 1};
  CSComm window;
  window.SetOption("Task", "Talker");
  EXPECT_EQ(window.m_pTask, CTask::GetTask("Talker"));
  EXPECT_EQ(window.m_taskOutput, 1);
  window.SetOption("Task", "Quiet");
  EXPECT_EQ(window.m_taskOutput, 0);
  window.SetOption("Task", "Absent");
  EXPECT_EQ(window.m_pTask, nullptr);
  window.SetOption("task", "Talker");  // keys are exact
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
  SetEncoder(*window.GetLine(0), status);
  SetEncoder(*window.GetLine(1), target);
  SetEncoder(*window.GetLine(2), target);
  SetEncoder(*window.GetLine(3), status);
  SetEncoder(*window.GetLine(4), status);
  window.GetLine(4)->m_port.m_encode = 0;  // the object stays, the choice is none
  // Every line open on a device of its own, so that each has a writer.
  ScriptedSerialLine devices[5];
  for (unsigned i = 0; i < 5; ++i) {
    CSPort& line = *window.GetLine(i);
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
  EXPECT_EQ(window.GetLine(1)->m_port.m_lastMsg, "T1\r\n");
  EXPECT_TRUE(data.m_singleText.empty() && data.m_targetTexts.empty() && data.m_jsonPayloads.empty());

  // Nothing to send: no hand-over, and the texts are still emptied when comms are off.
  EXPECT_EQ(window.SendPortsData(), 0);
  window.m_commsEnabled = 0;
  data.m_singleText = "S";
  data.m_targetTexts = {"T3"};
  EXPECT_EQ(window.SendPortsData(), 0);
  EXPECT_TRUE(data.m_singleText.empty() && data.m_targetTexts.empty());
  EXPECT_EQ(written(), sent);

  window.m_pTask = nullptr;
  EXPECT_EQ(window.SendPortsData(), 0);
}

TEST(SerialComms, TriggerWithCommsOffOnlyEmptiesTheTargetList) {
  ScopedTasks tasks;
  CTaskData& data = tasks.Add("Out", "Host");
  ScopedReports reports;
  CountingSerialWindow window;
  window.SetOption("Task", "Out");
  SetDecoder(*window.GetLine(0), DecoderIndex("GPGGA"));
  CSPort& line = *window.GetLine(0);
  line.m_commPort = 1;  // drained without being open
  for (const char c : std::string("QUEUED\n")) line.NewByte(10.0, static_cast<unsigned char>(c));
  data.m_singleText = "S";
  data.m_targetTexts = {"T"};

  window.OnTrigger(100.0, 0.05);
  EXPECT_TRUE(data.m_targetTexts.empty());
  EXPECT_EQ(data.m_singleText, "S");
  EXPECT_EQ(line.GetQueuedCount(), 7);
  EXPECT_TRUE(reports->Of(ReportKind::Alarm, 3010).empty());
  EXPECT_EQ(window.labelUpdates, 0);

  window.m_commsEnabled = 1;
  window.OnTrigger(100.0, 0.05);
  EXPECT_EQ(line.GetQueuedCount(), 0);
  EXPECT_EQ(line.m_port.m_lastMsg, "QUEUED");
  EXPECT_EQ(window.labelUpdates, 1);
  EXPECT_FALSE(reports->Of(ReportKind::Alarm, 3010).empty());  // aged: the message is 90 s old
}

TEST(SerialComms, TriggerDecodesLinesEndToEnd) {
  ScopedReports reports;
  ScopedClock clock(7000.0);
  PtyPair gps, heading;
  ScopedComPort mapGps(51, gps.SlavePath()), mapHeading(52, heading.SlavePath());
  CountingSerialWindow window;
  CountingWindow sonarPage;
  sonarPage.SetName("SonarPage");
  window.SetOption("SonarPorts", "SonarPage");
  RecordCollector records;
  window.SetOption("nPorts", "2");
  for (std::size_t i = 0; i < 2; ++i) {
    CSPort& line = *window.GetLine(i);
    line.m_readWait = 25ms;
    SetDecoder(line, DecoderIndex("GPGGA + ZDA"));
    line.m_commPort = 51 + static_cast<int>(i);
    line.SetupComm();
    ASSERT_TRUE(line.IsOpen());
  }
  CNyxWnd::InfoMsg(kInfoCommsEnable, InfoValue(1));
  ASSERT_TRUE(window.CommsEnabled());

  gps.Write("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n");
  heading.Write("$GPZDA,201530.00,04,07,2002,00,00*60\r\n");
  ASSERT_TRUE(WaitUntil([&] {
    return window.GetLine(0)->GetQueuedCount() == 67 && window.GetLine(1)->GetQueuedCount() == 38;
  }));
  window.OnTrigger(clock->Now(), 0.05);
  const auto raw = records.Records(kSnsrInf);
  ASSERT_EQ(raw.size(), 2u);
  EXPECT_EQ(raw[0]["bank"], 0);  // the port index tags the raw line
  EXPECT_EQ(raw[1]["bank"], 1);
  const auto positions = records.Records(kSnsrPos);
  ASSERT_EQ(positions.size(), 1u);
  EXPECT_DOUBLE_EQ(positions[0]["time"].get<double>(), 7000.0 - 9.0 / 9600.0);
  EXPECT_NEAR(positions[0]["pos"][1].get<double>(), 48.1173, 1e-4);
  EXPECT_EQ(records.Records(kSnsrTime).size(), 1u);
  EXPECT_EQ(window.GetLine(0)->m_port.m_status, kLightYellow);  // GGA without its ZDA
  EXPECT_EQ(window.labelUpdates, 1);
  EXPECT_EQ(sonarPage.labelUpdates, 1);
}

TEST(SerialComms, PortUpdatedScansForThePulseLine) {
  CSComm window;
  const int psea = RegisterTestDecoder("Test PSea", RuntimeClassOf<TestPseaPressureDecoder>());
  const int gga = DecoderIndex("GPGGA");
  const int pps = DecoderIndex("PPS");
  constexpr unsigned kUntouched = 12345;
  struct Case {
    const char* name;
    std::vector<int> decoders;  // per line, 0 = none
    std::size_t updated;
    std::vector<bool> touched;  // DTR raised or lowered
    std::vector<unsigned char> syncChars;
    bool ppsPresent;
  };
  const Case cases[] = {
      {"pulse after a position line", {gga, pps}, 1, {true, true}, {10, 0}, true},
      {"pulse line not the updated one", {pps, gga}, 1, {true, false}, {10, 10}, true},
      {"pressure line ends the scan", {psea, pps}, 0, {false, false}, {';', 10}, false},
      {"pressure line after others", {gga, psea, pps}, 1, {true, false, false}, {10, ';', 10}, false},
      {"lines without a decoder are skipped", {gga, 0, gga}, 2, {true, false, true}, {10, 10, 10}, false},
  };
  for (const Case& c : cases) {
    window.SetOption("nPorts", std::to_string(c.decoders.size()));
    for (std::size_t i = 0; i < c.decoders.size(); ++i) SetDecoder(*window.GetLine(i), c.decoders[i]);
    for (std::size_t i = 0; i < c.decoders.size(); ++i) {
      window.GetLine(i)->m_lastError = kUntouched;
      window.GetLine(i)->m_port.m_syncChar = 10;
    }
    window.m_pps.m_sync = 2;
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
    window.m_commTime.SetUseGps(c.ppsPresent ? 0 : 1);  // the next case changes the flag again
  }
  // A change of the flag empties the clock model; no change keeps it.
  window.SetOption("nPorts", "1");
  SetDecoder(*window.GetLine(0), gga);
  window.m_commTime.SetUseGps(0);
  window.m_commTime.m_pcBuf.Add(false, 1.0, 2.0);
  window.PortUpdated(window.GetLine(0)->m_port);
  EXPECT_EQ(window.m_commTime.m_pcBuf.GetCount(), 1u);
  SetDecoder(*window.GetLine(0), pps);  // calls PortUpdated itself
  EXPECT_EQ(window.m_commTime.m_pcBuf.GetCount(), 0u);
  EXPECT_EQ(window.GetLine(0)->m_port.m_syncChar, 0);
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
  EXPECT_EQ(window.m_bEnableComms, 1);
  EXPECT_TRUE(window.CommsEnabled());
  EXPECT_EQ(calls.calls, std::vector<int>{1});
  EXPECT_EQ(window.GetLine(1)->m_port.m_status, kLightGrey);
  EXPECT_EQ(window.GetSonarPort(7).m_status, kLightGrey);

  CNyxWnd::InfoMsg(kInfoCommsEnable, InfoValue(1));  // no change, no second switch
  EXPECT_EQ(calls.calls, std::vector<int>{1});
  window.m_bEnableComms = 0;
  window.OnEnableBtn();
  EXPECT_FALSE(window.CommsEnabled());
  EXPECT_EQ(calls.calls, (std::vector<int>{1, 0}));

  window.SetOption("Flags", "1");  // a window without the flag ignores the broadcast
  CNyxWnd::InfoMsg(kInfoCommsEnable, InfoValue(1));
  EXPECT_FALSE(window.CommsEnabled());
  EXPECT_EQ(window.m_bEnableComms, 0);
}

TEST(SerialComms, ShutdownMessageClosesEveryLine) {
  ScopedReports reports;
  PtyPair pty;
  ScopedComPort map(53, pty.SlavePath());
  CSComm window;
  CSPort& line = *window.GetLine(0);
  line.m_commPort = 53;
  line.SetupComm();
  ASSERT_TRUE(line.IsOpen());
  CNyxWnd::InfoMsg(kInfoShutdown, nullptr);
  EXPECT_FALSE(line.IsOpen());
  EXPECT_EQ(line.m_commPort, 53);  // still stored
  CNyxWnd::InfoMsg(kInfoSonarActive, InfoValue(1));
  EXPECT_EQ(window.Sonar().m_sonarActive, 1);
}

TEST(SerialComms, TargetAndPingMessagesReachSonarTasks) {
  ScopedTasks tasks;
  CTaskData& sonar = tasks.Add("Sonar", "Zephra");
  CTaskData& other = tasks.Add("Other", "Host");
  std::vector<CV3> applied;
  sonar.m_onApplyTarget = [&](const CSonarTarget& target) { applied.push_back(target.m_position); };
  CSComm window;

  CSnsStreamSCADA target;
  std::tie(target.m_x, target.m_y, target.m_z, target.m_flagA, target.m_flagB) = std::make_tuple(1.5, -2.5, 30.0, 7, 9);
  sonar.m_target.m_pingControl = {1, 1, 1};
  CNyxWnd::InfoMsg(kInfoTargetData, &target);
  const CSonarTarget& got = sonar.m_target;
  EXPECT_EQ(std::tie(got.m_position.x, got.m_position.y, got.m_position.z, got.m_positionFlag, got.m_depth),
            std::make_tuple(1.5, -2.5, 0.0, 1, 30.0));
  EXPECT_EQ(sonar.m_target.m_pingControl, (std::array<std::uint8_t, 3>{7, 0, 9}));
  EXPECT_EQ(sonar.m_target.m_applied, 1);
  ASSERT_EQ(applied.size(), 1u);
  EXPECT_EQ(other.m_target.m_applied, 0);

  CSnsStreamStallPing stall;
  stall.m_flagA = 3;
  stall.m_flagB = 4;
  CNyxWnd::InfoMsg(kInfoStallPing, &stall);
  EXPECT_EQ(sonar.m_target.m_pingControl, (std::array<std::uint8_t, 3>{4, 0, 3}));
  EXPECT_EQ(sonar.m_target.m_applied, 1);

  unsigned char control = 5;
  CNyxWnd::InfoMsg(kInfoPingControl, &control);
  EXPECT_EQ(sonar.m_target.m_pingControl, (std::array<std::uint8_t, 3>{5, 5, 0}));
  EXPECT_EQ(other.m_target.m_pingControl, (std::array<std::uint8_t, 3>{0, 0, 0}));
  CNyxWnd::InfoMsg(kInfoPingControl, nullptr);  // nothing to read: ignored
}

TEST(SerialComms, PulseRecordsFeedThePpsTrackerWithTheSelectedPolarity) {
  ScopedReports reports;
  const struct {
    int sync;
    int state;
    double stored;
  } cases[] = {{1, 2, 12.5}, {2, 2, 12.5}, {0, 3, 0.0}};
  for (const auto& c : cases) {
    CSComm window;
    window.m_pps.m_sync = c.sync;
    CSnsrInf pulse;
    pulse.m_time = 12.5;
    pulse.m_type = kSnsrPps;
    CNyxWnd::SnsrMsg(kSnsrPps, &pulse);
    EXPECT_EQ(window.m_pps.m_state, c.state) << c.sync;
    EXPECT_EQ(window.m_pps.m_lastCommTime, c.stored) << c.sync;
    EXPECT_EQ(window.m_pps.m_lastFpgaTime, c.stored * 1e6) << c.sync;
    CSnsrInf text;  // type 0: not a pulse, whatever the kind
    text.m_time = 20.0;
    CNyxWnd::SnsrMsg(kSnsrPps, &text);
    EXPECT_EQ(window.m_pps.m_lastCommTime, c.stored) << c.sync;
  }
}

TEST(SerialComms, PulseLineDrivesTheTrackerEndToEnd) {
  ScopedReports reports;
  ScopedClock clock(3000.0);
  PtyPair pty;
  ScopedComPort map(54, pty.SlavePath());
  CSComm window;
  CSPort& line = *window.GetLine(0);
  line.m_readWait = 25ms;
  SetDecoder(line, DecoderIndex("PPS"));
  EXPECT_EQ(line.m_port.m_syncChar, 0);
  EXPECT_TRUE(window.m_pps.m_bPresent);
  line.m_commPort = 54;
  line.SetupComm();
  window.m_commsEnabled = 1;
  pty.Write(std::string(1, '\0'));
  ASSERT_TRUE(WaitUntil([&] { return line.GetQueuedCount() == 1; }));
  window.OnTrigger(3000.0, 0.05);
  EXPECT_EQ(window.m_pps.m_state, 2);
  EXPECT_DOUBLE_EQ(window.m_pps.m_lastCommTime, 3000.0 - 9.0 / 9600.0);
}

TEST(SerialComms, UpwardSendGoesToTheLineAndTheTrafficLog) {
  ScopedReports reports;
  CSComm window;
  window.SetOption("nPorts", "2");
  window.SendData(1, "HELLO");
  EXPECT_TRUE(reports->Of(ReportKind::Comms).empty());  // comms off
  window.m_commsEnabled = 1;
  window.SendData(2, "NOWHERE");
  EXPECT_TRUE(reports->Of(ReportKind::Comms).empty());
  window.SendData(1, "HELLO");
  EXPECT_EQ(window.GetLine(1)->m_port.m_lastMsg, "HELLO");
  const char bytes[] = {'A', 'B'};
  TX_MSG msg{bytes, 2};
  window.SendData(0, &msg);
  const auto log = reports->Of(ReportKind::Comms);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].channel, 1);
  EXPECT_EQ(log[0].text, "1: 5 bytes <HELLO>");
  EXPECT_EQ(log[1].text, "0: 2 bytes <AB>");
  // A port's own call reaches the window with the port's index.
  window.GetLine(1)->m_port.SendData("X");
  EXPECT_EQ(reports->Of(ReportKind::Comms).back().text, "1: 1 bytes <X>");
}

TEST(SerialComms, SettingsStoreEveryPortInTheFixedOrder) {
  CSComm window;
  window.SetOption("nPorts", "3");
  window.m_bEnableComms = 1;
  window.Sonar().m_routing = 4;
  window.GetSonarPort(3).m_commPort = 7;
  CESet set;
  CESetObj* host = set.AddCol("Host")->AddObj("Serial", "");
  window.Settings(*host);

  std::vector<std::string> hostKeys;
  for (const auto& item : host->GetItems()) hostKeys.push_back(item.key);
  EXPECT_EQ(hostKeys, (std::vector<std::string>{"CommsEnabled", "Sync", "Bank", "AlarmAge"}));
  const CESetCol* col = set.GetCol("SComm");
  ASSERT_NE(col, nullptr);
  std::vector<std::string> objects;
  for (const auto& obj : col->GetObjs()) {
    objects.push_back(obj->GetName());
    EXPECT_EQ(obj->GetText(), "No Data");
  }
  EXPECT_EQ(objects, (std::vector<std::string>{"Port01", "Port02", "Port03", "ZephraPorts", "ZepPort01:Serial00",
                                               "ZepPort01:Serial01", "ZepPort02:Serial00", "ZepPort02:Serial01",
                                               "ZepPort03:Serial00", "ZepPort03:Serial01", "ZepPort04:Serial00",
                                               "ZepPort04:Serial01"}));
  EXPECT_EQ(col->GetObj("Port02")->GetItems()[0].key, "CommPort");
  EXPECT_EQ(col->GetObj("Port02")->GetItems()[1].key, "DCB_Baud");
  ASSERT_EQ(col->GetObj("ZephraPorts")->GetItems().size(), 1u);
  EXPECT_EQ(col->GetObj("ZephraPorts")->GetItems()[0].key, "Routing");
  EXPECT_EQ(col->GetObj("ZephraPorts")->GetItems()[0].value, "4");
  const auto& zep = col->GetObj("ZepPort02:Serial01")->GetItems();
  EXPECT_EQ(zep[0].key, "CommPort");
  EXPECT_EQ(zep[0].value, "7");
  EXPECT_EQ(zep[1].key, "EchoData");
}

TEST(SerialComms, LoadingReopensTheLinesWithoutABroadcast) {
  ScopedReports reports;
  PtyPair first, second;
  ScopedComPort mapFirst(55, first.SlavePath()), mapSecond(56, second.SlavePath());
  std::string xml;
  {
    CSComm window;
    window.SetOption("nPorts", "3");
    SetDecoder(*window.GetLine(0), DecoderIndex("GPGGA"));
    window.GetLine(0)->m_commPort = 55;
    window.GetLine(0)->m_dcb.BaudRate = 4800;
    window.GetLine(2)->m_commPort = 56;
    window.GetLine(2)->m_port.m_alarmAge = 7.5;
    window.m_bEnableComms = 1;
    window.m_pps.m_alarmAge = 3.0;
    window.GetSonarPort(5).m_decode = DecoderIndex("GPGGA");
    CESet set;
    window.Settings(*set.AddCol("Host")->AddObj("Serial"));
    xml = set.ToString();
  }
  RecordCollector infos;
  CSComm window;
  window.SetOption("nPorts", "3");
  window.SetOption("Flags", "2");
  CESet set;
  ASSERT_TRUE(set.LoadFromString(xml));
  window.Settings(*set.GetCol("Host")->GetObj("Serial"));
  EXPECT_TRUE(window.CommsEnabled());
  EXPECT_TRUE(infos.Infos(kInfoCommsEnable).empty());
  EXPECT_TRUE(window.GetLine(0)->IsOpen());
  EXPECT_FALSE(window.GetLine(1)->IsOpen());
  EXPECT_TRUE(window.GetLine(2)->IsOpen());
  EXPECT_EQ(window.GetLine(0)->m_dcb.BaudRate, 4800u);
  EXPECT_EQ(window.GetLine(0)->m_port.m_decode, DecoderIndex("GPGGA"));
  EXPECT_EQ(window.GetLine(2)->m_port.m_alarmAge, 7.5);
  EXPECT_EQ(window.m_pps.m_alarmAge, 3.0);
  EXPECT_EQ(window.GetSonarPort(5).m_decode, DecoderIndex("GPGGA"));
  ASSERT_NE(window.GetSonarPort(5).m_pDecode, nullptr);

  // Saved again, the file is the same.
  CESet again;
  window.Settings(*again.AddCol("Host")->AddObj("Serial"));
  EXPECT_EQ(again.ToString(), xml);

  // A file without the column leaves the ports as they are.
  CESet empty;
  ASSERT_TRUE(empty.LoadFromString("<NyxSettings version=\"1\"/>"));
  CESetObj bare(empty, "Serial", "");
  window.Settings(bare);
  EXPECT_TRUE(window.GetLine(0)->IsOpen());
}

TEST(SerialComms, ComPortListHoldsPortsThatOpen) {
  PtyPair free, used;
  ScopedComPort mapFree(57, free.SlavePath()), mapUsed(58, used.SlavePath()), missing(59, "/nonexistent/ttyNYX");
  CSComm window;
  const auto listed = [&](int n) {
    return std::find(window.m_comPorts.begin(), window.m_comPorts.end(), n) != window.m_comPorts.end();
  };
  EXPECT_TRUE(listed(57));
  EXPECT_TRUE(listed(58));
  EXPECT_FALSE(listed(59));
  window.GetLine(0)->m_commPort = 58;
  window.GetLine(0)->SetupComm();
  window.OpenCommPorts();
  EXPECT_TRUE(listed(57));
  EXPECT_FALSE(listed(58));  // this module holds it open

  CECombo combo(kCtrlCombo, 110, std::monostate{}, "Routing", "");
  window.m_comPorts = {57, 3};
  window.AddCommPortList(&combo, "Route to COM");
  EXPECT_EQ(combo.GetEntries(), (std::vector<std::pair<std::string, long>>{{"Route to COM57", 57}, {"Route to COM3", 3}}));
  window.AddCommPortList(nullptr, "COM");
}

TEST(SerialComms, ControlSwitchesSetFlagsAndRedrawShownWindows) {
  CSComm window;
  CECtrl* ctrl = window.InsText(10, "x");
  window.EnableCtrl(nullptr, 1);
  window.ShowCtrl(nullptr, 1);
  window.EnableCtrl(ctrl, 0);
  window.ShowCtrl(ctrl, 0);
  EXPECT_FALSE(ctrl->HasFlag(kCtrlEnabled));
  EXPECT_FALSE(ctrl->HasFlag(kCtrlShown));
  EXPECT_EQ(ctrl->m_redraws, 0u);
  window.SetWindowExists(true);
  window.EnableCtrl(ctrl, 1);
  window.ShowCtrl(ctrl, 1);
  EXPECT_TRUE(ctrl->HasFlag(kCtrlEnabled));
  EXPECT_TRUE(ctrl->HasFlag(kCtrlShown));
  EXPECT_EQ(ctrl->m_redraws, 2u);
}

TEST(SerialComms, SonarPortControlsFollowTheSlotsSerialPortCount) {
  const struct {
    int k, j;
    bool on;
    unsigned count;
    bool baud, format, decode;
    const char* message;
  } cases[] = {
      {0, 0, true, 1, true, false, true, ""},
      {0, 1, true, 1, true, false, false, "Not available for this product"},
      {2, 1, true, 2, true, true, true, ""},
      {3, 0, false, 2, false, false, true, ""},
  };
  for (const auto& c : cases) {
    CSComm window;
    CZepPort& port = window.GetSonarPort(static_cast<std::size_t>(2 * c.k + c.j));
    port.m_pBaudCtrl = window.InsText(10, "baud");
    port.m_pRoutingCtrl = window.InsText(10, "routing");
    port.m_pFormatCtrl = window.InsText(10, "format");
    CECtrl* decode = window.InsText(10, "decode");
    port.m_decodeCtrls.AddTail(decode);
    port.m_lastMsg = "old";
    window.Sonar().m_serialPortCounts[static_cast<std::size_t>(c.k)] = c.count;
    window.UpdateAllControl(c.k, c.j, c.on);
    EXPECT_EQ(port.m_pBaudCtrl->HasFlag(kCtrlEnabled), c.baud) << c.k << c.j;
    EXPECT_EQ(port.m_pRoutingCtrl->HasFlag(kCtrlEnabled), c.baud) << c.k << c.j;
    EXPECT_EQ(port.m_pFormatCtrl->HasFlag(kCtrlEnabled), c.format) << c.k << c.j;
    EXPECT_EQ(decode->HasFlag(kCtrlEnabled), c.decode) << c.k << c.j;
    EXPECT_EQ(port.m_lastMsg, c.message) << c.k << c.j;
    window.UpdateDecodingControls(c.k, c.j, !c.decode);
    EXPECT_EQ(decode->HasFlag(kCtrlEnabled), !c.decode) << c.k << c.j;
    EXPECT_EQ(window.GetNumberSerialPorts(c.k), c.count);
  }
  CSComm window;
  EXPECT_EQ(window.GetNumberSerialPorts(4), 1u);
  EXPECT_EQ(window.GetNumberSerialPorts(-1), 1u);
  window.UpdateAllControl(4, 0, true);  // no such port
}

TEST(SerialComms, LayoutOnlyWhileTheWindowExists) {
  CSComm window;
  CountingWindow sonarPage;
  sonarPage.SetName("SonarPage");
  window.SetOption("SonarPorts", "SonarPage");
  window.LayoutWnd(3);
  EXPECT_TRUE(sonarPage.layouts.empty());
  window.SetWindowExists(true);
  window.LayoutWnd(3);
  EXPECT_EQ(sonarPage.layouts, std::vector<int>{3});
}
