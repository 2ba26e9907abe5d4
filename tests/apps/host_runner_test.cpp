// The embedded host in-process: its command-line assignments, the lines it
// opens, its records and event lines, the settings it saves and loads, and
// the target texts it reads from a file or a FIFO.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "comms/serial_comms.h"
#include "net/udp_controller.h"
#include "net/udp_socket.h"
#include "nyxhost/demo_station.h"
#include "nyxhost/host_runner.h"
#include "host/settings.h"
#include "host/task.h"
#include "support/capture.h"
#include "support/pty_pair.h"
#include "support/sentences.h"
#include "support/temp_files.h"
#include "support/test_codecs.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;


// Runs the host's trigger loop on a thread of its own until stopped.
class RunningHost {
 public:
  explicit RunningHost(HostConfig config) : runner(std::move(config)) {}
  ~RunningHost() { Stop(); }
  int Start() {
    const int result = runner.Start(error);
    if (result == kHostOk) thread = std::thread([this] { runner.Run(); });
    return result;
  }
  void Stop() {
    runner.Stop();
    if (thread.joinable()) thread.join();
  }
  int Shutdown() {
    Stop();
    return runner.Shutdown(error);
  }

  HostRunner runner;
  std::string error;
  std::thread thread;
};

}  // namespace

TEST(HostConfig, AssignmentsNameAComNumberAndAValue) {
  const struct {
    const char* option;
    const char* text;
    bool ok;
    const char* error;
  } cases[] = {
      {"--com", "3=/dev/ttyUSB0", true, ""},
      {"--com", "3", false, "--com takes N=VALUE with N a COM number from 1, not '3'"},
      {"--com", "0=/dev/x", false, "--com takes N=VALUE with N a COM number from 1, not '0=/dev/x'"},
      {"--com", "x=/dev/x", false, "--com takes N=VALUE with N a COM number from 1, not 'x=/dev/x'"},
      {"--decode", "2=GPGGA + ZDA", true, ""},
      {"--decode", "2=", false, "--decode 2=: the value is missing"},
      {"--encode", "2=1", true, ""},
      {"--baud", "2=115200", true, ""},
      {"--baud", "2=fast", false, "--baud 2=fast: the rate must be a whole number of baud above 0"},
      {"--baud", "2=0", false, "--baud 2=0: the rate must be a whole number of baud above 0"},
      {"--sync-char", "2=<CR>", true, ""},
  };
  HostConfig config;
  for (const auto& c : cases) {
    std::string error;
    const std::string option = c.option;
    bool ok = false;
    if (option == "--com") ok = config.AddCom(c.text, error);
    if (option == "--decode") ok = config.AddDecode(c.text, error);
    if (option == "--encode") ok = config.AddEncode(c.text, error);
    if (option == "--baud") ok = config.AddBaud(c.text, error);
    if (option == "--sync-char") ok = config.AddSyncChar(c.text, error);
    EXPECT_EQ(ok, c.ok) << c.option << " " << c.text;
    EXPECT_EQ(error, c.error) << c.option << " " << c.text;
  }
  EXPECT_EQ(config.comPaths.at(3), "/dev/ttyUSB0");
  // Options of one COM number make one line, in the order first named.
  ASSERT_EQ(config.lines.size(), 1u);
  EXPECT_EQ(config.lines[0].com, 2);
  EXPECT_EQ(config.lines[0].decode, "GPGGA + ZDA");
  EXPECT_EQ(config.lines[0].encode, "1");
  EXPECT_EQ(config.lines[0].baud, 115200u);
  EXPECT_EQ(config.lines[0].syncChar, "<CR>");
}

