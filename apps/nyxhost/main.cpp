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
#include <string>

#include "nyxhost/demo_station.h"
#include "nyxhost/host_options.h"
#include "nyxhost/host_runner.h"
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
  HostRunner runner(std::move(config));
  TerminalView terminalView(STDOUT_FILENO);
  const ViewStyle style{0, ColourWanted()};
  const auto draw = [&](const StationStatus& status) {
    ViewStyle now = style;
    now.width = terminalView.Width();
    terminalView.Draw(RenderStatusView(status, now));
  };
  if (view) runner.SetStatusListener(draw);

  int result = runner.Start(error);
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
