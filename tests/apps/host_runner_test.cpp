// The embedded host in-process: its command-line assignments, the lines it
// opens, its records and event lines, the station it saves and loads, and
// the target texts it reads from a file or a FIFO.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "comms/serial_comms.h"
#include "host/settings.h"
#include "host/task.h"
#include "nyxhost/host_runner.h"
#include "nyxhost/status_view.h"
#include "support/capture.h"
#include "support/pty_pair.h"
#include "support/sentences.h"
#include "support/temp_files.h"
#include "support/test_codecs.h"

namespace {

using namespace std::chrono_literals;
using J = nlohmann::json;

const J kEnd = J::parse(R"({"report":"info","kind":104})");

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

// A host with records (and events) in dir.
HostConfig InDir(const TempDir& dir, bool events = false) {
  HostConfig config;
  config.records = dir / "records.jsonl";
  if (events) config.events = dir / "events.jsonl";
  return config;
}

bool RecordsReach(const HostConfig& config, std::size_t n) {
  return WaitUntil([&] { return ReadJsonLines(config.records).size() >= n; });
}

// "key=value" of an object's items, in order.
std::vector<std::string> Items(const CESetObj* obj) {
  std::vector<std::string> out;
  if (obj) {
    for (const auto& item : obj->GetItems()) out.push_back(item.key + "=" + item.value);
  }
  return out;
}

}  // namespace

TEST(HostRunner, ReportsBecomeEventLines) {
  TempDir dir;
  HostConfig config = InDir(dir, true);
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
  EXPECT_EQ(ReadFile(config.events), ReadFile(std::string(NYX_SOURCE_DIR) + "/tests/data/apps/event_lines.txt"));
}

TEST(HostRunner, OptionAndFileErrorsStopTheStart) {
  TempDir dir;
  const struct {
    std::function<void(HostConfig&)> change;
    int result;
    std::string error;
  } cases[] = {
      {[](HostConfig& c) { c.Line(1).decode = "Nope"; }, kHostOptionError,
       "unknown decoder 'Nope' for COM1 (nyxdecode --list prints the names)"},
      {[](HostConfig& c) { c.Line(2).encode = "99"; }, kHostOptionError,
       "unknown encoder '99' for COM2 (nyxdecode --list prints the names)"},
      {[](HostConfig& c) { c.Line(1).syncChar = "256"; }, kHostOptionError,
       "--sync-char 1=256: give a code from 0 to 255, a name such as <CR>, or one character"},
      {[](HostConfig& c) { c.triggerHz = 0; }, kHostOptionError, "--trigger-hz must be a rate above 0"},
      {[](HostConfig& c) { c.udp.dstPort = 0; }, kHostOptionError, "--udp-dst-port must be a port from 1 to 65535, not 0"},
      {[&](HostConfig& c) {
         c.settings = dir / "bad.xml";
         std::ofstream(c.settings) << R"(<NyxSettings><Col name="Windows"><Obj name="S" text="CSerial"/></Col></NyxSettings>)";
       },
       kHostFileError, dir / "bad.xml" + ": station: window 'S': 'CSerial' is not a window class this program can create"},
      {[&](HostConfig& c) { c.udp.texts = dir / "absent.txt"; }, kHostFileError, dir / "absent.txt" + ": No such file or directory"},
      {[&](HostConfig& c) { c.records = dir / "no/such/dir"; }, kHostFileError, dir / "no/such/dir" + ": No such file or directory"},
      {[&](HostConfig& c) { c.targets = dir / "absent"; }, kHostFileError, dir / "absent" + ": No such file or directory"},
  };
  for (const auto& c : cases) {
    HostConfig config = InDir(dir);
    c.change(config);
    HostRunner runner(config);
    std::string error;
    EXPECT_EQ(runner.Start(error), c.result) << c.error;
    EXPECT_EQ(error, c.error);
    runner.Shutdown(error);
  }
  CTask::RemoveAll();
}

