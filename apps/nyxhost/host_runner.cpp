#include "nyxhost/host_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include <nlohmann/json.hpp>

#include "comms/serial_comms.h"
#include "host/records.h"
#include "host/report.h"
#include "host/settings.h"
#include "host/task.h"
#include "nyxhost/sonar_sim_option.h"
#include "port/com_port_map.h"

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

// The host's receiver window: every sensor record and info message the
// windows hand to the host.
class HostRunner::Receiver : public CNyxWnd {
 public:
  Receiver(std::shared_ptr<Output> records, std::shared_ptr<Output> events)
      : m_records(std::move(records)), m_events(std::move(events)) {
    SetName("NyxHost");
    Join(s_snsrRx, this);
    Join(s_infoRx, this);
  }
  ~Receiver() override { LeaveReceiverLists(); }

  void OnSnsrMsg(int kind, void* record) override {
    if (record) m_records->WriteLine(RecordJsonLine(kind, *static_cast<const CSnsr*>(record)));
  }

  void OnInfoMsg(int kind, void* data) override {
    if ((kind == kInfoTargetData || kind == kInfoStallPing) && data) {
      m_records->WriteLine(RecordJsonLine(kind, *static_cast<const CSnsr*>(data)));
    }
    if (!m_events) return;
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
  std::shared_ptr<Output> m_records;
  std::shared_ptr<Output> m_events;
};

// Reports go to the events file as JSON lines and to standard error as text.
// Standard error leaves out repeats: an alarm raised again at the same level
// (data-age alarms repeat on every trigger), and a status line with the same
// text within a few seconds (a silent line reports its time-out every second).
class HostRunner::ReportSink : public Nyx::ReportSink {
 public:
  explicit ReportSink(std::shared_ptr<Output> events) : m_events(std::move(events)) {}

