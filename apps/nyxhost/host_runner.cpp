#include "nyxhost/host_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <vector>

#include <nlohmann/json.hpp>

#include "comms/serial_comms.h"
#include "host/nyx_wnd.h"
#include "host/records.h"
#include "host/report.h"
#include "host/settings.h"
#include "host/task.h"
#include "net/text_feeder.h"
#include "net/udp_controller.h"
#include "nyxhost/sonar_sim_option.h"
#include "port/com_port_map.h"
#include "time/pc_clock.h"

namespace {

using Json = nlohmann::ordered_json;

std::string Dump(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

bool ParseInt(const std::string& text, long long& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// "N=VALUE" with N a COM number.
bool SplitAssignment(const std::string& option, const std::string& text, int& com, std::string& value,
                     std::string& error) {
  const auto equals = text.find('=');
  long long n = 0;
  if (equals == std::string::npos || !ParseInt(text.substr(0, equals), n) || n < 1 || n > 9999) {
    error = option + " takes N=VALUE with N a COM number from 1, not '" + text + "'";
    return false;
  }
  com = static_cast<int>(n);
  value = text.substr(equals + 1);
  if (value.empty()) {
    error = option + " " + text + ": the value is missing";
    return false;
  }
  return true;
}

std::string ComText(int com, const std::string& path) { return "COM" + std::to_string(com) + " (" + path + ")"; }

// Integers that travel as an info message's data, and the one that travels by pointer.
bool InfoCarriesInteger(int kind) {
  return kind == kInfoSonarActive || kind == kInfoCommsEnable || kind == kInfoPingOnDemand || kind == kInfoTriggerPing;
}

// A port's light, rate, age and last message; the caller names it.
PortStatus PortStatusOf(const CPort& port, double now) {
  PortStatus status;
  // By the registry's names, which are the ones the operator gives.
  if (port.m_pDecode) {
    const CDecodeType* type = CEComm::FindDecode(std::to_string(port.m_decode));
    status.decoder = type ? type->m_name : port.m_pDecode->m_name;
  } else if (port.m_pEncode) {
    const CEncodeType* type = CEComm::FindEncode(std::to_string(port.m_encode));
    status.decoder = "out: " + (type ? type->m_name : port.m_pEncode->m_name);
  }
  status.light = port.m_status;
  status.hz = port.m_hz;
  // As of now rather than of the last trigger, which may not have aged a fresh message yet.
  if (port.m_lastTime > 0.0) status.age = std::max(0.0, now - port.m_lastTime);
  status.last = port.m_lastMsg;
  return status;
}

}  // namespace

// One output file (or standard output) written a line at a time from any thread.
class HostRunner::Output {
 public:
  Output(std::FILE* file, bool owned) : m_file(file), m_owned(owned) {}
  ~Output() {
    if (m_owned) std::fclose(m_file);
  }
  void WriteLine(const std::string& line) {
    std::lock_guard guard(m_lock);
    if (m_failed) return;
    std::fwrite(line.data(), 1, line.size(), m_file);
    if (std::fputc('\n', m_file) == EOF) m_failed = true;
  }
  void Flush() {
    std::lock_guard guard(m_lock);
    if (!m_failed && std::fflush(m_file) != 0) m_failed = true;
  }
  bool Failed() {
    std::lock_guard guard(m_lock);
    return m_failed || std::ferror(m_file);
  }

 private:
  std::mutex m_lock;
  std::FILE* m_file;
  bool m_owned;
  bool m_failed = false;
};

// Records per kind, counted as they reach the host.
class RecordTally {
 public:
  void Count(int kind, const CSnsr& record) {
    std::lock_guard guard(m_lock);
    auto& [className, count] = m_counts[kind];
    if (className.empty()) className = record.GetRuntimeClass()->m_lpszClassName;
    ++count;
  }
  std::vector<RecordCount> Counts() const {
    std::lock_guard guard(m_lock);
    std::vector<RecordCount> out;
    for (const auto& [kind, entry] : m_counts) out.push_back(RecordCount{kind, entry.first, entry.second});
    return out;
  }

 private:
  mutable std::mutex m_lock;
  std::map<int, std::pair<std::string, unsigned long>> m_counts;
};

// The host's receiver window: every sensor record and info message the
// windows hand to the host.
class HostRunner::Receiver : public CNyxWnd {
 public:
  Receiver(std::shared_ptr<Output> records, std::shared_ptr<Output> events, std::shared_ptr<RecordTally> tally)
      : m_records(std::move(records)), m_events(std::move(events)), m_tally(std::move(tally)) {
    SetName("NyxHost");
    Join(s_snsrRx, this);
    Join(s_infoRx, this);
  }
  ~Receiver() override { LeaveReceiverLists(); }

  void OnSnsrMsg(int kind, void* record) override {
    if (record) Write(kind, *static_cast<const CSnsr*>(record));
  }

  void OnInfoMsg(int kind, void* data) override {
    if ((kind == kInfoTargetData || kind == kInfoStallPing) && data) Write(kind, *static_cast<const CSnsr*>(data));
    // Texts on their way out over UDP are the controller's business, not the host's.
    if (!m_events || kind == kInfoUdpText) return;
    Json event;
    event["report"] = "info";
    event["kind"] = kind;
    if (InfoCarriesInteger(kind)) {
      event["value"] = InfoValueOf(data);
    } else if (kind == kInfoPingControl && data) {
      event["value"] = *static_cast<const unsigned char*>(data);
    }
    m_events->WriteLine(Dump(event));
  }

 private:
  void Write(int kind, const CSnsr& record) {
    // Lines are made in a buffer kept per thread: no allocation per record.
    thread_local std::string line;
    line.clear();
    AppendRecordJsonLine(line, kind, record);
    m_records->WriteLine(line);
    m_tally->Count(kind, record);
  }

  std::shared_ptr<Output> m_records;
  std::shared_ptr<Output> m_events;
  std::shared_ptr<RecordTally> m_tally;
};

// Reports go to the alarm board of the status view, to the events file as
// JSON lines and (unless a view has the terminal) to standard error as text.
// Standard error leaves out repeats: an alarm raised again at the same level
// (data-age alarms repeat on every trigger), and a status line with the same
// text within a few seconds (a silent line reports its time-out every second).
class HostRunner::ReportSink : public Nyx::ReportSink {
 public:
  ReportSink(std::shared_ptr<Output> events, std::shared_ptr<AlarmBoard> alarms, bool toStderr)
      : m_events(std::move(events)), m_board(std::move(alarms)), m_toStderr(toStderr) {}

  void OnReport(const Nyx::Report& report) override {
    m_board->OnReport(report);
    if (m_events) m_events->WriteLine(Dump(ToJson(report)));
    if (!m_toStderr || Quiet(report)) return;
    // Traffic logs carry raw bytes: control characters are shown as dots, not sent to the terminal.
    std::lock_guard guard(m_lock);
    m_stderrText += CutToColumns(Nyx::FormatReport(report), std::numeric_limits<int>::max());
    m_stderrText += '\n';
  }

  // Standard error gets the reports once per trigger, in one write.
  void Flush() override {
    std::lock_guard guard(m_lock);
    std::fwrite(m_stderrText.data(), 1, m_stderrText.size(), stderr);
    m_stderrText.clear();
  }
  ~ReportSink() override { Flush(); }

 private:
  static Json ToJson(const Nyx::Report& report) {
    Json json;
    switch (report.kind) {
      case Nyx::ReportKind::Status:
      case Nyx::ReportKind::Alarm:
        json["report"] = report.kind == Nyx::ReportKind::Status ? "status" : "alarm";
        json["id"] = report.id;
        json["level"] = report.level;
        break;
      case Nyx::ReportKind::Comms:
      case Nyx::ReportKind::Console:
        json["report"] = report.kind == Nyx::ReportKind::Comms ? "comms" : "console";
        json["channel"] = report.channel;
        break;
      case Nyx::ReportKind::MsgBox:
        json["report"] = "msgbox";
        json["type"] = report.channel;
        break;
    }
    json["text"] = report.text;
    return json;
  }

  bool Quiet(const Nyx::Report& report) {
    std::lock_guard guard(m_lock);
    if (report.kind == Nyx::ReportKind::Alarm) {
      const auto it = m_alarms.find(report.id);
      const bool known = it != m_alarms.end();
      if (report.level < 0) {
        if (!known) return true;
        m_alarms.erase(it);
        return false;
      }
      if (known && it->second == report.level) return true;
      m_alarms[report.id] = report.level;
      return false;
    }
    if (report.kind != Nyx::ReportKind::Status) return false;
    const auto now = std::chrono::steady_clock::now();
    if (m_statuses.size() > 1024) std::erase_if(m_statuses, [&](const auto& entry) { return now - entry.second > kRepeat; });
    auto [it, added] = m_statuses.try_emplace({report.id, report.text}, now);
    if (!added && now - it->second < kRepeat) return true;
    it->second = now;
    return false;
  }

  static constexpr auto kRepeat = std::chrono::seconds(10);
  std::shared_ptr<Output> m_events;
  std::shared_ptr<AlarmBoard> m_board;
  bool m_toStderr;
  std::mutex m_lock;
  std::map<int, int> m_alarms;
  std::map<std::pair<int, std::string>, std::chrono::steady_clock::time_point> m_statuses;
  std::string m_stderrText;
};

// Reads target texts from a file or a FIFO on a thread of its own and appends
// each line, with its line feed, to the host task's target texts.
class HostRunner::TargetFeed {
 public:
  static std::unique_ptr<TargetFeed> Open(const std::string& path, CTaskData& task, std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
      error = path + ": " + std::strerror(errno);
      return nullptr;
    }
    // A FIFO is held open for writing too, so that it never reads end-of-file
    // between one writer and the next.
    const bool fifo = S_ISFIFO(info.st_mode);
    const int fd = ::open(path.c_str(), (fifo ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
    const int wake = fd < 0 ? -1 : ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0 || wake < 0) {
      error = path + ": " + std::strerror(errno);
      if (fd >= 0) ::close(fd);
      return nullptr;
    }
    return std::unique_ptr<TargetFeed>(new TargetFeed(fd, wake, task));
  }

  ~TargetFeed() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake, &one, sizeof one);
    if (m_thread.joinable()) m_thread.join();
    ::close(m_fd);
    ::close(m_wake);
  }