// Saved, loaded and saved again (the same file in one run too), the station is
// the same text; loaded, the lines open as saved, the command line adds lines
// after them and overrides what it names, and records and events are appended.
TEST(HostRunner, SavedStationLoadsTheSameAndReopensTheLines) {
  TempDir dir;
  PtyPair a, b, c;
  const std::string first = dir / "first.xml", second = dir / "second.xml";
  const HostConfig files = InDir(dir, true);
  const auto run = [&](HostConfig config, const std::string& settings, const std::string& save) {
    config.settings = settings;
    config.save = save;
    config.records = files.records;
    config.events = files.events;
    auto host = std::make_unique<RunningHost>(config);
    EXPECT_EQ(host->Start(), kHostOk) << host->error;
    return host;
  };
  HostConfig made;
  made.comPaths = {{1, a.SlavePath()}, {4, b.SlavePath()}};
  made.Line(4).decode = "GPGGA";
  made.Line(4).baud = 4800;
  made.Line(4).syncChar = "<CR>";
  made.Line(1).decode = "2";  // "GPGGA + ZDA" by its index
  made.triggerHz = 25;
  made.pollHz = 2;
  made.enable = true;
  auto host = run(made, "", first);
  ASSERT_EQ(host->runner.Window()->GetLineCount(), 2u);
  b.Write(kGgaLine);
  ASSERT_TRUE(RecordsReach(files, 2));
  ASSERT_EQ(host->Shutdown(), kHostOk);
  ASSERT_EQ(run({}, first, second)->Shutdown(), kHostOk);
  EXPECT_EQ(ReadFile(second), ReadFile(first));
  ASSERT_EQ(run({}, second, second)->Shutdown(), kHostOk);
  EXPECT_EQ(ReadFile(second), ReadFile(first));

  HostConfig more;
  more.comPaths = {{3, c.SlavePath()}};
  more.Line(3).decode = "GPGGA";
  more.Line(3).syncChar = "x";
  more.Line(1).baud = 19200;
  host = run(more, first, dir / "third.xml");  // COM4 and COM1 as the station maps them
  CSComm& window = *host->runner.Window();
  ASSERT_EQ(window.GetLineCount(), 3u);
  EXPECT_TRUE(window.CommsEnabled());
  const CSPort& four = *window.GetLine(0);  // in the order first named
  const CSPort& one = *window.GetLine(1);
  EXPECT_TRUE(four.IsOpen() && one.IsOpen() && window.GetLine(2)->IsOpen());
  EXPECT_EQ(std::tie(four.m_commPort, four.m_dcb.BaudRate, four.m_port.m_syncChar, four.m_port.m_decode),
            std::make_tuple(4, 4800u, 13, CEComm::FindDecode("GPGGA")->m_index));
  EXPECT_EQ(std::tie(one.m_commPort, one.m_port.m_decode, one.m_dcb.BaudRate), std::make_tuple(1, 2, 19200u));
  EXPECT_EQ(std::tie(window.GetLine(2)->m_commPort, window.GetLine(2)->m_port.m_syncChar), std::make_tuple(3, 'x'));
  EXPECT_EQ(host->runner.GetStation().triggerHz, 25.0);
  b.Write(kGgaLine);
  ASSERT_TRUE(RecordsReach(files, 4));
  ASSERT_EQ(host->Shutdown(), kHostOk) << host->error;
  // Pseudo-terminals refuse low latency: a status line each, before the info lines.
  auto events = ReadJsonLines(files.events);
  std::erase_if(events, [](const auto& event) { return event["report"] == "status" && event["id"] == 9060; });
  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events.front(), J::parse(R"({"report":"info","kind":101,"value":1})"));
  EXPECT_EQ(events.back(), kEnd);
  EXPECT_EQ(std::count(events.begin(), events.end(), kEnd), 4);
}