TEST(HostRunner, OpensTheNamedLinesAndWritesTheirRecords) {
  TempDir dir;
  PtyPair gps, depth;
  HostConfig config;
  config.comPaths = {{1, gps.SlavePath()}, {4, depth.SlavePath()}};
  config.Line(4).decode = "GPGGA";
  config.Line(4).baud = 4800;
  config.Line(4).syncChar = "<CR>";
  config.Line(1).decode = "2";  // "GPGGA + ZDA" by its index
  config.enable = true;
  config.triggerHz = 50;
  config.records = dir / "records.jsonl";
  config.events = dir / "events.jsonl";
  RunningHost host(config);
  ASSERT_EQ(host.Start(), kHostOk) << host.error;
  CSComm& window = *host.runner.Window();
  ASSERT_EQ(window.GetLineCount(), 2u);
  const CSPort& first = *window.GetLine(0);
  const CSPort& second = *window.GetLine(1);
  EXPECT_EQ(first.m_commPort, 4);  // in the order named
  EXPECT_EQ(first.m_dcb.BaudRate, 4800u);
  EXPECT_EQ(first.m_port.m_syncChar, 13);
  EXPECT_EQ(second.m_commPort, 1);
  EXPECT_EQ(second.m_port.m_decode, 2);
  EXPECT_TRUE(first.IsOpen());
  EXPECT_TRUE(second.IsOpen());
  EXPECT_TRUE(window.CommsEnabled());

  gps.Write(kGgaLine);
  depth.Write("$GPGGA,000001,0100.000,S,00200.000,W,1,04,1.0,0.0,M,0.0,M,,*00\r");
  ASSERT_TRUE(WaitUntil([&] { return ReadJsonLines(config.records).size() >= 4; }));
  ASSERT_EQ(host.Shutdown(), kHostOk) << host.error;
  const auto records = ReadJsonLines(config.records);
  ASSERT_EQ(records.size(), 4u);
  int positions = 0;
  for (const auto& record : records) {
    if (record["kind"] == 1) {
      ++positions;
      EXPECT_EQ(record["class"], "CSnsrPos");
    }
  }
  EXPECT_EQ(positions, 2);
  // Pseudo-terminals refuse low latency: a status line each, before the info lines.
  auto events = ReadJsonLines(config.events);
  std::erase_if(events, [](const auto& event) { return event["report"] == "status" && event["id"] == 9060; });
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events.front(), nlohmann::json::parse(R"({"report":"info","kind":101,"value":1})"));
  EXPECT_EQ(events.back(), nlohmann::json::parse(R"({"report":"info","kind":104})"));
  EXPECT_GT(host.runner.Triggers(), 0u);
}

TEST(HostRunner, ReportsBecomeEventLines) {
  TempDir dir;
  HostConfig config;
  config.records = dir / "records.jsonl";
  config.events = dir / "events.jsonl";
  HostRunner runner(config);
  std::string error;
  ASSERT_EQ(runner.Start(error), kHostOk) << error;
  Nyx::Status(9040, 2, "Serial Comms Timeout [%s]", "/dev/ttyS0");
  Nyx::Alarm(3010, 3, "age");
  Nyx::EndAlarm(3010);
  Nyx::Comms(1, "0: 2 bytes <AB>");
  Nyx::Console(2, "hello");
  unsigned char control = 9;
  CNyxWnd::InfoMsg(kInfoPingControl, &control);
  CNyxWnd::InfoMsg(kInfoTriggerPing, InfoValue(1));
  ASSERT_EQ(runner.Shutdown(error), kHostOk);
  const std::vector<std::string> expected = {
      R"({"report":"status","id":9040,"level":2,"text":"Serial Comms Timeout [/dev/ttyS0]"})",
      R"({"report":"alarm","id":3010,"level":3,"text":"age"})",
      R"({"report":"alarm","id":3010,"level":-1,"text":""})",
      R"({"report":"comms","channel":1,"text":"0: 2 bytes <AB>"})",
      R"({"report":"console","channel":2,"text":"hello"})",
      R"({"report":"info","kind":12004,"value":9})",
      R"({"report":"info","kind":12006,"value":1})",
      R"({"report":"info","kind":104})",
  };
  std::ifstream file(config.events);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  EXPECT_EQ(lines, expected);
}