  void Start() { m_thread = std::thread(&TargetFeed::ReadLines, this); }

 private:
  TargetFeed(int fd, int wake, CTaskData& task) : m_fd(fd), m_wake(wake), m_task(task) {}

  void ReadLines() {
    std::string pending;
    char buffer[4096];
    for (;;) {
      pollfd fds[2] = {{m_wake, POLLIN, 0}, {m_fd, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (fds[0].revents) break;
      const ssize_t count = ::read(m_fd, buffer, sizeof buffer);
      if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (count <= 0) break;  // the end of a file
      pending.append(buffer, static_cast<std::size_t>(count));
      std::size_t start = 0;
      for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
        Append(pending.substr(start, end + 1 - start));
      }
      pending.erase(0, start);
    }
    // A last line without its line feed gets one.
    if (!pending.empty()) Append(pending + "\n");
  }

  void Append(std::string line) {
    std::lock_guard guard(m_task.m_textLock);
    m_task.m_targetTexts.push_back(std::move(line));
  }

  int m_fd;
  int m_wake;
  CTaskData& m_task;
  std::thread m_thread;
};

bool HostConfig::AddCom(const std::string& text, std::string& error) {
  int com = 0;
  std::string path;
  if (!SplitAssignment("--com", text, com, path, error)) return false;
  comPaths[com] = path;
  return true;
}

bool HostConfig::AddDecode(const std::string& text, std::string& error) {
  int com = 0;
  std::string name;
  if (!SplitAssignment("--decode", text, com, name, error)) return false;
  Line(com).decode = name;
  return true;
}

bool HostConfig::AddEncode(const std::string& text, std::string& error) {
  int com = 0;
  std::string name;
  if (!SplitAssignment("--encode", text, com, name, error)) return false;
  Line(com).encode = name;
  return true;
}

bool HostConfig::AddBaud(const std::string& text, std::string& error) {
  int com = 0;
  std::string rate;
  if (!SplitAssignment("--baud", text, com, rate, error)) return false;
  long long value = 0;
  if (!ParseInt(rate, value) || value < 1 || value > 0xFFFFFFFFLL) {
    error = "--baud " + text + ": the rate must be a whole number of baud above 0";
    return false;
  }
  Line(com).baud = static_cast<unsigned>(value);
  return true;
}

bool HostConfig::AddSyncChar(const std::string& text, std::string& error) {
  int com = 0;
  std::string character;
  if (!SplitAssignment("--sync-char", text, com, character, error)) return false;
  Line(com).syncChar = character;
  return true;
}

HostLineConfig& HostConfig::Line(int com) {
  for (HostLineConfig& line : lines) {
    if (line.com == com) return line;
  }
  lines.push_back(HostLineConfig{com, {}, {}, {}, {}});
  return lines.back();
}

HostRunner::HostRunner(HostConfig config)
    : m_config(std::move(config)), m_alarms(std::make_shared<AlarmBoard>()), m_tally(std::make_shared<RecordTally>()) {}

HostRunner::~HostRunner() {
  if (m_started && !m_shutDown) {
    std::string error;
    Shutdown(error);
  }
  if (m_stopFd >= 0) ::close(m_stopFd);
}

std::vector<CNyxWnd*> HostRunner::Windows() const {
  std::vector<CNyxWnd*> out;
  for (const auto& window : m_windows) out.push_back(window.get());
  return out;
}

int HostRunner::OpenOutputs(std::string& error) {
  const auto open = [&](const std::string& path, std::shared_ptr<Output>& output) {
    // Appended to, never truncated: a station restarted by its service keeps what it wrote before.
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (!file) {
      error = path + ": " + std::strerror(errno);
      return false;
    }
    output = std::make_shared<Output>(file, true);
    return true;
  };
  if (m_config.records == "-") {
    m_records = std::make_shared<Output>(stdout, false);
  } else if (!open(m_config.records, m_records)) {
    return kHostFileError;
  }
  if (!m_config.events.empty() && !open(m_config.events, m_events)) return kHostFileError;
  if (!m_config.status.empty() && !open(m_config.status, m_statusFile)) return kHostFileError;
  return kHostOk;
}

int HostRunner::PrepareStation(const CESet& settings, std::string& error) {
  if (m_config.settings.empty()) {
    m_station = DefaultStation();
  } else if (!ReadStation(settings, m_station, error)) {
    error = m_config.settings + ": " + error;
    return kHostFileError;
  }
  if (m_config.triggerHz) m_station.triggerHz = *m_config.triggerHz;
  if (m_config.pollHz) m_station.pollHz = *m_config.pollHz;
  for (const auto& [com, path] : m_config.comPaths) m_station.comPaths[com] = path;
  if ((!m_config.lines.empty() || m_config.sonarSim > 0) && !m_station.FindClass(Station::kSerialClass)) {
    m_station.Add(Station::kSerialClass, Station::kSerialName);
  }

  const HostUdpConfig& udp = m_config.udp;
  if (udp.Asked()) {
    StationWindow* window = m_station.FindClass(kUdpClass);
    const bool added = window == nullptr;
    if (added) window = &m_station.Add(kUdpClass, kUdpName);
    // A new controller gets its whole end point, so that the file shows it.
    const CUDPLink defaults;
    if (added || udp.host) window->SetControl(kUdpHostCtrl, udp.host.value_or(defaults.m_host));
    if (added || udp.srcPort) window->SetControl(kUdpSrcPortCtrl, std::to_string(udp.srcPort.value_or(defaults.m_srcPort)));
    if (added || udp.dstPort) window->SetControl(kUdpDstPortCtrl, std::to_string(udp.dstPort.value_or(defaults.m_dstPort)));
    if (added || udp.enable) window->SetControl(kUdpEnableCtrl, udp.enable ? "1" : "0");
  }
  return kHostOk;
}

int HostRunner::CreateWindows(std::string& error) {
  std::lock_guard guard(CNyxWnd::HostLock());
  for (const StationWindow& entry : m_station.windows) {
    CObject* object = CRuntimeClass::CreateObject(entry.className);
    auto* window = dynamic_cast<CNyxWnd*>(object);
    if (!window) {
      delete object;
      error = "window '" + entry.name + "': cannot create a window of class '" + entry.className + "'";
      return kHostFileError;
    }
    m_windows.emplace_back(window);
    if (!m_window && (m_window = dynamic_cast<CSComm*>(window))) m_serialName = entry.name;
    if (!m_udp) m_udp = dynamic_cast<CUDPController*>(window);
  }
  return kHostOk;
}

int HostRunner::Start(std::string& error) {
  if (m_started) return kHostOk;
  if (m_config.triggerHz && !(*m_config.triggerHz > 0 && std::isfinite(*m_config.triggerHz))) {
    error = "--trigger-hz must be a rate above 0";
    return kHostOptionError;
  }
  if (m_config.pollHz && !(*m_config.pollHz > 0 && std::isfinite(*m_config.pollHz))) {
    error = "--poll-hz must be a rate above 0";
    return kHostOptionError;
  }
  if (m_config.duration && !(*m_config.duration >= 0)) {
    error = "--duration must be 0 seconds or more";
    return kHostOptionError;
  }
  for (const auto& [option, port] : {std::pair{"--udp-src-port", m_config.udp.srcPort},
                                     std::pair{"--udp-dst-port", m_config.udp.dstPort}}) {
    if (port && (*port < 1 || *port > 65535)) {
      error = std::string(option) + " must be a port from 1 to 65535, not " + std::to_string(*port);
      return kHostOptionError;
    }
  }

  CESet settings;
  if (!m_config.settings.empty() && !settings.Load(m_config.settings)) {
    error = settings.GetLastError();
    return kHostFileError;
  }
  if (const int result = PrepareStation(settings, error)) return result;
  if (const int result = OpenOutputs(error)) return result;
  m_stopFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  m_previousSink = Nyx::GetReportSink();
  Nyx::SetReportSink(std::make_shared<ReportSink>(m_events, m_alarms, m_config.reportsToStderr));
  m_previousPcClock = CGpsTimeSync::IsPcClockSettingEnabled();
  if (m_config.setPcClock) CGpsTimeSync::EnablePcClockSetting(true);
  m_previousLevel = Nyx::nyxLevel;
  if (m_config.nyxLevel) Nyx::nyxLevel = *m_config.nyxLevel;
  m_started = true;
  // The windows list the COM ports present as they are made: the map comes first.
  for (const auto& [com, path] : m_station.comPaths) ComPortMap::Set(com, path);

  CTaskData* targets = nullptr;
  if (!m_config.targets.empty()) {
    targets = CTask::AddTask(kTargetTask, "NyxHost")->GetData();
    targets->m_outputFlags = {1, 0};
    m_targetFeed = TargetFeed::Open(m_config.targets, *targets, error);
    if (!m_targetFeed) return kHostFileError;
  }

  m_receiver = std::make_unique<Receiver>(m_records, m_events, m_tally);
  if (const int result = CreateWindows(error)) return result;

  // Lines come from the settings file first (Port01, Port02, ...), then one
  // for every COM number on the command line that the file does not hold.
  if (m_window) {
    std::vector<int> fileComs;
    const CESetCol* column = settings.GetCol("SComm");
    for (int i = 1; column; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "Port%02d", i);
      const CESetObj* obj = column->GetObj(name);
      if (!obj) break;
      long long com = 0;
      for (const auto& item : obj->GetItems()) {
        if (item.key == "CommPort") ParseInt(item.value, com);
      }
      fileComs.push_back(static_cast<int>(com));
    }
    m_fileLines = fileComs.size();
    std::size_t lineCount = fileComs.size();
    for (const HostLineConfig& line : m_config.lines) {
      if (std::find(fileComs.begin(), fileComs.end(), line.com) == fileComs.end()) ++lineCount;
    }
    // Lines the station counts beyond the file's (left off) take the new ones first.
    StationWindow& serial = *m_station.Find(m_serialName);
    int stored = 0;
    if (const std::string* value = serial.Option("nPorts"); value && CEComm::ReadOneInteger(*value, stored) && stored > 0) {
      lineCount = std::max(lineCount, static_cast<std::size_t>(stored));
    }
    serial.SetOption("nPorts", std::to_string(lineCount));
  }
  if (const int result = ResolveLines(error)) return result;

