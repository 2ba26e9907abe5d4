// What the host shows while it runs: one line per port (name, decoder, status
// light, rate, data age, last message), the alarms in force, and at the end a
// count of the records per kind. Rendering is a pure function of a snapshot,
// so it is tested without a terminal; the terminal side only redraws the
// lines in place once a second.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/report.h"

struct PortStatus {
  std::string window;   // the window that owns the port
  std::string name;     // "COM3", "ZepPort01:Serial00"
  std::string device;   // the device path, when there is one
  std::string decoder;  // decoder name; empty when none
  int light = 3;        // 0 red, 1 yellow, 2 green, 3 grey
  std::string hz;
  std::optional<double> age;  // seconds since the last message; none before the first
  std::string last;           // the last message, UTF-8
};

struct ActiveAlarm {
  int id = 0;
  int level = 0;
  std::string text;
};

struct RecordCount {
  int kind = 0;
  std::string className;
  unsigned long count = 0;
};

// A sonar hub heard on the network, as its latest status describes it.
struct HubHeard {
  int position = 0;   // 1-based, in the order first heard
  int id = 0;
  std::string address;  // the fixed IP address
  double volts = 0.0;
  double temperature = 0.0;  // degrees Celsius
  unsigned long messages = 0;
  bool selected = false;     // the hub window's "Hub ID"
};

struct StationStatus {
  double elapsed = 0.0;  // seconds since the host started triggering
  unsigned long triggers = 0;
  std::vector<PortStatus> ports;
  std::vector<std::string> links;  // windows without ports (the UDP link), one text each
  std::vector<HubHeard> hubs;      // hubs heard, in list order
  std::vector<ActiveAlarm> alarms;
  std::vector<RecordCount> records;  // by kind
  std::string panel;                 // the operator panel's address, when it is served
};

// The alarms in force: an alarm is raised by a report of level 0 or more and
// ended by level -1, by its id. Fed from any thread.
class AlarmBoard {
 public:
  void OnReport(const Nyx::Report& report);
  // By id.
  std::vector<ActiveAlarm> Active() const;

 private:
  mutable std::mutex m_lock;
  std::map<int, ActiveAlarm> m_alarms;
};

const char* LightName(int light);

struct ViewStyle {
  int width = 80;  // columns; every line is cut to it
  bool colour = true;
};

// The status view: a header, the panel's address, one line per port, the
// link lines, the hubs heard, then the alarms.
std::vector<std::string> RenderStatusView(const StationStatus& status, const ViewStyle& style);
// The closing summary: records per kind and where they went.
std::vector<std::string> RenderSummary(const StationStatus& status, const std::string& recordsPath);
// The snapshot as one JSON line, for a monitoring file.
std::string StatusJsonLine(const StationStatus& status);

// Text as a terminal shows it in one line: control characters become '.',
// and the text is cut to at most columns characters (UTF-8 aware).
std::string CutToColumns(const std::string& text, int columns);

// Redraws a block of lines in place on a terminal: the cursor goes back up
// over the previous block and every line is cleared before it is written.
class TerminalView {
 public:
  explicit TerminalView(int fd) : m_fd(fd) {}
  // The terminal's width, or 80 when it cannot be read.
  int Width() const;
  void Draw(const std::vector<std::string>& lines);
  // Leaves the last block on screen; later output goes below it.
  void Release() { m_drawn = 0; }

 private:
  int m_fd;
  int m_drawn = 0;
};