TEST(HostRunner, MissingDeviceIsReportedAndTheHostRuns) {
  TempDir dir;
  HostConfig config;
  config.comPaths = {{5, "/nonexistent/ttyNYX"}};
  config.Line(5).decode = "GPGGA";
  config.records = dir / "records.jsonl";
  config.events = dir / "events.jsonl";
  config.duration = 0.1;
  HostRunner runner(config);
  std::string error;
  ASSERT_EQ(runner.Start(error), kHostOk) << error;
  runner.Run();
  EXPECT_GT(runner.Triggers(), 0u);
  ASSERT_EQ(runner.Shutdown(error), kHostOk);
  bool reported = false;
  for (const auto& event : ReadJsonLines(config.events)) {
    if (event["report"] == "alarm" && event["id"] == 99999) {
      EXPECT_EQ(event["level"], 1);
      EXPECT_EQ(event["text"], "Unable to open COM5");
      reported = true;
    }
  }
  EXPECT_TRUE(reported);
}

TEST(HostRunner, OptionAndFileErrorsStopTheStart) {
  TempDir dir;
  const struct {
    const char* name;
    std::function<void(HostConfig&)> change;
    int result;
    std::string error;
  } cases[] = {
      {"unknown decoder", [](HostConfig& c) { c.Line(1).decode = "Nope"; }, kHostOptionError,
       "unknown decoder 'Nope' for COM1 (nyxdecode --list prints the names)"},
      {"unknown encoder", [](HostConfig& c) { c.Line(2).encode = "99"; }, kHostOptionError,
       "unknown encoder '99' for COM2 (nyxdecode --list prints the names)"},
      {"sync character", [](HostConfig& c) { c.Line(1).syncChar = "<XX>"; }, kHostOptionError,
       "--sync-char 1=<XX>: give a code from 0 to 255, a name such as <CR>, or one character"},
      {"sync code", [](HostConfig& c) { c.Line(1).syncChar = "256"; }, kHostOptionError,
       "--sync-char 1=256: give a code from 0 to 255, a name such as <CR>, or one character"},
      {"trigger rate", [](HostConfig& c) { c.triggerHz = 0; }, kHostOptionError, "--trigger-hz must be a rate above 0"},
      {"poll rate", [](HostConfig& c) { c.pollHz = -1; }, kHostOptionError, "--poll-hz must be a rate above 0"},
      {"UDP port", [](HostConfig& c) { c.udp.dstPort = 0; }, kHostOptionError,
       "--udp-dst-port must be a port from 1 to 65535, not 0"},
      {"station window", [&](HostConfig& c) {
         c.settings = dir / "bad.xml";
         std::ofstream(c.settings) << R"(<NyxSettings><Col name="Windows"><Obj name="S" text="CSerial"/></Col></NyxSettings>)";
       },
       kHostFileError, dir / "bad.xml" + ": station: window 'S': 'CSerial' is not a window class this program can create"},
      {"UDP texts", [&](HostConfig& c) { c.udp.texts = dir / "absent.txt"; }, kHostFileError,
       dir / "absent.txt" + ": No such file or directory"},
      {"settings file", [&](HostConfig& c) { c.settings = dir / "absent.xml"; }, kHostFileError,
       dir / "absent.xml" + ": No such file or directory"},
      {"records file", [&](HostConfig& c) { c.records = dir / "no/such/dir"; }, kHostFileError,
       dir / "no/such/dir" + ": No such file or directory"},
      {"targets", [&](HostConfig& c) { c.targets = dir / "absent"; }, kHostFileError,
       dir / "absent" + ": No such file or directory"},
  };
  for (const auto& c : cases) {
    HostConfig config;
    config.records = dir / "records.jsonl";
    c.change(config);
    HostRunner runner(config);
    std::string error;
    EXPECT_EQ(runner.Start(error), c.result) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
    runner.Shutdown(error);
  }
  CTask::RemoveAll();
}

TEST(HostRunner, SyncCharacterByCodeNameOrCharacter) {
  TempDir dir;
  PtyPair pty;
  const std::pair<const char*, int> cases[] = {{"13", 13}, {"<CR>", 13}, {";", ';'}, {"[Space]", ' '}, {"x", 'x'}, {"0", 0}};
  for (const auto& [text, code] : cases) {
    HostConfig config;
    config.records = dir / "records.jsonl";
    config.comPaths = {{2, pty.SlavePath()}};
    config.Line(2).syncChar = text;
    HostRunner runner(config);
    std::string error;
    ASSERT_EQ(runner.Start(error), kHostOk) << error;
    EXPECT_EQ(runner.Window()->GetLine(0)->m_port.m_syncChar, code) << text;
    runner.Shutdown(error);
  }
}