  void OnReport(const Nyx::Report& report) override {
    if (m_events) m_events->WriteLine(Dump(ToJson(report)));
    if (Quiet(report)) return;
    const std::string text = Nyx::FormatReport(report) + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
  }

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
  std::mutex m_lock;
  std::map<int, int> m_alarms;
  std::map<std::pair<int, std::string>, std::chrono::steady_clock::time_point> m_statuses;
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

HostRunner::HostRunner(HostConfig config) : m_config(std::move(config)) {}

HostRunner::~HostRunner() {
  if (m_started && !m_shutDown) {
    std::string error;
    Shutdown(error);
  }
  if (m_stopFd >= 0) ::close(m_stopFd);
}

int HostRunner::OpenOutputs(std::string& error) {
  if (m_config.records == "-") {
    m_records = std::make_shared<Output>(stdout, false);
  } else {
    std::FILE* file = std::fopen(m_config.records.c_str(), "w");
    if (!file) {
      error = m_config.records + ": " + std::strerror(errno);
      return kHostFileError;
    }
    m_records = std::make_shared<Output>(file, true);
  }
  if (!m_config.events.empty()) {
    std::FILE* file = std::fopen(m_config.events.c_str(), "w");
    if (!file) {
      error = m_config.events + ": " + std::strerror(errno);
      return kHostFileError;
    }
    m_events = std::make_shared<Output>(file, true);
  }
  return kHostOk;
}

int HostRunner::Start(std::string& error) {
  if (m_started) return kHostOk;
  if (!(m_config.triggerHz > 0 && std::isfinite(m_config.triggerHz))) {
    error = "--trigger-hz must be a rate above 0";
    return kHostOptionError;
  }
  if (m_config.duration && !(*m_config.duration >= 0)) {
    error = "--duration must be 0 seconds or more";
    return kHostOptionError;
  }

  CESet settings;
  if (!m_config.settings.empty() && !settings.Load(m_config.settings)) {
    error = settings.GetLastError();
    return kHostFileError;
  }
  if (const int result = OpenOutputs(error)) return result;
  m_stopFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  m_previousSink = Nyx::GetReportSink();
  Nyx::SetReportSink(std::make_shared<ReportSink>(m_events));
  m_started = true;
  for (const auto& [com, path] : m_config.comPaths) ComPortMap::Set(com, path);

  CTaskData* targets = nullptr;
  if (!m_config.targets.empty()) {
    targets = CTask::AddTask(kTargetTask, "NyxHost")->GetData();
    targets->m_outputFlags = {1, 0};
    m_targetFeed = TargetFeed::Open(m_config.targets, *targets, error);
    if (!m_targetFeed) return kHostFileError;
  }

  m_receiver = std::make_unique<Receiver>(m_records, m_events);
  {
    std::lock_guard guard(CNyxWnd::HostLock());
    m_ownedWindow.reset(dynamic_cast<CNyxWnd*>(CRuntimeClass::CreateObject("CSComm")));
    m_window = dynamic_cast<CSComm*>(m_ownedWindow.get());
  }
  if (!m_window) {
    error = "the serial comms window (CSComm) is not available";
    return kHostFileError;
  }

  // Lines come from the settings file first (Port01, Port02, ...), then one
  // for every COM number on the command line that the file does not hold.
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

  if (const int result = ResolveLines(error)) return result;
  {
    std::lock_guard guard(CNyxWnd::HostLock());
    m_window->SetOption("Name", kWindowName);
    m_window->SetOption("nPorts", std::to_string(lineCount));
    if (targets) m_window->SetOption("Task", kTargetTask);
    if (!m_config.settings.empty()) {
      CESetCol* hostColumn = settings.GetCol(kHostColumn);
      CESetObj* own = hostColumn ? hostColumn->GetObj(kWindowName) : nullptr;
      CESetObj bare(settings, kWindowName, "");
      m_window->Settings(own ? *own : bare);
    }
  }
  ApplyLines();

  std::lock_guard guard(CNyxWnd::HostLock());
  if (m_config.enable) CNyxWnd::InfoMsg(kInfoCommsEnable, InfoValue(1));
  for (std::size_t i = 0; i < m_window->GetLineCount(); ++i) {
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
  if (m_targetFeed) m_targetFeed->Start();
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

void HostRunner::Trigger() {
  const double now = TmSync::GetTm();
  const double dt = m_triggers == 0 ? 1.0 / m_config.triggerHz : now - m_lastTrigger;
  m_lastTrigger = now;
  {
    std::lock_guard guard(CNyxWnd::HostLock());
    const std::vector<CNyxWnd*> windows(CNyxWnd::s_trigRx.begin(), CNyxWnd::s_trigRx.end());
    for (CNyxWnd* window : windows) {
      if (CNyxWnd::s_trigRx.Contains(window)) window->OnTrigger(now, dt);
    }
  }
  ++m_triggers;
  m_records->Flush();
  if (m_events) m_events->Flush();
}

void HostRunner::Run(int stopFd) {
  if (!m_ready || m_shutDown) return;
  const int timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (timer < 0) return;
  const double period = 1.0 / m_config.triggerHz;
  itimerspec spec{};
  spec.it_interval.tv_sec = static_cast<time_t>(period);
  spec.it_interval.tv_nsec = static_cast<long>((period - std::floor(period)) * 1e9);
  if (spec.it_interval.tv_sec == 0 && spec.it_interval.tv_nsec == 0) spec.it_interval.tv_nsec = 1;
  spec.it_value = spec.it_interval;
  ::timerfd_settime(timer, 0, &spec, nullptr);

  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const std::optional<Clock::time_point> end =
      m_config.duration ? std::optional(start + std::chrono::duration_cast<Clock::duration>(
                                                    std::chrono::duration<double>(*m_config.duration)))
                        : std::nullopt;
  for (;;) {
    int timeout = -1;
    if (end) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*end - Clock::now()).count();
      if (left <= 0) break;
      timeout = static_cast<int>(std::min<long long>(left, 1 << 30));
    }
    pollfd fds[3] = {{timer, POLLIN, 0}, {m_stopFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    const int ready = ::poll(fds, stopFd >= 0 ? 3 : 2, timeout);
    if (ready < 0 && errno != EINTR) break;
    if (fds[1].revents || (stopFd >= 0 && fds[2].revents)) break;
    if (fds[0].revents & POLLIN) {
      std::uint64_t expirations = 0;
      [[maybe_unused]] const ssize_t got = ::read(timer, &expirations, sizeof expirations);
      // Late triggers are not made up: one trigger, with the real time since the last.
      Trigger();
      if (m_records->Failed()) break;
    }
  }
  ::close(timer);
}

void HostRunner::Stop() {
  if (m_stopFd < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(m_stopFd, &one, sizeof one);
}

int HostRunner::Shutdown(std::string& error) {
  if (!m_started || m_shutDown) return kHostOk;
  m_shutDown = true;
  m_targetFeed.reset();
  m_sonarSim.reset();
  int result = kHostOk;
  if (m_window) {
    std::lock_guard guard(CNyxWnd::HostLock());
    CNyxWnd::InfoMsg(kInfoShutdown, nullptr);
    // A start that failed saves nothing: the file would hold half a configuration.
    if (m_ready && !m_config.save.empty()) {
      CESet set;
      m_window->Settings(*set.AddCol(kHostColumn)->AddObj(m_window->GetName(), ""));
      if (!set.Save(m_config.save)) {
        error = m_config.save + ": cannot write the settings: " + std::strerror(errno);
        result = kHostFileError;
      }
    }
  }
  // The windows' threads do not call into the host, so no host lock is held
  // while the windows go.
  m_ownedWindow.reset();
  m_window = nullptr;
  m_receiver.reset();
  for (const auto& [com, path] : m_config.comPaths) ComPortMap::Set(com, "");
  if (m_records) m_records->Flush();
  if (m_events) m_events->Flush();
  Nyx::SetReportSink(m_previousSink);
  m_previousSink.reset();
  m_records.reset();
  m_events.reset();
  return result;
}
