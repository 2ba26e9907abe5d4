// The embedded host: creates the station's windows by runtime class, passes
// their options, loads their settings (the lines open), builds their panels
// and sets the panel entries the station keeps, switches comms on when asked,
// then triggers (and polls) the windows on one thread and writes the records
// and reports that reach the host as JSON lines. On the way out: info 104,
// the settings saved when asked, the windows destroyed. nyxhost is this
// runner behind a command line. Its parts: host_config.cpp (options),
// station_setup.cpp (the station's windows and lines), host_runner.cpp (start,
// run loop, shutdown), host_outputs.cpp (files, records, reports),
// host_status.cpp (the status snapshot); services attach through HostService.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "nyxhost/host_service.h"
#include "nyxhost/hub_sim_option.h"
#include "nyxhost/station.h"
#include "nyxhost/status_view.h"

class CESet;
class HostOutput;
class HostReceiver;
class RecordTally;
class CNyxWnd;
class CSComm;
class CSerComm;
class SonarSimulation;
class CTextLineFeeder;
class CUDPController;
namespace Nyx {
class ReportSink;
}

// What the command line asks of one COM line.
struct HostLineConfig {
  int com = 0;
  std::string decode;  // registry name or 1-based index; empty = as loaded
  std::string encode;
  std::optional<unsigned> baud;
  std::string syncChar;  // a number, a sync-character name or one character; empty = as loaded
};

// The UDP controller's end point and switch as the command line gives them.
struct HostUdpConfig {
  bool add = false;  // a controller even when the station has none
  std::optional<std::string> host;
  std::optional<int> srcPort;
  std::optional<int> dstPort;
  bool enable = false;
  std::string texts;  // file or FIFO of texts to send; empty = none
  std::string bind;                // receive on this address only; empty = every address
  std::vector<std::uint32_t> allow;  // take datagrams from these senders only; empty = any

  bool Asked() const {
    return add || host || srcPort || dstPort || enable || !texts.empty() || !bind.empty() || !allow.empty();
  }
};

struct HostConfig {
  // What the command line sets overrides what the station file holds.
  std::map<int, std::string> comPaths;
  std::vector<HostLineConfig> lines;  // in the order the COM numbers were first named
  bool enable = false;
  std::optional<double> triggerHz;  // none = the station's (default 20)
  std::optional<double> pollHz;     // none = the station's (default 1)
  HostUdpConfig udp;

  std::optional<double> duration;  // seconds; none = until stopped
  std::string records = "-";       // file, or - for standard output
  std::string events;              // file of report and info lines; empty = none
  std::string status;              // file of status lines, one a second; empty = none
  std::string settings;            // station file to load at start-up
  std::string save;                // station file to store at shutdown
  std::string targets;             // file or FIFO of target texts
  int sonarSim = 0;                // simulated sonar heads, 0 to 4
  bool setPcClock = false;         // let ZDA time set the PC clock
  std::optional<int> nyxLevel;     // the host's operator level
  bool reportsToStderr = true;     // off while a status view has the terminal
  std::string gpsd;                // [ADDR:]PORT of the gpsd service; empty = none
  std::size_t minLines = 0;        // the serial window has at least this many lines
  int hubSim = 0;                  // simulated hubs, 0 to 4
  std::vector<HubDropOption> hubDrops;
  std::optional<int> hubId;        // the hub window's "Hub ID"
  std::vector<HubPortOption> hubPorts;
  std::string hubImport;           // hub settings file imported after the station loads
  std::string hubExport;           // hub settings file exported at shutdown
  bool msgBoxYes = true;           // how message boxes are answered

  // Any of the hub options: the station needs a hub window.
  bool HubAsked() const {
    return hubSim > 0 || hubId || !hubPorts.empty() || !hubImport.empty() || !hubExport.empty();
  }

  // The "N=VALUE" options; false with a one-line reason in error.
  bool AddCom(const std::string& text, std::string& error);
  bool AddDecode(const std::string& text, std::string& error);
  bool AddEncode(const std::string& text, std::string& error);
  bool AddBaud(const std::string& text, std::string& error);
  bool AddSyncChar(const std::string& text, std::string& error);

  // The line of COM n, made on first mention.
  HostLineConfig& Line(int com);

  // The rates, duration and ports: false with a one-line reason in error.
  bool Check(std::string& error) const;
};

// A UDP port number the controller takes.
bool IsUdpPortNumber(long long port);

// Exit codes of the host program.
inline constexpr int kHostOk = 0;
inline constexpr int kHostFileError = 1;
inline constexpr int kHostOptionError = 2;

class HostRunner {
 public:
  // The serial comms window's name when the station names none, the column
  // of the windows' own settings, and the task of the target texts.
  static constexpr const char* kWindowName = Station::kSerialName;
  static constexpr const char* kHostColumn = "Host";
  static constexpr const char* kTargetTask = "Target";
  static constexpr const char* kUdpClass = "CUDPController";
  static constexpr const char* kUdpName = "UDP";
  // The UDP controller's panel entries the command line sets.
  static constexpr const char* kUdpHostCtrl = "UDP Host";
  static constexpr const char* kUdpSrcPortCtrl = "UDP Source Port";
  static constexpr const char* kUdpDstPortCtrl = "UDP Destination Port";
  static constexpr const char* kUdpEnableCtrl = "Enable UDP Comms";
  static constexpr const char* kHubClass = "CSerComm";
  static constexpr const char* kHubName = "Hub";

