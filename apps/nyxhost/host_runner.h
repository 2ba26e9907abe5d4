// The embedded host: creates the serial comms window by its runtime class,
// passes its options, loads its settings, opens the lines named on the command
// line, switches comms on when asked, triggers the windows on one thread, and
// writes the records and reports that reach the host as JSON lines. nyxhost
// is this runner behind a command line.
#pragma once

#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class CNyxWnd;
class CSComm;
class SonarSimulation;
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

struct HostConfig {
  std::map<int, std::string> comPaths;
  std::vector<HostLineConfig> lines;  // in the order the COM numbers were first named
  bool enable = false;
  double triggerHz = 20.0;
  std::optional<double> duration;  // seconds; none = until stopped
  std::string records = "-";       // file, or - for standard output
  std::string events;              // file of report and info lines; empty = none
  std::string settings;            // settings file to load at start-up
  std::string save;                // settings file to store at shutdown
  std::string targets;             // file or FIFO of target texts
  int sonarSim = 0;                // simulated sonar heads, 0 to 4

  // The "N=VALUE" options; false with a one-line reason in error.
  bool AddCom(const std::string& text, std::string& error);
  bool AddDecode(const std::string& text, std::string& error);
  bool AddEncode(const std::string& text, std::string& error);
  bool AddBaud(const std::string& text, std::string& error);
  bool AddSyncChar(const std::string& text, std::string& error);

  // The line of COM n, made on first mention.
  HostLineConfig& Line(int com);
};

// Exit codes of the host program.
inline constexpr int kHostOk = 0;
inline constexpr int kHostFileError = 1;
inline constexpr int kHostOptionError = 2;

class HostRunner {
 public:
  // The name of the serial comms window, and its object in the host's settings column.
  static constexpr const char* kWindowName = "Serial";
  static constexpr const char* kHostColumn = "Host";
  static constexpr const char* kTargetTask = "Target";

  explicit HostRunner(HostConfig config);
  ~HostRunner();
  HostRunner(const HostRunner&) = delete;
  HostRunner& operator=(const HostRunner&) = delete;

  // Creates the windows, loads the settings and opens the lines. kHostOk, or
  // the exit code with a one-line reason in error.
  int Start(std::string& error);
  // Triggers until the duration ends, Stop is called or stopFd (a signalfd,
  // say; -1 for none) turns readable. Sleeps between triggers.
  void Run(int stopFd = -1);
  // Ends Run from any thread.
  void Stop();
  // Info 104 (the lines close), the settings saved when asked, the windows
  // destroyed. kHostOk, or kHostFileError with the reason in error.
  int Shutdown(std::string& error);

  CSComm* Window() const { return m_window; }
  // Triggers driven so far.
  unsigned long Triggers() const { return m_triggers.load(); }

 private:
  class Output;
  class Receiver;
  class ReportSink;
  class TargetFeed;

  struct ResolvedLine {
    const HostLineConfig* config = nullptr;
    std::optional<int> decode;
    std::optional<int> encode;
    std::optional<unsigned char> syncChar;
  };

  int OpenOutputs(std::string& error);
  // Registry indices and codes of the line options, before anything opens.
  int ResolveLines(std::string& error);
  void ApplyLines();
  void Trigger();

  HostConfig m_config;
  std::shared_ptr<Output> m_records;
  std::shared_ptr<Output> m_events;
  std::unique_ptr<Receiver> m_receiver;
  CSComm* m_window = nullptr;
  std::unique_ptr<CNyxWnd> m_ownedWindow;
  std::unique_ptr<TargetFeed> m_targetFeed;
  std::unique_ptr<SonarSimulation> m_sonarSim;
  std::vector<ResolvedLine> m_resolved;
  std::size_t m_fileLines = 0;  // lines the settings file holds, before the command line's
  std::shared_ptr<Nyx::ReportSink> m_previousSink;
  int m_stopFd = -1;
  double m_lastTrigger = 0.0;
  std::atomic<unsigned long> m_triggers{0};
  bool m_started = false;  // resources to release
  bool m_ready = false;    // started in full
  bool m_shutDown = false;
};