TEST(HostRunner, SavedSettingsReopenTheLinesWhenLoaded) {
  TempDir dir;
  PtyPair a, b, c;
  const std::string saved = dir / "saved.xml";
  {
    HostConfig config;
    config.comPaths = {{1, a.SlavePath()}, {2, b.SlavePath()}};
    config.Line(1).decode = "GPGGA";
    config.Line(1).baud = 4800;
    config.Line(2).decode = "ZDA";
    config.Line(2).syncChar = "13";
    config.enable = true;
    config.records = dir / "records.jsonl";
    config.save = saved;
    HostRunner runner(config);
    std::string error;
    ASSERT_EQ(runner.Start(error), kHostOk) << error;
    ASSERT_EQ(runner.Shutdown(error), kHostOk) << error;
  }
  CESet set;
  ASSERT_TRUE(set.Load(saved)) << set.GetLastError();
  ASSERT_NE(set.GetCol("Host"), nullptr);
  const CESetObj* host = set.GetCol("Host")->GetObj("Serial");
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(host->GetItems().at(0).key, "CommsEnabled");
  EXPECT_EQ(host->GetItems().at(0).value, "1");
  std::vector<std::string> objects;
  for (const auto& obj : set.GetCol("SComm")->GetObjs()) objects.push_back(obj->GetName());
  EXPECT_EQ(objects, (std::vector<std::string>{"Port01", "Port02", "ZephraPorts", "ZepPort01:Serial00",
                                               "ZepPort01:Serial01", "ZepPort02:Serial00", "ZepPort02:Serial01",
                                               "ZepPort03:Serial00", "ZepPort03:Serial01", "ZepPort04:Serial00",
                                               "ZepPort04:Serial01"}));

  // Loaded again (the COM numbers mapped the same), the lines open with the
  // same settings; a further line from the command line comes after them,
  // and the command line overrides a loaded line.
  HostConfig config;
  config.comPaths = {{1, a.SlavePath()}, {2, b.SlavePath()}, {3, c.SlavePath()}};
  config.settings = saved;
  config.Line(3).decode = "GPGGA";
  config.Line(2).baud = 19200;
  config.records = dir / "records2.jsonl";
  config.save = dir / "again.xml";
  RunningHost host2(config);
  ASSERT_EQ(host2.Start(), kHostOk) << host2.error;
  CSComm& window = *host2.runner.Window();
  ASSERT_EQ(window.GetLineCount(), 3u);
  EXPECT_TRUE(window.CommsEnabled());
  const CSPort& one = *window.GetLine(0);
  const CSPort& two = *window.GetLine(1);
  const CSPort& three = *window.GetLine(2);
  EXPECT_TRUE(one.IsOpen());
  EXPECT_EQ(one.m_commPort, 1);
  EXPECT_EQ(one.m_dcb.BaudRate, 4800u);
  EXPECT_EQ(one.m_port.m_decode, CEComm::FindDecode("GPGGA")->m_index);
  EXPECT_TRUE(two.IsOpen());
  EXPECT_EQ(two.m_port.m_decode, CEComm::FindDecode("ZDA")->m_index);
  EXPECT_EQ(two.m_port.m_syncChar, 13);
  EXPECT_EQ(two.m_dcb.BaudRate, 19200u);
  EXPECT_TRUE(three.IsOpen());
  EXPECT_EQ(three.m_commPort, 3);
  a.Write(kGgaLine);
  ASSERT_TRUE(WaitUntil([&] { return ReadJsonLines(config.records).size() >= 2; }));
  ASSERT_EQ(host2.Shutdown(), kHostOk) << host2.error;
}

// COM6 on the pty, encoding with the test target encoder the texts read from targets.
HostConfig TargetLineConfig(const PtyPair& pty, const TempDir& dir, const std::string& targets) {
  RegisterTestEncoder("Test VKRTAR", RuntimeClassOf<TestTargetEncoder>());
  HostConfig config;
  config.comPaths = {{6, pty.SlavePath()}};
  config.Line(6).encode = "Test VKRTAR";
  config.enable = true;
  config.triggerHz = 100;
  config.records = dir / "records.jsonl";
  config.targets = targets;
  return config;
}

