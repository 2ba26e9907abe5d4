// Owns the host program's life: start-up in its fixed order (outputs, report
// sink, windows, settings, panels, comms on, feeders, services), the run loop
// that triggers and polls the windows, and shutdown.
#include "nyxhost/host_runner.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "comms/serial_comms.h"
#include "host/nyx_wnd.h"
#include "host/report.h"
#include "host/settings.h"
#include "host/task.h"
#include "net/text_feeder.h"
#include "net/udp_controller.h"
#include "nyxhost/host_outputs.h"
#include "nyxhost/sonar_sim_option.h"
#include "sonar/ser_comm.h"
#include "port/com_port_map.h"
#include "time/pc_clock.h"

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
  if (m_config.records == "-") {
    m_records = std::make_shared<HostOutput>(stdout, false);
  } else if (!(m_records = HostOutput::Append(m_config.records, error))) {
    return kHostFileError;
  }
  if (!m_config.events.empty() && !(m_events = HostOutput::Append(m_config.events, error))) return kHostFileError;
  if (!m_config.status.empty() && !(m_statusFile = HostOutput::Append(m_config.status, error))) return kHostFileError;
  return kHostOk;
}

int HostRunner::Start(std::string& error) {
  if (m_started) return kHostOk;
  if (!m_config.Check(error)) return kHostOptionError;

  CESet settings;
  if (!m_config.settings.empty() && !settings.Load(m_config.settings)) {
    error = settings.GetLastError();
    return kHostFileError;
  }
  if (const int result = PrepareStation(settings, error)) return result;
  if (const int result = OpenOutputs(error)) return result;
  m_stopFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  m_previousSink = Nyx::GetReportSink();
  auto sink = std::make_shared<HostReportSink>(m_events, m_alarms, m_config.reportsToStderr, m_services);
  sink->SetMsgBoxAnswer(m_config.msgBoxYes);
  Nyx::SetReportSink(std::move(sink));
  m_previousPcClock = CGpsTimeSync::IsPcClockSettingEnabled();
  if (m_config.setPcClock) CGpsTimeSync::EnablePcClockSetting(true);
  m_previousLevel = Nyx::nyxLevel;
  if (m_config.nyxLevel) Nyx::nyxLevel = *m_config.nyxLevel;
  m_started = true;
  // The windows list the COM ports present as they are made: the map comes first.
  for (const auto& [com, path] : m_station.comPaths) ComPortMap::Set(com, path);

  if (!m_config.targets.empty()) {
    CTaskData* targets = CTask::AddTask(kTargetTask, "NyxHost")->GetData();
    targets->m_outputFlags = {1, 0};
    // Each line with its line feed as read; a last line without one gets one.
    m_targetFeed = std::make_unique<CTextLineFeeder>(
        [targets](const std::string& text) {
          std::string line = text.ends_with('\n') ? text : text + "\n";
          std::lock_guard guard(targets->m_textLock);
          targets->m_targetTexts.push_back(std::move(line));
        },
        true);
    if (const int err = m_targetFeed->Start(m_config.targets)) {
      error = m_config.targets + ": " + std::strerror(err);
      return kHostFileError;
    }
  }

  m_receiver = std::make_unique<HostReceiver>(m_records, m_events, m_tally, m_services);
  // The hub window hands the library its handler as it is made.
  if (m_config.hubSim > 0 && !(m_hubSim = HubSimulation::Install(m_config.hubSim, m_config.hubDrops, error))) {
    return kHostOptionError;
  }
  if (const int result = CreateWindows(error)) return result;
  if (m_window) CountLines(settings);
  if (const int result = ResolveLines(error)) return result;
  LoadWindows(settings, m_targetFeed != nullptr);
  ApplyLines();
  if (m_udp) m_udp->m_pLink->SetReceivePolicy(m_config.udp.bind, m_config.udp.allow);
  {
    std::lock_guard guard(CNyxWnd::HostLock());
    for (const auto& window : m_windows) window->SetupCtrls();
  }
  ApplyControls();
  if (const int result = ApplyHub(error)) return result;
  // The hubs are heard before comms go on, as on a real network.
  if (m_hubSim) m_hubSim->Start();

  {
    std::lock_guard guard(CNyxWnd::HostLock());
    if (m_config.enable) TickEnable();
    ReportLineErrors();
    if (m_config.sonarSim > 0 &&
        !(m_sonarSim = StartSonarSimulation(*m_window, m_config.sonarSim, error,
                                            m_hubSim ? &m_hubSim->Simulator() : nullptr))) {
      return kHostOptionError;
    }
  }
  if (const int result = StartFeeders(error)) return result;
  for (const auto& service : m_services) {
    if (const int result = service->Start(*this, error)) return result;
  }
  m_ready = true;
  return kHostOk;
}

int HostRunner::StartFeeders(std::string& error) {
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
  if (m_targetFeed) m_targetFeed->Stop();
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
    std::vector<std::function<void()>> posted;
    {
      std::lock_guard postGuard(m_postLock);
      posted.swap(m_posted);
    }
    for (const auto& task : posted) task();
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

void HostRunner::Post(std::function<void()> task) {
  std::lock_guard guard(m_postLock);
  m_posted.push_back(std::move(task));
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
  const bool statusOn = m_statusFile || m_statusListener || !m_services.empty();

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

int HostRunner::Shutdown(std::string& error) {
  if (!m_started || m_shutDown) return kHostOk;
  m_shutDown = true;
  StopFeeders();
  for (const auto& service : m_services) service->Stop();
  // The simulated heads stop calling in before their window goes.
  m_sonarSim.reset();
  m_hubSim.reset();
  int result = kHostOk;
  if (!m_windows.empty()) {
    std::lock_guard guard(CNyxWnd::HostLock());
    CNyxWnd::InfoMsg(kInfoShutdown, nullptr);
    // A start that failed saves nothing: the file would hold half a configuration.
    if (m_ready && !m_config.save.empty()) result = SaveStation(error);
    if (m_ready && m_hub && !m_config.hubExport.empty() && !m_hub->Export(m_config.hubExport) && result == kHostOk) {
      error = m_config.hubExport + ": cannot export the hub settings";
      result = kHostFileError;
    }
  }
  // Windows with threads (lines, the UDP controller) may be waiting for the
  // host lock to deliver: they go without it, last made first.
  m_window = nullptr;
  m_udp = nullptr;
  m_hub = nullptr;
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