TEST(HostRunner, TargetTextsFromAFifoOrAFileReachTheEncodingLine) {
  CEComm keeper;  // fills the registries first and keeps them, with the test encoder after the built-in ones
  RegisterTestEncoder("Test VKRTAR", RuntimeClassOf<TestTargetEncoder>());
  for (const bool fifo : {true, false}) {
    TempDir dir;
    PtyPair pty;
    HostConfig config = InDir(dir);
    config.comPaths = {{6, pty.SlavePath()}};
    config.Line(6).encode = "Test VKRTAR";
    config.enable = true;
    config.triggerHz = 100;
    config.targets = dir / "targets";
    if (fifo) {
      ASSERT_EQ(::mkfifo(config.targets.c_str(), 0600), 0);
    } else {
      std::ofstream(config.targets) << "A1\nA2";
    }
    RunningHost host(config);
    ASSERT_EQ(host.Start(), kHostOk) << host.error;
    EXPECT_EQ(host.runner.Window()->m_taskOutput, 1);
    if (fifo) {
      // Two writers in turn: the FIFO is read across both.
      for (const std::string text : {"$PVKRTAR,1\r\n$PVKRTAR,2\n", "$PVKRTAR,3\n"}) {
        const int fd = ::open(config.targets.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ::close(fd);
      }
      EXPECT_EQ(pty.Read(34), "$PVKRTAR,1\r\n$PVKRTAR,2\n$PVKRTAR,3\n");
    } else {
      EXPECT_EQ(pty.Read(6), "A1\nA2\n");  // the last line gets its line feed
    }
    ASSERT_EQ(host.Shutdown(), kHostOk);
    CTask::RemoveAll();
  }
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
  HostConfig config = InDir(dir);
  config.settings = std::string(NYX_SOURCE_DIR) + "/tests/data/apps/probe_station.xml";
  ProbeWnd::s_log.clear();
  config.save = dir / "saved.xml";
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

  // The entry as the panel holds it at the end.
  CESet saved;
  ASSERT_TRUE(saved.Load(config.save)) << saved.GetLastError();
  EXPECT_EQ(Items(saved.GetCol("Controls")->GetObj("Probe")), std::vector<std::string>{"Level=8"});
  EXPECT_EQ(Items(saved.GetCol("Station")->GetObj("Host")).at(1), "PollHz=20");
}

TEST(HostRunner, SettingsFromBeforeStationsStillRun) {
  TempDir dir;
  PtyPair gps;
  // As nyxhost wrote them before it kept stations: the serial window's own
  // settings and its lines, nothing else.
  HostConfig config = InDir(dir);
  config.settings = std::string(NYX_SOURCE_DIR) + "/tests/data/apps/old_settings.xml";
  config.comPaths = {{1, gps.SlavePath()}};
  RunningHost host(config);
  ASSERT_EQ(host.Start(), kHostOk) << host.error;
  ASSERT_EQ(host.runner.Windows().size(), 1u);
  EXPECT_EQ(host.runner.Windows()[0]->GetName(), "Serial");
  EXPECT_TRUE(host.runner.Window()->CommsEnabled());
  EXPECT_EQ(host.runner.GetStation().triggerHz, 20.0);
  gps.Write(kGgaLine);
  ASSERT_TRUE(RecordsReach(config, 2));
  ASSERT_EQ(host.Shutdown(), kHostOk) << host.error;
}

// The example station with its GPS heard and its motion sensor silent, then both.
TEST(HostRunner, ExampleStationRunsItsTwoSensorsAndShowsTheirStatus) {
  TempDir dir;
  PtyPair gps, motion;
  HostConfig config = InDir(dir);
  config.settings = std::string(NYX_SOURCE_DIR) + "/examples/station.xml";
  // The devices of the example's udev names, played here.
  config.comPaths = {{1, gps.SlavePath()}, {2, motion.SlavePath()}};
  RunningHost host(config);
  ASSERT_EQ(host.Start(), kHostOk) << host.error;
  CSComm& window = *host.runner.Window();
  ASSERT_EQ(window.GetLineCount(), 2u);
  EXPECT_TRUE(window.CommsEnabled());
  EXPECT_EQ(window.m_nBanks, 8);
  EXPECT_EQ(window.GetLine(0)->m_dcb.BaudRate, 4800u);
  EXPECT_EQ(window.GetLine(1)->m_dcb.BaudRate, 19200u);
  gps.Write(kGgaLine);
  StationStatus status;
  ASSERT_TRUE(WaitUntil([&] {
    status = host.runner.Status();
    return status.ports.size() == 2 && status.ports[0].age && status.alarms.size() == 1;
  })) << StatusJsonLine(status);
  const PortStatus& port = status.ports[0];
  EXPECT_EQ(std::tie(port.window, port.name, port.device, port.decoder),
            std::make_tuple("Serial", "COM1", gps.SlavePath(), "GPGGA + ZDA"));
  EXPECT_LT(*port.age, 1.0);
  EXPECT_NE(port.last.find("$GPGGA,123519,"), std::string::npos) << port.last;
  // GGA without its ZDA: yellow.
  EXPECT_EQ(port.light, 1);
  EXPECT_EQ(status.ports[1].light, 3);
  EXPECT_FALSE(status.ports[1].age.has_value());
  // The silent line's data age, after the second its station gives it.
  EXPECT_EQ(std::tie(status.alarms[0].id, status.alarms[0].level), std::make_tuple(3011, 3));
  ASSERT_EQ(status.records.size(), 2u);
  EXPECT_EQ(std::tie(status.records[1].kind, status.records[1].count, status.records[1].className),
            std::make_tuple(1, 1ul, "CSnsrPos"));
  motion.Write(":00A0F0 -0150F 0123  0456\r\n$HEHDT,123.4,T*2B\r\n");
  ASSERT_TRUE(RecordsReach(config, 6));
  ASSERT_EQ(host.Shutdown(), kHostOk);
  std::multiset<int> kinds;
  for (const auto& record : ReadJsonLines(config.records)) kinds.insert(record["kind"].get<int>());
  EXPECT_EQ(kinds, (std::multiset<int>{0, 0, 0, 1, 2, 3}));
}