TEST(HostRunner, TargetTextsFromAFifoReachTheEncodingLine) {
  TempDir dir;
  PtyPair pty;
  CEComm keeper;  // keeps the registries, and the test encoder in them
  const std::string fifo = dir / "targets";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  RunningHost host(TargetLineConfig(pty, dir, fifo));
  ASSERT_EQ(host.Start(), kHostOk) << host.error;
  EXPECT_EQ(host.runner.Window()->m_taskOutput, 1);

  // Two writers in turn: the FIFO is read across both.
  for (const std::string text : {"$PVKRTAR,1\r\n$PVKRTAR,2\n", "$PVKRTAR,3\n"}) {
    const int fd = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
  }
  EXPECT_EQ(pty.Read(34), "$PVKRTAR,1\r\n$PVKRTAR,2\n$PVKRTAR,3\n");
  ASSERT_EQ(host.Shutdown(), kHostOk);
  CTask::RemoveAll();
}

TEST(HostRunner, TargetTextsFromAFileEndWithALineFeed) {
  TempDir dir;
  PtyPair pty;
  CEComm keeper;
  const std::string file = dir / "targets.txt";
  std::ofstream(file) << "A1\nA2";
  RunningHost host(TargetLineConfig(pty, dir, file));
  ASSERT_EQ(host.Start(), kHostOk) << host.error;
  EXPECT_EQ(pty.Read(6), "A1\nA2\n");
  ASSERT_EQ(host.Shutdown(), kHostOk);
  CTask::RemoveAll();
}

TEST(HostRunner, StopEndsARunWithoutDuration) {
  TempDir dir;
  HostConfig config;
  config.records = dir / "records.jsonl";
  RunningHost host(config);
  ASSERT_EQ(host.Start(), kHostOk);
  ASSERT_TRUE(WaitUntil([&] { return host.runner.Triggers() >= 2; }));
  host.Stop();
  EXPECT_FALSE(host.thread.joinable());
  EXPECT_EQ(host.Shutdown(), kHostOk);
}

namespace {

// A window any station can name: it logs what the host does to it, in order.
class ProbeWnd : public CNyxWnd {
  NYX_DECLARE_DYNCREATE(ProbeWnd)
 public:
  ProbeWnd() {
    Log("create");
    Join(s_infoRx, this);
    Join(s_trigRx, this);
    Join(s_pollRx, this);
  }
  ~ProbeWnd() override {
    LeaveReceiverLists();
    Log("destroy");
  }
  void SetOption(const std::string& key, const std::string& value) override {
    CNyxWnd::SetOption(key, value);
    Log("option " + key + "=" + value);
  }
  void Settings(CESetObj& obj) override {
    obj.Item("Count", m_count);
    Log(std::string(obj.IsLoading() ? "load" : "store") + " Count=" + std::to_string(m_count));
  }
  void SetupCtrls() override {
    ClearCtrls();
    InsCtrl(kCtrlValue, 60, &m_level, "Level")->SetCallback([this] { Log("Level=" + std::to_string(m_level)); });
    Log("panel");
  }
  void OnTrigger(double, double) override {
    if (!m_triggered) Log("trigger");
    m_triggered = true;
    m_level = 8;  // the operator's later entry
  }
  void OnPoll(double) override {
    if (++m_polls == 1) Log("poll");
  }
  void OnInfoMsg(int kind, void*) override {
    if (kind == kInfoShutdown) Log("info 104");
  }

  static std::vector<std::string> s_log;
  int m_count = 0;
  int m_level = 0;
  int m_polls = 0;
  bool m_triggered = false;

 private:
  void Log(const std::string& text) { s_log.push_back(GetName() + ": " + text); }
};
std::vector<std::string> ProbeWnd::s_log;
NYX_IMPLEMENT_DYNCREATE(ProbeWnd, CNyxWnd)

}  // namespace

