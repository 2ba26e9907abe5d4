// nyxhost as a user runs it: lines on pseudo-terminals, records on standard
// output stamped in host time, one-line option errors, settings saved at an
// orderly end on SIGINT, SIGTERM and SIGHUP, the demo and simulated hubs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <fstream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "host/host_time.h"
#include "nyxhost/demo_station.h"
#include "nyxhost/host_options.h"
#include "sonar/hub_simulator.h"
#include "support/nyxdecode_run.h"
#include "support/pty_pair.h"
#include "support/sentences.h"
#include "support/temp_files.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// One run of the program with its output in files.
class NyxHost {
 public:
  // Runs in the directory cwd when given.
  explicit NyxHost(std::vector<std::string> args, const std::string& cwd = "")
      : m_out(TempPath("out")), m_err(TempPath("err")) {
    std::vector<std::string> argv = {NYXHOST_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    if (posix_spawn(&m_pid, NYXHOST_PATH, &actions, nullptr, pointers.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~NyxHost() {
    if (m_pid > 0 && Wait(0ms) < -1) {
      ::kill(m_pid, SIGKILL);
      Wait(5s);
    }
    fs::remove(m_out);
    fs::remove(m_err);
  }

  // The exit code, -1 for a death by signal, -2 while still running.
  int Wait(std::chrono::milliseconds timeout = 10s) {
    WaitUntil([&] {
      int status = 0;
      if (m_exit > -2 || ::waitpid(m_pid, &status, WNOHANG) != m_pid) return m_exit > -2;
      m_exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return true;
    }, timeout);
    return m_exit;
  }
  void Signal(int signal) const { ::kill(m_pid, signal); }
  // True once the program blocks SIGINT, which it does first thing.
  bool BlocksInterrupt() const {
    std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("SigBlk:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) & (1ull << (SIGINT - 1))) != 0;
    }
    return false;
  }
  std::string Out() const { return ReadFile(m_out); }
  std::string Err() const { return ReadFile(m_err); }

 private:
  pid_t m_pid = -1;
  int m_exit = -2;
  std::string m_out, m_err;
};

// True once a program holds the line's device for itself.
bool Held(const PtyPair& pty) {
  const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return true;  // refused for exclusive use
  const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  ::close(fd);
  return locked;
}

// Parses args in-process: the exit code, -1 to run on.
int Parse(std::vector<std::string> args, HostCommandLine& out, std::string& help, std::string& error) {
  std::vector<const char*> argv = {"nyxhost"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  std::ostringstream helpOut, errorOut;
  const int code = ParseHostCommandLine(static_cast<int>(argv.size()), argv.data(), out, helpOut, errorOut);
  help = helpOut.str();
  error = errorOut.str();
  return code;
}

bool OneLine(const std::string& error, const std::string& program = "nyxhost") {
  return error.rfind(program + ": ", 0) == 0 && std::count(error.begin(), error.end(), '\n') == 1;
}

}  // namespace

// Each row of refused_options.txt: in-process for nyxhost's parser, as a
// process for what nyxhost finds at start-up and for nyxdecode.
TEST(NyxHost, OptionErrorsPrintOneLineAndExitTwo) {
  std::ifstream table(std::string(NYX_SOURCE_DIR) + "/tests/data/apps/refused_options.txt");
  std::size_t rows = 0;
  std::string help, error;
  for (std::string row; std::getline(table, row);) {
    if (row.empty() || row[0] == '#') continue;
    std::vector<std::string> fields;
    std::istringstream split(row);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    const std::vector<std::string> args(fields.begin() + 2, fields.end());
    const bool nyxdecode = fields[0].rfind("nyxdecode", 0) == 0;
    if (fields[0] == "parse") {
      HostCommandLine out;
      EXPECT_EQ(Parse(args, out, help, error), kHostOptionError) << row;
    } else if (fields[0] == "run") {
      NyxHost host(args);
      EXPECT_EQ(host.Wait(), 2) << row;
      EXPECT_TRUE(host.Out().empty()) << row;
      error = host.Err();
    } else {
      std::string line;
      for (const std::string& arg : args) line += " " + arg;
      const NyxDecodeOutput result = RunNyxDecode(line, kGgaLine, Input::Stdin);
      EXPECT_EQ(result.exitCode, fields[0] == "nyxdecode" ? 2 : 1) << row;
      EXPECT_TRUE(result.rawLines.empty()) << row;
      error = result.err;
    }
    EXPECT_TRUE(OneLine(error, nyxdecode ? "nyxdecode" : "nyxhost")) << error;
    EXPECT_NE(error.find(fields[1]), std::string::npos) << row << " -> " << error;
    ++rows;
  }
  EXPECT_GE(rows, 46u);
  // Every option's entry in the help names its default.
  HostCommandLine out;
  ASSERT_EQ(Parse({"--help"}, out, help, error), kHostOk);
  std::istringstream lines(help);
  std::vector<std::string> entries;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("  --", 0) == 0) {
      entries.push_back(line);
    } else if (line.rfind("   ", 0) == 0 && !entries.empty()) {
      entries.back() += line;
    }
  }
  EXPECT_GE(entries.size(), 39u);
  for (const std::string& entry : entries) EXPECT_NE(entry.find("default"), std::string::npos) << entry;
  // Options of one COM number make one line, in the order first named.
  ASSERT_EQ(Parse({"--com", "3=/dev/ttyUSB0", "--decode", "2=GPGGA + ZDA", "--encode", "2=1", "--baud", "2=115200",
                   "--sync-char", "2=<CR>", "--panel", "0.0.0.0:8080", "--panel-token", "t", "--msgbox-answer", "no"},
                  out, help, error),
            -1)
      << error;
  EXPECT_EQ(out.config.comPaths.at(3), "/dev/ttyUSB0");
  ASSERT_EQ(out.config.lines.size(), 1u);
  const HostLineConfig& line = out.config.lines[0];
  EXPECT_EQ(std::tie(line.com, line.decode, line.encode, line.baud, line.syncChar),
            std::make_tuple(2, "GPGGA + ZDA", "1", 115200u, "<CR>"));
  EXPECT_EQ(out.panel.value_or(PanelAddress{}).port, 8080);
  EXPECT_FALSE(out.config.msgBoxYes);
}

TEST(NyxHost, SignalsEndTheRunInOrderAndSaveTheSettings) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    PtyPair pty;
    TempDir dir("signal");
    // COM3's device is missing: reported, and the host runs on.
    NyxHost host({"--com", "2=" + pty.SlavePath(), "--decode", "2=GPGGA", "--baud", "2=4800", "--enable", "--save",
                  dir / "saved.xml", "--events", dir / "events.jsonl", "--com", "3=/nonexistent/ttyNYX",
                  "--decode", "3=GPGGA"});
    ASSERT_TRUE(WaitUntil([&] { return Held(pty); }, 5s));
    std::this_thread::sleep_for(100ms);
    const auto sent = std::chrono::steady_clock::now();
    host.Signal(signal);
    ASSERT_EQ(host.Wait(), 0) << host.Err();
    EXPECT_LT(std::chrono::steady_clock::now() - sent, 1s);
    EXPECT_FALSE(Held(pty));
    EXPECT_NE(host.Err().find("alarm 99999 [1]: Unable to open COM3"), std::string::npos) << host.Err();
    EXPECT_NE(host.Err().find("nyxhost: COM3 (/nonexistent/ttyNYX): No such file"), std::string::npos) << host.Err();
    const auto lines = ReadJsonLines(dir / "events.jsonl");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), nlohmann::json::parse(R"({"report":"info","kind":104})"));
    const std::string saved = ReadFile(dir / "saved.xml");
    EXPECT_NE(saved.find(R"(<Item key="CommPort" type="int">2</Item>)"), std::string::npos) << saved;
    EXPECT_NE(saved.find(R"(<Item key="DCB_Baud" type="uint">4800</Item>)"), std::string::npos) << saved;
  }
}