  {
    std::lock_guard guard(CNyxWnd::HostLock());
    // Names first, so that an option naming another window ("SonarPorts") finds it.
    for (std::size_t i = 0; i < m_windows.size(); ++i) m_windows[i]->SetOption("Name", m_station.windows[i].name);
    for (std::size_t i = 0; i < m_windows.size(); ++i) {
      CNyxWnd& window = *m_windows[i];
      for (const auto& [key, value] : m_station.windows[i].options) window.SetOption(key, value);
      // The target task lives as long as this run; the station does not keep it.
      if (targets && (&window == m_window || &window == m_udp)) window.SetOption("Task", kTargetTask);
    }
    if (!m_config.settings.empty()) {
      CESetCol* hostColumn = settings.GetCol(kHostColumn);
      for (std::size_t i = 0; i < m_windows.size(); ++i) {
        const std::string& name = m_station.windows[i].name;
        CESetObj* own = hostColumn ? hostColumn->GetObj(name) : nullptr;
        CESetObj bare(settings, name, "");
        m_windows[i]->Settings(own ? *own : bare);
      }
    }
  }
  ApplyLines();
  {
    std::lock_guard guard(CNyxWnd::HostLock());
    for (const auto& window : m_windows) window->SetupCtrls();
  }
  ApplyControls();