TEST(HostRunner, StationWindowsStartAndEndInOrder) {
  TempDir dir;
  const std::string station = dir / "station.xml";
  std::ofstream(station) << R"(<NyxSettings version="1">
  <Col name="Station"><Obj name="Host"><Item key="TriggerHz" type="double">50</Item>
    <Item key="PollHz" type="double">20</Item></Obj></Col>
  <Col name="Windows"><Obj name="Serial" text="CSComm"/>
    <Obj name="Probe" text="ProbeWnd"><Item key="A" type="string">1</Item><Item key="B" type="string">two</Item></Obj>
  </Col>
  <Col name="Controls"><Obj name="Probe"><Item key="Level" type="string">7</Item></Obj></Col>
  <Col name="Host"><Obj name="Probe"><Item key="Count" type="int">5</Item></Obj></Col>
</NyxSettings>)";
  ProbeWnd::s_log.clear();
  HostConfig config;
  config.settings = station;
  config.save = dir / "saved.xml";
  config.records = dir / "records.jsonl";
  config.duration = 0.3;
  HostRunner runner(config);
  std::string error;
  ASSERT_EQ(runner.Start(error), kHostOk) << error;
  ASSERT_EQ(runner.Windows().size(), 2u);
  EXPECT_EQ(runner.Windows()[1]->GetName(), "Probe");
  EXPECT_NE(runner.Window(), nullptr);
  runner.Run();
  EXPECT_GE(runner.Polls(), 3u);
  EXPECT_LE(runner.Polls(), 8u);
  EXPECT_GE(runner.Triggers(), 8u);
  ASSERT_EQ(runner.Shutdown(error), kHostOk) << error;

  // Name first, then the options; settings before the panel; the panel's
  // entries once it exists; info 104 and the settings stored before the end.
  const std::vector<std::string> expected = {
      ": create",          "Probe: option Name=Probe", "Probe: option A=1", "Probe: option B=two",
      "Probe: load Count=5", "Probe: panel",            "Probe: Level=7",    "Probe: trigger",
      "Probe: poll",        "Probe: info 104",          "Probe: store Count=5", "Probe: destroy",
  };
  EXPECT_EQ(ProbeWnd::s_log, expected);

  CESet saved;
  ASSERT_TRUE(saved.Load(config.save)) << saved.GetLastError();
  const CESetObj* probe = saved.GetCol("Windows")->GetObj("Probe");
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe->GetText(), "ProbeWnd");
  ASSERT_EQ(probe->GetItems().size(), 2u);
  EXPECT_EQ(probe->GetItems()[1].value, "two");
  // The entry as the panel holds it at the end.
  EXPECT_EQ(saved.GetCol("Controls")->GetObj("Probe")->GetItems().at(0).value, "8");
  EXPECT_EQ(saved.GetCol("Host")->GetObj("Probe")->GetItems().at(0).value, "5");
  EXPECT_EQ(saved.GetCol("Station")->GetObj("Host")->GetItems().at(1).value, "20");
}