  explicit HostRunner(HostConfig config);
  ~HostRunner();
  HostRunner(const HostRunner&) = delete;
  HostRunner& operator=(const HostRunner&) = delete;

  // Creates the windows, loads the settings and opens the lines. kHostOk, or
  // the exit code with a one-line reason in error.
  int Start(std::string& error);
  // Triggers and polls until the duration ends, Stop is called or stopFd (a
  // signalfd, say; -1 for none) turns readable. Sleeps in between.
  void Run(int stopFd = -1);
  // Ends Run from any thread.
  void Stop();
  // Info 104 (the lines close), the settings saved when asked, the windows
  // destroyed. kHostOk, or kHostFileError with the reason in error.
  int Shutdown(std::string& error);

  // The first serial comms window, and the UDP controller, when the station has them.
  CSComm* Window() const { return m_window; }
  CUDPController* Udp() const { return m_udp; }
  // The first hub window, when the station has one.
  CSerComm* Hub() const { return m_hub; }
  // The windows in creation order.
  std::vector<CNyxWnd*> Windows() const;
  const Station& GetStation() const { return m_station; }
  unsigned long Triggers() const { return m_triggers.load(); }
  unsigned long Polls() const { return m_polls.load(); }

  // Every port, link and alarm as they are now, and the records so far.
  StationStatus Status();
  std::vector<ActiveAlarm> Alarms() const { return m_alarms->Active(); }
  // Runs task on the trigger thread under the host lock, before the next trigger.
  void Post(std::function<void()> task);
  // Called on the trigger thread once a second while Run runs.
  void SetStatusListener(std::function<void(const StationStatus&)> listener) { m_statusListener = std::move(listener); }
  // Attaches a service before Start; it lives until the runner goes.
  void AddService(std::unique_ptr<HostService> service) { m_services.push_back(std::move(service)); }

 private:

  struct ResolvedLine {
    const HostLineConfig* config = nullptr;
    std::optional<int> decode;
    std::optional<int> encode;
    std::optional<unsigned char> syncChar;
  };

  // The station: from the file or the default, with the command line applied.
  int PrepareStation(const CESet& settings, std::string& error);
  int OpenOutputs(std::string& error);
  int CreateWindows(std::string& error);
  // The serial window's line count: the settings' lines, then the command line's new ones.
  void CountLines(const CESet& settings);
  // Names, options and stored settings into the windows (the lines open).
  void LoadWindows(CESet& settings, bool targets);
  // Open and configuration failures of the lines, on standard error.
  void ReportLineErrors();
  // Registry indices and codes of the line options, before anything opens.
  int ResolveLines(std::string& error);
  void ApplyLines();
  void ApplyControls();
  // The hub options: import, Hub ID, ports.
  int ApplyHub(std::string& error);
  // "Enable Comms" ticked on every comm window, callbacks and all.
  void TickEnable();
  int StartFeeders(std::string& error);
  void StopFeeders();
  int SaveStation(std::string& error);
  void Trigger();
  void Poll();
  void PublishStatus();

  HostConfig m_config;
  Station m_station;
  std::shared_ptr<HostOutput> m_records;
  std::shared_ptr<HostOutput> m_events;
  std::shared_ptr<HostOutput> m_statusFile;
  std::shared_ptr<AlarmBoard> m_alarms;
  std::shared_ptr<RecordTally> m_tally;
  std::vector<std::unique_ptr<HostService>> m_services;
  std::unique_ptr<HostReceiver> m_receiver;
  // In creation order; destroyed in reverse, never under the host lock.
  std::vector<std::unique_ptr<CNyxWnd>> m_windows;
  CSComm* m_window = nullptr;
  CUDPController* m_udp = nullptr;
  CSerComm* m_hub = nullptr;
  bool m_hubAdded = false;  // the station had no hub window: the hub options made one
  std::unique_ptr<HubSimulation> m_hubSim;
  std::string m_serialName;  // the station's name of m_window
  std::unique_ptr<CTextLineFeeder> m_targetFeed;
  std::unique_ptr<CTextLineFeeder> m_udpFeed;
  std::unique_ptr<SonarSimulation> m_sonarSim;
  std::vector<ResolvedLine> m_resolved;
  std::size_t m_fileLines = 0;  // lines the settings file holds, before the command line's
  std::shared_ptr<Nyx::ReportSink> m_previousSink;
  std::function<void(const StationStatus&)> m_statusListener;
  std::mutex m_postLock;
  std::vector<std::function<void()>> m_posted;
  int m_stopFd = -1;
  double m_lastTrigger = 0.0;
  // Steady-clock ticks of Run's start and end (0 = not yet), read by Status from any thread.
  std::atomic<std::chrono::steady_clock::rep> m_runStart{0};
  std::atomic<std::chrono::steady_clock::rep> m_runEnd{0};
  std::atomic<unsigned long> m_triggers{0};
  std::atomic<unsigned long> m_polls{0};
  bool m_previousPcClock = false;
  int m_previousLevel = 0;
  bool m_started = false;  // resources to release
  bool m_ready = false;    // started in full
  bool m_shutDown = false;
};