  std::lock_guard guard(CNyxWnd::HostLock());
  if (m_config.enable) CNyxWnd::InfoMsg(kInfoCommsEnable, InfoValue(1));
  for (std::size_t i = 0; m_window && i < m_window->GetLineCount(); ++i) {
    const CSPort& line = *m_window->GetLine(i);
    if (line.m_commPort <= 0) continue;
    if (line.GetOpenError()) {
      std::fprintf(stderr, "nyxhost: %s: %s\n", ComText(line.m_commPort, ComPortMap::Path(line.m_commPort)).c_str(),
                   Nyx::ErrorString(line.GetOpenError()).c_str());
    } else if (line.GetConfigError()) {
      std::fprintf(stderr, "nyxhost: %s: line settings not taken: %s\n",
                   ComText(line.m_commPort, line.m_deviceName).c_str(), Nyx::ErrorString(line.GetConfigError()).c_str());
    }
  }
  if (m_config.sonarSim > 0 && !(m_sonarSim = StartSonarSimulation(*m_window, m_config.sonarSim, error))) {
    return kHostOptionError;
  }
  if (const int result = StartFeeders(error)) return result;
  m_ready = true;
  return kHostOk;
}

int HostRunner::ResolveLines(std::string& error) {
  m_resolved.clear();
  for (const HostLineConfig& config : m_config.lines) {
    ResolvedLine resolved;
    resolved.config = &config;
    const std::string com = "COM" + std::to_string(config.com);
    if (!config.decode.empty()) {
      const CDecodeType* type = CEComm::FindDecode(config.decode);
      if (!type) {
        error = "unknown decoder '" + config.decode + "' for " + com + " (nyxdecode --list prints the names)";
        return kHostOptionError;
      }
      resolved.decode = type->m_index;
    }
    if (!config.encode.empty()) {
      const CEncodeType* type = CEComm::FindEncode(config.encode);
      if (!type) {
        error = "unknown encoder '" + config.encode + "' for " + com + " (nyxdecode --list prints the names)";
        return kHostOptionError;
      }
      resolved.encode = type->m_index;
    }
    if (!config.syncChar.empty()) {
      long long code = -1;
      if (!ParseInt(config.syncChar, code)) {
        for (const auto& [value, name] : m_window->m_syncNames) {
          if (name == config.syncChar) code = value;
        }
        if (code < 0 && config.syncChar.size() == 1) code = static_cast<unsigned char>(config.syncChar[0]);
      }
      if (code < 0 || code > 255) {
        error = "--sync-char " + std::to_string(config.com) + "=" + config.syncChar +
                ": give a code from 0 to 255, a name such as <CR>, or one character";
        return kHostOptionError;
      }
      resolved.syncChar = static_cast<unsigned char>(code);
    }
    m_resolved.push_back(resolved);
  }
  return kHostOk;
}