TEST(HostRunner, UdpControllerReceivesStallPingsOnItsPort) {
  TempDir dir;
  CUdpSocket hold;
  ASSERT_EQ(hold.Open(0), 0);
  const int port = hold.LocalPort();
  hold.Close();
  HostConfig config;
  config.udp.host = "127.0.0.1";
  config.udp.dstPort = port;
  config.udp.enable = true;
  config.records = dir / "records.jsonl";
  config.events = dir / "events.jsonl";
  const std::string texts = dir / "texts.txt";
  std::ofstream(texts) << "Sonar is pinging\n";
  config.udp.texts = texts;
  RunningHost host(config);
  ASSERT_EQ(host.Start(), kHostOk) << host.error;
  CUDPController* udp = host.runner.Udp();
  ASSERT_NE(udp, nullptr);
  EXPECT_EQ(udp->GetName(), "UDP");
  EXPECT_EQ(udp->m_bEnableUDP, 1);
  EXPECT_EQ(udp->m_pLink->GetEndpoint().dstPort, port);
  EXPECT_EQ(udp->m_pLink->GetEndpoint().srcPort, 52904);

  // Pings that arrive while the controller sends its text are lost, as on
  // the real link: the peer keeps sending until one gets through.
  StallPingPeer peer("127.0.0.1", port, 0ms, 50ms);
  peer.Start();
  ASSERT_TRUE(WaitUntil([&] { return !ReadJsonLines(config.records).empty(); }));
  peer.Stop();
  ASSERT_EQ(host.Shutdown(), kHostOk) << host.error;
  const auto records = ReadJsonLines(config.records);
  ASSERT_GE(records.size(), 1u);
  EXPECT_EQ(records[0]["class"], "CSnsStreamStallPing");
  // The first that got through: a stall or a go-on.
  const std::string text = records[0]["text"];
  EXPECT_TRUE(text == "$PVKRSTP,1*55" || text == "$PVKRSTP,0*54") << text;
  EXPECT_EQ(records[0]["flag_a"], text == "$PVKRSTP,1*55" ? 1 : 0);
  std::vector<nlohmann::json> infos;
  for (const auto& event : ReadJsonLines(config.events)) {
    if (event["report"] == "info") infos.push_back(event);
  }
  // Ping on demand as ticked, the pings, and the end; the text on its way out is not the host's.
  ASSERT_EQ(infos.size(), records.size() + 2);
  EXPECT_EQ(infos.front(), nlohmann::json::parse(R"({"report":"info","kind":12005,"value":0})"));
  for (std::size_t i = 1; i + 1 < infos.size(); ++i) {
    EXPECT_EQ(infos[i], nlohmann::json::parse(R"({"report":"info","kind":12003})"));
  }
  EXPECT_EQ(infos.back(), nlohmann::json::parse(R"({"report":"info","kind":104})"));
}

TEST(HostRunner, StatusShowsEveryLineAndTheAlarms) {
  TempDir dir;
  PtyPair gps, quiet;
  HostConfig config;
  config.comPaths = {{1, gps.SlavePath()}, {2, quiet.SlavePath()}};
  config.Line(1).decode = "GPGGA";
  config.Line(2).decode = "ZDA";
  config.enable = true;
  config.records = dir / "records.jsonl";
  RunningHost host(config);
  ASSERT_EQ(host.Start(), kHostOk) << host.error;
  gps.Write(kGgaLine);
  StationStatus status;
  ASSERT_TRUE(WaitUntil([&] {
    status = host.runner.Status();
    return status.ports.size() == 2 && status.ports[0].light == 2 && status.alarms.size() == 1;
  }));
  const PortStatus& port = status.ports[0];
  EXPECT_EQ(port.window, "Serial");
  EXPECT_EQ(port.name, "COM1");
  EXPECT_EQ(port.device, gps.SlavePath());
  EXPECT_EQ(port.decoder, "GPGGA");
  ASSERT_TRUE(port.age.has_value());
  EXPECT_LT(*port.age, 1.0);
  EXPECT_EQ(port.last, std::string(kGgaLine, std::strlen(kGgaLine) - 1));
  EXPECT_EQ(status.ports[1].light, 3);
  EXPECT_FALSE(status.ports[1].age.has_value());
  // The silent line's data age; the GPS line's ended with its sentence.
  ASSERT_EQ(status.alarms.size(), 1u);
  EXPECT_EQ(status.alarms[0].id, 3011);
  EXPECT_EQ(status.alarms[0].level, 3);
  const std::vector<std::pair<int, unsigned long>> counts = {{0, 1}, {1, 1}};
  ASSERT_EQ(status.records.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(status.records[i].kind, counts[i].first);
    EXPECT_EQ(status.records[i].count, counts[i].second);
  }
  EXPECT_EQ(status.records[1].className, "CSnsrPos");
  ASSERT_EQ(host.Shutdown(), kHostOk);
}