TEST(NyxHost, DemoRecordsEveryKindAndTurnsEveryPortGreen) {
  TempDir dir("demo");
  // Six seconds show what a longer run shows: every port green within five,
  // every kind of record the sensors make, and the first stall ping.
  NyxHost host({"--demo", "--duration", "6", "--status", "status.jsonl"}, dir.Path());
  ASSERT_EQ(host.Wait(20s), 0) << host.Err();
  // Standard output is no terminal: the records went to the demo's file, nothing else there.
  EXPECT_EQ(host.Out(), "");
  std::set<int> kinds;
  for (const auto& record : ReadJsonLines((dir / DemoStation::kRecords))) kinds.insert(record["kind"].get<int>());
  EXPECT_EQ(kinds, (std::set<int>{0, 1, 2, 3, 6, 7, 15, 18, 12003}));
  EXPECT_NE(host.Err().find(" records in "), std::string::npos) << host.Err();

  std::optional<double> allGreen;
  for (const auto& status : ReadJsonLines((dir / "status.jsonl"))) {
    // And the sonar head's GPS port and the hub's two ports.
    ASSERT_EQ(status["ports"].size(), DemoStation::Sensors().size() + 1 + DemoStation::HubPorts().size());
    bool green = true;
    for (const auto& port : status["ports"]) green = green && port["light"] == "green";
    if (green && !allGreen) allGreen = status["elapsed"].get<double>();
    if (allGreen) {
      ASSERT_TRUE(green) << status.dump();  // and they stay green
    }
  }
  ASSERT_TRUE(allGreen.has_value());
  EXPECT_LE(*allGreen, 5.1);
}