void HostRunner::ApplyLines() {
  if (!m_window) return;
  std::lock_guard guard(CNyxWnd::HostLock());
  std::size_t next = m_fileLines;
  for (const ResolvedLine& resolved : m_resolved) {
    const HostLineConfig& config = *resolved.config;
    // The file's line of that COM number, else the next line after the file's.
    std::size_t index = m_window->GetLineCount();
    for (std::size_t i = 0; i < m_fileLines && i < m_window->GetLineCount(); ++i) {
      if (m_window->GetLine(i)->m_commPort == config.com) {
        index = i;
        break;
      }
    }
    if (index == m_window->GetLineCount() && next < m_window->GetLineCount()) index = next++;
    if (index == m_window->GetLineCount()) continue;

    CSPort& line = *m_window->GetLine(index);
    if (resolved.decode) line.m_port.m_decode = *resolved.decode;
    if (resolved.encode) line.m_port.m_encode = *resolved.encode;
    if (resolved.syncChar) line.m_port.m_syncChar = *resolved.syncChar;
    if (config.baud) line.m_dcb.BaudRate = *config.baud;
    line.m_commPort = config.com;
    line.m_port.SetDecode();
    line.m_port.SetEncode();
    if (line.m_port.m_decode != 0 && line.m_port.m_encode != 0) {
      std::fprintf(stderr, "nyxhost: COM%d decodes and encodes; a line that decodes only reads\n", config.com);
    }
    line.SetComm(config.com);
  }
}

