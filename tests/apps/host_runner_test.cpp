// The embedded host in-process: its command-line assignments, the lines it
// opens, its records and event lines, the settings it saves and loads, and
// the target texts it reads from a file or a FIFO.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "comms/serial_comms.h"
#include "nyxhost/host_runner.h"
#include "host/settings.h"
#include "host/task.h"
#include "support/capture.h"
#include "support/pty_pair.h"
#include "support/test_codecs.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const char* kGga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";

class TempDir {
 public:
  TempDir() : m_path(fs::temp_directory_path() / ("nyxhost_test_" + std::to_string(::getpid()))) {
    fs::create_directories(m_path);
  }
  ~TempDir() { fs::remove_all(m_path); }
  std::string operator/(const std::string& name) const { return (m_path / name).string(); }

 private:
  fs::path m_path;
};

std::vector<nlohmann::json> JsonLines(const std::string& path) {
  std::vector<nlohmann::json> out;
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) out.push_back(nlohmann::json::parse(line));
  return out;
}

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

  gps.Write(kGga);
  depth.Write("$GPGGA,000001,0100.000,S,00200.000,W,1,04,1.0,0.0,M,0.0,M,,*00\r");
  ASSERT_TRUE(WaitUntil([&] { return JsonLines(config.records).size() >= 4; }));
  ASSERT_EQ(host.Shutdown(), kHostOk) << host.error;
  const auto records = JsonLines(config.records);
  ASSERT_EQ(records.size(), 4u);
  int positions = 0;
  for (const auto& record : records) {
    if (record["kind"] == 1) {
      ++positions;
      EXPECT_EQ(record["class"], "CSnsrPos");
    }
  }
  EXPECT_EQ(positions, 2);
  const auto events = JsonLines(config.events);
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
  for (const auto& event : JsonLines(config.events)) {
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
  a.Write(kGga);
  ASSERT_TRUE(WaitUntil([&] { return JsonLines(config.records).size() >= 2; }));
  ASSERT_EQ(host2.Shutdown(), kHostOk) << host2.error;
}

TEST(HostRunner, TargetTextsFromAFifoReachTheEncodingLine) {
  TempDir dir;
  PtyPair pty;
  CEComm keeper;  // keeps the registries, and the test encoder in them
  RegisterTestEncoder("Test VKRTAR", RuntimeClassOf<TestTargetEncoder>());
  const std::string fifo = dir / "targets";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  HostConfig config;
  config.comPaths = {{6, pty.SlavePath()}};
  config.Line(6).encode = "Test VKRTAR";
  config.enable = true;
  config.triggerHz = 100;
  config.records = dir / "records.jsonl";
  config.targets = fifo;
  RunningHost host(config);
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
  RegisterTestEncoder("Test VKRTAR", RuntimeClassOf<TestTargetEncoder>());
  const std::string file = dir / "targets.txt";
  std::ofstream(file) << "A1\nA2";
  HostConfig config;
  config.comPaths = {{6, pty.SlavePath()}};
  config.Line(6).encode = "Test VKRTAR";
  config.enable = true;
  config.triggerHz = 100;
  config.records = dir / "records.jsonl";
  config.targets = file;
  RunningHost host(config);
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