TEST(HostRunner, SettingsFromBeforeStationsStillRun) {
  TempDir dir;
  PtyPair gps;
  // As nyxhost wrote them before it kept stations: the serial window's own
  // settings and its lines, nothing else.
  const std::string old = dir / "old.xml";
  std::ofstream(old) << R"(<NyxSettings version="1">
  <Col name="Host"><Obj name="Serial" text=""><Item key="CommsEnabled" type="int">1</Item></Obj></Col>
  <Col name="SComm"><Obj name="Port01" text="No Data"><Item key="CommPort" type="int">1</Item>
    <Item key="Decode" type="int">1</Item></Obj></Col>
</NyxSettings>)";
  HostConfig config;
  config.settings = old;
  config.comPaths = {{1, gps.SlavePath()}};
  config.records = dir / "records.jsonl";
  config.save = dir / "new.xml";
  RunningHost host(config);
  ASSERT_EQ(host.Start(), kHostOk) << host.error;
  ASSERT_EQ(host.runner.Windows().size(), 1u);
  ASSERT_NE(host.runner.Window(), nullptr);
  EXPECT_EQ(host.runner.Window()->GetName(), "Serial");
  EXPECT_TRUE(host.runner.Window()->CommsEnabled());
  EXPECT_EQ(host.runner.GetStation().triggerHz, 20.0);
  gps.Write(kGgaLine);
  ASSERT_TRUE(WaitUntil([&] { return ReadJsonLines(config.records).size() >= 2; }));
  ASSERT_EQ(host.Shutdown(), kHostOk) << host.error;
  // Saved again, the file keeps the station it ran.
  CESet saved;
  ASSERT_TRUE(saved.Load(config.save)) << saved.GetLastError();
  const CESetObj* serial = saved.GetCol("Windows")->GetObj("Serial");
  ASSERT_NE(serial, nullptr);
  EXPECT_EQ(serial->GetText(), "CSComm");
  EXPECT_EQ(serial->GetItems().at(0).key, "nPorts");
  EXPECT_EQ(serial->GetItems().at(0).value, "1");
}

TEST(HostRunner, ExampleStationRunsItsTwoSensors) {
  TempDir dir;
  PtyPair gps, motion;
  HostConfig config;
  config.settings = std::string(NYX_SOURCE_DIR) + "/examples/station.xml";
  // The devices of the example's udev names, played here.
  config.comPaths = {{1, gps.SlavePath()}, {2, motion.SlavePath()}};
  config.records = dir / "records.jsonl";
  RunningHost host(config);
  ASSERT_EQ(host.Start(), kHostOk) << host.error;
  CSComm& window = *host.runner.Window();
  ASSERT_EQ(window.GetLineCount(), 2u);
  EXPECT_TRUE(window.CommsEnabled());
  EXPECT_EQ(window.m_nBanks, 8);
  EXPECT_EQ(window.GetLine(0)->m_dcb.BaudRate, 4800u);
  EXPECT_EQ(window.GetLine(1)->m_dcb.BaudRate, 19200u);
  EXPECT_EQ(window.GetLine(1)->m_port.m_alarmAge, 1.0);
  gps.Write(kGgaLine);
  motion.Write(":00A0F0 -0150F 0123  0456\r\n$HEHDT,123.4,T*2B\r\n");
  ASSERT_TRUE(WaitUntil([&] { return ReadJsonLines(config.records).size() >= 6; }));
  ASSERT_EQ(host.Shutdown(), kHostOk);
  std::multiset<int> kinds;
  for (const auto& record : ReadJsonLines(config.records)) kinds.insert(record["kind"].get<int>());
  EXPECT_EQ(kinds, (std::multiset<int>{0, 0, 0, 1, 2, 3}));
}

TEST(HostRunner, OutputFilesAreAppendedTo) {
  TempDir dir;
  PtyPair gps;
  HostConfig config;
  config.comPaths = {{1, gps.SlavePath()}};
  config.Line(1).decode = "GPGGA";
  config.enable = true;
  config.records = dir / "records.jsonl";
  config.events = dir / "events.jsonl";
  for (std::size_t run = 1; run <= 2; ++run) {
    RunningHost host(config);
    ASSERT_EQ(host.Start(), kHostOk) << host.error;
    gps.Write(kGgaLine);
    ASSERT_TRUE(WaitUntil([&] { return ReadJsonLines(config.records).size() >= 2 * run; }));
    ASSERT_EQ(host.Shutdown(), kHostOk);
  }
  // A restarted station keeps what it wrote before.
  EXPECT_EQ(ReadJsonLines(config.records).size(), 4u);
  int ends = 0;
  for (const auto& event : ReadJsonLines(config.events)) ends += event == nlohmann::json::parse(R"({"report":"info","kind":104})");
  EXPECT_EQ(ends, 2);
}