// The station's panel entries, set as an operator would once the panels exist.
void HostRunner::ApplyControls() {
  std::lock_guard guard(CNyxWnd::HostLock());
  for (std::size_t i = 0; i < m_windows.size(); ++i) {
    const StationWindow& entry = m_station.windows[i];
    for (const auto& [label, value] : entry.controls) {
      if (!m_windows[i]->SetCtrlValue(label, value)) {
        std::fprintf(stderr, "nyxhost: window '%s' has no control '%s' that takes '%s'\n", entry.name.c_str(),
                     label.c_str(), value.c_str());
      }
    }
    // The receive socket moves to the port just entered, as the panel's test button does it.
    if (auto* udp = dynamic_cast<CUDPController*>(m_windows[i].get())) udp->OnBnTestReceiveUDPPackets();
  }
}

int HostRunner::StartFeeders(std::string& error) {
  if (m_targetFeed) m_targetFeed->Start();
  if (!m_config.udp.texts.empty()) {
    m_udpFeed = std::make_unique<CTextLineFeeder>();
    if (const int err = m_udpFeed->Start(m_config.udp.texts)) {
      error = m_config.udp.texts + ": " + std::strerror(err);
      return kHostFileError;
    }
  }
  return kHostOk;
}

// The feeders deliver under the host lock: they stop before it is taken.
void HostRunner::StopFeeders() {
  m_targetFeed.reset();
  if (m_udpFeed) m_udpFeed->Stop();
  m_udpFeed.reset();
}