TEST(NyxHost, InterruptAtAnyMomentEndsWithinASecond) {
  TempDir dir("interrupt");
  // Counted from the moment the program takes the signal over, its first
  // step; before that the signal ends the process as it ends any, with
  // nothing started. The early moments fall into the start-up.
  for (const int moment : {0, 10, 150, 1800}) {
    NyxHost host({"--demo", "--records", dir / "records.jsonl", "--status", dir / "status.jsonl"});
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!host.BlocksInterrupt() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(100us);
    ASSERT_TRUE(host.BlocksInterrupt());
    std::this_thread::sleep_for(std::chrono::milliseconds(moment));
    const auto sent = std::chrono::steady_clock::now();
    host.Signal(SIGINT);
    EXPECT_EQ(host.Wait(5s), 0) << moment << " ms: " << host.Err();
    EXPECT_LT(std::chrono::steady_clock::now() - sent, 1s) << moment << " ms";
  }
}

// Records stamped in host time at their arrival; then the adapter is pulled
// and comes back under the same name on another device.
TEST(NyxHost, RecordsInHostTimeAndALineWhoseLinkMovesResumesWithoutARestart) {
  TempDir dir("relink");
  const std::string link = dir / "ttyNYXLINK";
  auto first = std::make_unique<PtyPair>();
  fs::create_symlink(first->SlavePath(), link);
  NyxHost host({"--com", "1=" + link, "--decode", "1=GPGGA + ZDA", "--enable", "--records", "-", "--duration", "30"});
  ASSERT_TRUE(WaitUntil([&] { return Held(*first); }, 5s));
  std::vector<std::pair<double, double>> windows;  // host time just before and after each write
  for (const char* sentence : {kGgaLine, kZdaLine}) {
    std::this_thread::sleep_for(100ms);
    const double before = TmSync::GetTm();
    first->Write(sentence);
    windows.emplace_back(before, TmSync::GetTm());
  }
  ASSERT_TRUE(WaitUntil([&] { return ParseJsonLines(host.Out()).size() == 4; }, 5s)) << host.Out();
  const auto records = ParseJsonLines(host.Out());
  const std::vector<std::pair<int, std::string>> expected = {
      {0, "CSnsrInf"}, {1, "CSnsrPos"}, {0, "CSnsrInf"}, {7, "CSnsrTime"}};
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i]["kind"], expected[i].first);
    EXPECT_EQ(records[i]["class"], expected[i].second);
    // Stamped when the line read it (less one character time at 9600 baud),
    // within a few milliseconds of the write.
    const auto [before, after] = windows[i / 2];
    const double time = records[i]["time"].get<double>() + 9.0 / 9600.0;
    EXPECT_GE(time, before) << i;
    EXPECT_LT(time - after, 0.01) << i;
  }
  EXPECT_EQ(records[0]["text"], std::string(kGgaLine, std::strlen(kGgaLine) - 1));
  EXPECT_EQ(records[3]["utc"], "2002-07-04T20:15:30.000Z");

  fs::remove(link);
  first.reset();
  std::this_thread::sleep_for(300ms);
  PtyPair second;
  fs::create_symlink(second.SlavePath(), link);
  const auto back = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitUntil([&] { return Held(second); }, 5s)) << host.Err();
  std::this_thread::sleep_for(100ms);
  second.Write(kGgaLine);
  ASSERT_TRUE(WaitUntil([&] { return ParseJsonLines(host.Out()).size() == 6; }, 5s)) << host.Err();
  EXPECT_LT(std::chrono::steady_clock::now() - back, 5s);
  host.Signal(SIGTERM);
  EXPECT_EQ(host.Wait(), 0) << host.Err();
}

