// nyxhost: run a station. Creates the station's windows (a serial comms
// window by default, with one line per COM number named on the command line),
// loads the station file when given, and triggers the windows until the
// duration ends or SIGINT, SIGTERM or SIGHUP arrives. On a terminal a live status view
// shows every port and the alarms while records go to a file; otherwise
// records go to standard output (or a file) as JSON lines and reports to
// standard error.
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "nyxhost/chrony_service.h"
#include "nyxhost/gpsd_service.h"
#include "nyxhost/demo_station.h"
#include "nyxhost/host_options.h"
#include "nyxhost/host_runner.h"
#include "nyxhost/panel_server.h"
#include "nyxhost/status_view.h"

namespace {

bool ColourWanted() {
  const char* term = std::getenv("TERM");
  return std::getenv("NO_COLOR") == nullptr && !(term && std::strcmp(term, "dumb") == 0);
}

void PrintLines(std::FILE* file, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) std::fprintf(file, "%s\n", line.c_str());
  std::fflush(file);
}

// What the panel page calls the station: its file or the demo, and the machine.
std::string StationLabel(const HostCommandLine& commandLine) {
  std::string label = commandLine.demo ? "demo" : commandLine.config.settings.empty() ? "station" : commandLine.config.settings;
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) == 0 && host[0]) label += std::string(" on ") + host;
  return label;
}

// Serves every window's panel while the station runs; null with the reason in error.
std::unique_ptr<PanelServer> StartPanel(const HostCommandLine& commandLine, const std::string& station,
                                        HostRunner& runner, std::string& error) {
  PanelServer::Config config;
  config.address = *commandLine.panel;
  config.token = commandLine.panelToken;
  config.station = station;
  std::vector<ServedWindow> windows;
  const std::vector<CNyxWnd*> list = runner.Windows();
  for (std::size_t i = 0; i < list.size(); ++i) windows.push_back({runner.GetStation().windows[i].name, list[i]});
  auto server = std::make_unique<PanelServer>(
      config, std::move(windows), [&runner] { return runner.Alarms(); },
      [&runner](std::function<void()> task) { runner.Post(std::move(task)); });
  if (!server->Start(error)) return nullptr;
  return server;
}

}  // namespace

int main(int argc, char** argv) {
  // The signals are taken from a descriptor by the trigger loop, from the
  // first moment on: an interrupt during start-up ends the run in order too.
  // Every thread started from here on inherits the blocked mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  // A closed terminal ends the run in order as well.
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
  // A closed records pipe ends the run instead of the process.
  std::signal(SIGPIPE, SIG_IGN);

  HostCommandLine commandLine;
  if (const int code = ParseHostCommandLine(argc, argv, commandLine, std::cout, std::cerr); code >= 0) return code;
  HostConfig& config = commandLine.config;

  // On a terminal the view has standard output; the records need a file then.
  const bool terminal = ::isatty(STDOUT_FILENO) != 0;
  if (!commandLine.recordsGiven) {
    config.records = commandLine.demo || (terminal && !commandLine.noView) ? DemoStation::kRecords : "-";
  }
  const bool view = terminal && !commandLine.noView && config.records != "-";
  // Report lines would scroll the view away; --events keeps them.
  if (view && ::isatty(STDERR_FILENO)) config.reportsToStderr = false;

  std::string error;
  DemoStation demo;
  if (commandLine.demo && !demo.Start(config, error)) {
    std::fprintf(stderr, "nyxhost: %s\n", error.c_str());
    return kHostFileError;
  }

  const std::string records = config.records;
  const HostCommandLine& options = commandLine;
  const std::string station = StationLabel(commandLine);
  const std::string gpsd = config.gpsd;
  HostRunner runner(std::move(config));
  if (!gpsd.empty()) runner.AddService(MakeGpsdHostService(gpsd));
  if (commandLine.chronyShm) runner.AddService(std::make_unique<ChronyService>(*commandLine.chronyShm));
  std::unique_ptr<PanelServer> panel;
  std::string panelUrl;
  TerminalView terminalView(STDOUT_FILENO);
  const ViewStyle style{0, ColourWanted()};
  const auto draw = [&](const StationStatus& status) {
    ViewStyle now = style;
    now.width = terminalView.Width();
    StationStatus shown = status;
    shown.panel = panelUrl;
    terminalView.Draw(RenderStatusView(shown, now));
  };
  if (view) runner.SetStatusListener(draw);

  int result = runner.Start(error);
  if (result == kHostOk && options.panel) {
    if ((panel = StartPanel(options, station, runner, error))) {
      panelUrl = panel->Url();
      std::fprintf(stderr, "nyxhost: operator panel at %s%s\n", panelUrl.c_str(),
                   options.panelToken.empty() ? "" : " (with its token)");
    } else {
      result = kHostFileError;
    }
  }
  if (result == kHostOk) {
    if (view) draw(runner.Status());
    runner.Run(signalFd);
    if (view) {
      draw(runner.Status());
      terminalView.Release();
    }
  } else {
    std::fprintf(stderr, "nyxhost: %s\n", error.c_str());
  }
  // The page hears that the station goes before its windows do.
  panel.reset();
  std::string shutdownError;
  if (runner.Shutdown(shutdownError) != kHostOk) {
    std::fprintf(stderr, "nyxhost: %s\n", shutdownError.c_str());
    if (result == kHostOk) result = kHostFileError;
  }
  demo.Stop();
  // Standard output carries records only, unless the view has it.
  if (result == kHostOk && records != "-") PrintLines(view ? stdout : stderr, RenderSummary(runner.Status(), records));
  return result;
}