void HostRunner::Trigger() {
  const double now = TmSync::GetTm();
  const double dt = m_triggers == 0 ? 1.0 / m_station.triggerHz : now - m_lastTrigger;
  m_lastTrigger = now;
  {
    std::lock_guard guard(CNyxWnd::HostLock());
    const std::vector<CNyxWnd*> windows(CNyxWnd::s_trigRx.begin(), CNyxWnd::s_trigRx.end());
    for (CNyxWnd* window : windows) {
      if (CNyxWnd::s_trigRx.Contains(window)) window->OnTrigger(now, dt);
    }
  }
  ++m_triggers;
  Nyx::FlushReports();
  m_records->Flush();
  if (m_events) m_events->Flush();
}

void HostRunner::Poll() {
  const double now = TmSync::GetTm();
  {
    std::lock_guard guard(CNyxWnd::HostLock());
    const std::vector<CNyxWnd*> windows(CNyxWnd::s_pollRx.begin(), CNyxWnd::s_pollRx.end());
    for (CNyxWnd* window : windows) {
      if (CNyxWnd::s_pollRx.Contains(window)) window->OnPoll(now);
    }
  }
  ++m_polls;
}

StationStatus HostRunner::Status() {
  StationStatus status;
  using Clock = std::chrono::steady_clock;
  if (const Clock::rep start = m_runStart; start != 0) {
    const Clock::rep end = m_runEnd;
    const Clock::duration ran = (end != 0 ? Clock::duration(end) : Clock::now().time_since_epoch()) - Clock::duration(start);
    status.elapsed = std::chrono::duration<double>(ran).count();
  }
  status.triggers = m_triggers;
  {
    std::lock_guard guard(CNyxWnd::HostLock());
    const double now = TmSync::GetTm();
    for (std::size_t w = 0; w < m_windows.size(); ++w) {
      const std::string& windowName = m_station.windows[w].name;
      if (const auto* serial = dynamic_cast<const CSComm*>(m_windows[w].get())) {
        for (std::size_t i = 0; i < serial->GetLineCount(); ++i) {
          const CSPort& line = *serial->GetLine(i);
          PortStatus port = PortStatusOf(line.m_port, now);
          port.window = windowName;
          if (line.m_commPort > 0) {
            port.name = "COM" + std::to_string(line.m_commPort);
            port.device = line.m_deviceName.empty() ? ComPortMap::Path(line.m_commPort) : line.m_deviceName;
          } else {
            port.name = "Line " + std::to_string(i + 1);
          }
          status.ports.push_back(std::move(port));
        }
        // Sonar-routed ports show once they decode.
        for (std::size_t p = 0; p < serial->m_zepPorts.size(); ++p) {
          const CPort& zep = serial->m_zepPorts[p];
          if (zep.m_decode == 0) continue;
          PortStatus port = PortStatusOf(zep, now);
          port.window = windowName;
          char name[32];
          std::snprintf(name, sizeof name, "ZepPort%02d:Serial%02d", static_cast<int>(p / 2 + 1), static_cast<int>(p % 2));
          port.name = name;
          status.ports.push_back(std::move(port));
        }
      } else if (const auto* udp = dynamic_cast<const CUDPController*>(m_windows[w].get())) {
        const UdpEndpoint end = udp->m_pLink->GetEndpoint();
        std::string text = windowName + ": " + (udp->m_bEnableUDP ? "enabled" : "disabled") + ", receiving on port " +
                           std::to_string(end.dstPort) + (udp->m_pLink->m_bRxReady ? "" : " (not bound)") +
                           ", sending to " + end.host + ":" + std::to_string(end.dstPort) + " from port " +
                           std::to_string(end.srcPort) + "; last text: " + udp->m_pLink->GetText();
        status.links.push_back(std::move(text));
      }
    }
  }
  status.alarms = m_alarms->Active();
  status.records = m_tally->Counts();
  return status;
}

void HostRunner::PublishStatus() {
  const StationStatus status = Status();
  if (m_statusFile) {
    m_statusFile->WriteLine(StatusJsonLine(status));
    m_statusFile->Flush();
  }
  if (m_statusListener) m_statusListener(status);
}