// Two simulated hubs, hub 100's GPS and motion sensor decoded, hub 101
// falling silent 5 s in. The simulated sensors send on the machine's own
// clock at known moments: the GGA kGpsDelay after the second the ZDA names,
// the ZDA when the GGA's last byte is out, each TSS 1 sentence on its tenth
// plus kMotionPhase. Records are stamped with the start of their first byte,
// so once the hub's clock model has settled each record's host time is that
// moment.
TEST(NyxHost, SimulatedHubsTimeTheirSensorsAndLeaveTheListWhenSilent) {
  TempDir dir("hub");
  NyxHost host({"--hub-sim", "2", "--hub-sim-drop", "101@5", "--enable", "--duration", "11", "--hub-port",
                "A=GPGGA + ZDA,4800", "--hub-port", "B=TSS Std 1,9600", "--events", dir / "events.jsonl", "--status",
                dir / "status.jsonl", "--records", "-"});
  ASSERT_EQ(host.Wait(30s), 0) << host.Err();
  const auto records = ParseJsonLines(host.Out());
  ASSERT_FALSE(records.empty()) << host.Err();
  const double settled = records.front()["time"].get<double>() + 4.0;
  const double character = 10.0 / CHubSimulator::kGpsBaud;
  std::map<int, int> checked;
  for (const auto& record : records) {
    const double t = record["time"].get<double>();
    const int kind = record["kind"].get<int>();
    if (t < settled || (kind != 1 && kind != 3 && kind != 7)) continue;
    double truth = 0.0;
    if (kind == 7) {
      const double second = record["gps_time"].get<double>();
      const std::string sent = CGgaZdaSource().Sentences(static_cast<std::int64_t>(second));
      truth = second + CHubSimulator::kGpsDelay + static_cast<double>(sent.find("$GPZDA")) * character;
    } else if (kind == 1) {
      truth = std::round(t - CHubSimulator::kGpsDelay) + CHubSimulator::kGpsDelay;
    } else {
      const double phase = CHubSimulator::kMotionPhase, period = CHubSimulator::kMotionPeriod;
      truth = std::round((t - phase) / period) * period + phase;
    }
    EXPECT_NEAR(t, truth, 0.005) << record.dump();
    ++checked[kind];
  }
  EXPECT_GE(checked[1], 5);
  EXPECT_GE(checked[7], 5);
  EXPECT_GE(checked[3], 50);

  // Both hubs listed, then hub 101 gone: its line reads "No longer present".
  std::vector<std::string> lines[2];
  for (const auto& event : ReadJsonLines(dir / "events.jsonl")) {
    if (event["report"] != "status") continue;
    const int id = event["id"].get<int>();
    if (id == 1190 || id == 1191) lines[id - 1190].push_back(event["text"].get<std::string>());
  }
  ASSERT_FALSE(lines[0].empty() || lines[1].empty());
  EXPECT_NE(lines[0].back().find("ID:100"), std::string::npos) << lines[0].back();
  EXPECT_NE(lines[1].front().find("ID:101"), std::string::npos) << lines[1].front();
  EXPECT_EQ(lines[1].back(), "No longer present");

  // The status file lists the hub's ports green and, at the end, the one hub left.
  const auto statuses = ReadJsonLines(dir / "status.jsonl");
  ASSERT_FALSE(statuses.empty());
  const auto& last = statuses.back();
  ASSERT_EQ(last["hubs"].size(), 1u) << last.dump();
  EXPECT_EQ(last["hubs"][0]["id"], 100);
  EXPECT_EQ(last["hubs"][0]["selected"], true);
  std::set<std::string> green;
  for (const auto& port : last["ports"]) {
    if (port["light"] == "green") green.insert(port["name"].get<std::string>());
  }
  EXPECT_EQ(green, (std::set<std::string>{"Hub A", "Hub B"}));
}

// --enable ticks the hub window's check box: the one hub heard is not the
// selected one, so the window asks, and the answer decides.
TEST(NyxHost, TheHubWindowsQuestionIsAnsweredAsTold) {
  const struct {
    const char* answer;
    int button;
    int comms;  // the last comms enable info
  } rows[] = {{"yes", 6, 1}, {"no", 7, 0}};
  for (const auto& row : rows) {
    TempDir dir("msgbox");
    NyxHost host({"--hub-sim", "1", "--hub-id", "105", "--enable", "--duration", "0.5", "--msgbox-answer", row.answer,
                  "--events", dir / "events.jsonl", "--records", "-"});
    ASSERT_EQ(host.Wait(20s), 0) << host.Err();
    std::vector<nlohmann::json> boxes;
    int comms = -1;
    for (const auto& event : ReadJsonLines(dir / "events.jsonl")) {
      if (event["report"] == "msgbox") boxes.push_back(event);
      if (event["report"] == "info" && event["kind"] == 101) comms = event["value"].get<int>();
    }
    ASSERT_EQ(boxes.size(), 1u) << row.answer;
    EXPECT_EQ(boxes[0]["id"], 137);
    EXPECT_EQ(boxes[0]["text"], "Selected Hub is not available.\nWould you like to use the available Hub?");
    EXPECT_EQ(boxes[0]["answer"], row.button);
    EXPECT_EQ(comms, row.comms) << row.answer;
  }
}