void HostRunner::Run(int stopFd) {
  if (!m_ready || m_shutDown) return;
  using Clock = std::chrono::steady_clock;
  // Clamped so that no rate or duration, however odd, overflows the clock's ticks.
  const auto ticks = [](double seconds) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(std::clamp(seconds, 0.0, 1e9)));
  };
  const auto period = [&](double hz) { return std::max(Clock::duration(1), ticks(1.0 / hz)); };
  const Clock::duration triggerPeriod = period(m_station.triggerHz);
  const Clock::duration pollPeriod = period(m_station.pollHz);
  const Clock::duration statusPeriod = std::chrono::seconds(1);
  const bool statusOn = m_statusFile || m_statusListener;

  const Clock::time_point start = Clock::now();
  m_runEnd = 0;
  m_runStart = start.time_since_epoch().count();
  const Clock::time_point end =
      m_config.duration ? start + ticks(*m_config.duration) : Clock::time_point::max();
  Clock::time_point nextTrigger = start + triggerPeriod;
  Clock::time_point nextPoll = start + pollPeriod;
  Clock::time_point nextStatus = start + statusPeriod;
  // Late work is not made up: one call, with the real time since the last.
  const auto advance = [](Clock::time_point& next, Clock::duration step, Clock::time_point now) {
    next += step;
    if (next <= now) next = now + step;
  };

  for (;;) {
    Clock::time_point now = Clock::now();
    if (now >= end) break;
    if (now >= nextTrigger) {
      Trigger();
      if (m_records->Failed()) break;
      advance(nextTrigger, triggerPeriod, now);
    }
    if (now >= nextPoll) {
      Poll();
      advance(nextPoll, pollPeriod, now);
    }
    if (statusOn && now >= nextStatus) {
      PublishStatus();
      advance(nextStatus, statusPeriod, now);
    }
    Clock::time_point wake = std::min(nextTrigger, nextPoll);
    if (statusOn) wake = std::min(wake, nextStatus);
    wake = std::min(wake, end);
    const auto wait = std::max(Clock::duration::zero(), wake - Clock::now());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
    const timespec timeout{static_cast<time_t>(seconds.count()),
                           static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(wait - seconds).count())};
    pollfd fds[2] = {{m_stopFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    const int ready = ::ppoll(fds, stopFd >= 0 ? 2 : 1, &timeout, nullptr);
    if (ready < 0 && errno != EINTR) break;
    if (ready > 0 && (fds[0].revents || (stopFd >= 0 && fds[1].revents))) break;
  }
  m_runEnd = Clock::now().time_since_epoch().count();
}

void HostRunner::Stop() {
  if (m_stopFd < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(m_stopFd, &one, sizeof one);
}

int HostRunner::SaveStation(std::string& error) {
  Station saved = m_station;
  if (m_window) saved.Find(m_serialName)->SetOption("nPorts", std::to_string(m_window->GetLineCount()));
  for (std::size_t i = 0; i < m_windows.size(); ++i) {
    for (auto& [label, value] : saved.windows[i].controls) {
      if (const CECtrl* ctrl = m_windows[i]->FindCtrl(label)) value = ctrl->GetValueText();
    }
  }
  CESet set;
  WriteStation(saved, set);
  CESetCol* hostColumn = set.AddCol(kHostColumn);
  for (std::size_t i = 0; i < m_windows.size(); ++i) m_windows[i]->Settings(*hostColumn->AddObj(saved.windows[i].name, ""));
  if (!set.Save(m_config.save)) {
    error = m_config.save + ": cannot write the settings: " + std::strerror(errno);
    return kHostFileError;
  }
  return kHostOk;
}

int HostRunner::Shutdown(std::string& error) {
  if (!m_started || m_shutDown) return kHostOk;
  m_shutDown = true;
  StopFeeders();
  // The simulated heads stop calling in before their window goes.
  m_sonarSim.reset();
  int result = kHostOk;
  if (!m_windows.empty()) {
    std::lock_guard guard(CNyxWnd::HostLock());
    CNyxWnd::InfoMsg(kInfoShutdown, nullptr);
    // A start that failed saves nothing: the file would hold half a configuration.
    if (m_ready && !m_config.save.empty()) result = SaveStation(error);
  }
  // Windows with threads (lines, the UDP controller) may be waiting for the
  // host lock to deliver: they go without it, last made first.
  m_window = nullptr;
  m_udp = nullptr;
  while (!m_windows.empty()) m_windows.pop_back();
  m_receiver.reset();
  for (const auto& [com, path] : m_station.comPaths) ComPortMap::Set(com, "");
  if (m_records) m_records->Flush();
  if (m_events) m_events->Flush();
  Nyx::SetReportSink(m_previousSink);
  m_previousSink.reset();
  CGpsTimeSync::EnablePcClockSetting(m_previousPcClock);
  Nyx::nyxLevel = m_previousLevel;
  m_records.reset();
  m_events.reset();
  m_statusFile.reset();
  return result;
}
