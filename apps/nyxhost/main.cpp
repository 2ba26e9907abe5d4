// nyxhost: run the module. Creates the serial comms window with one line per
// COM number named on the command line, loads settings when given, and
// triggers it until the duration ends or SIGINT/SIGTERM arrives; records go
// to standard output (or a file) as JSON lines, reports to standard error.
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "nyxhost/host_runner.h"

namespace {

// Adds each "N=VALUE" of a repeatable option; false with the reason.
template <class Add>
bool AddEach(const std::vector<std::string>& values, Add add, std::string& error) {
  for (const std::string& value : values) {
    if (!add(value, error)) return false;
  }
  return true;
}

const CLI::Validator kAboveZero(
    [](const std::string& text) -> std::string {
      double value = 0;
      return CLI::detail::lexical_cast(text, value) && value > 0 ? "" : "must be a number above 0, not " + text;
    },
    "");

const CLI::Validator kZeroOrMore(
    [](const std::string& text) -> std::string {
      double value = 0;
      return CLI::detail::lexical_cast(text, value) && value >= 0 ? "" : "must be a number of 0 or more, not " + text;
    },
    "");

}  // namespace

int main(int argc, char** argv) {
  HostConfig config;
  std::vector<std::string> coms, decodes, encodes, bauds, syncChars;
  double duration = -1.0;

  CLI::App app{"Run the sensor comms module on serial lines.", "nyxhost"};
  app.add_option("--com", coms, "Map COM port number N to a device path (repeatable); default /dev/ttyS<N-1>")
      ->type_name("N=PATH");
  app.add_option("--decode", decodes, "Line for COM N decodes with registry name or index NAME (repeatable)")
      ->type_name("N=NAME");
  app.add_option("--encode", encodes, "Line for COM N encodes with registry name or index NAME (repeatable)")
      ->type_name("N=NAME");
  app.add_option("--baud", bauds, "Line rate of COM N, any rate the driver takes (default 9600)")->type_name("N=RATE");
  app.add_option("--sync-char", syncChars,
                 "Message terminator of COM N: a code 0-255, a name such as <CR>, or one character (default 10, <LF>)")
      ->type_name("N=C");
  app.add_flag("--enable", config.enable, "Switch \"Enable Comms\" on after start-up (info 101); without it, or "
                                          "\"CommsEnabled\" in the settings, nothing is read or sent");
  app.add_option("--trigger-hz", config.triggerHz, "Trigger rate in Hz (default 20)")
      ->type_name("F")
      ->check(kAboveZero);
  app.add_option("--duration", duration, "Stop after S seconds (default: run until interrupted)")
      ->type_name("S")
      ->check(kZeroOrMore);
  app.add_option("--records", config.records,
                 "Write records as JSON lines to FILE, or - for standard output (default -)")
      ->type_name("FILE|-");
  app.add_option("--events", config.events, "Write host reports and info messages as JSON lines to FILE (default: none)")
      ->type_name("FILE");
  app.add_option("--settings", config.settings, "Load the host settings file at start-up (default: none)")
      ->type_name("FILE");
  app.add_option("--save", config.save, "Store the settings into FILE at shutdown (default: none)")->type_name("FILE");
  app.add_option("--targets", config.targets,
                 "Send every line read from PATH (a file or a FIFO) to the lines encoding target data (default: none)")
      ->type_name("PATH");
  app.add_option("--sonar-sim", config.sonarSim,
                 "Simulate N sonar heads (0-4) whose serial ports reach the sonar-routed ports; the first carries a GPS")
      ->type_name("N")
      ->check(CLI::Range(0, 4));
  app.footer(
      "Example: nyxhost --com 1=/dev/ttyUSB0 --decode 1=\"GPGGA + ZDA\" --baud 1=4800 --enable\n"
      "Decoder and encoder names: nyxdecode --list. Reports go to standard error.");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return kHostOk;
  } catch (const CLI::ParseError& error) {
    std::fprintf(stderr, "nyxhost: %s\n", error.what());
    return kHostOptionError;
  }
  if (app.count("--duration")) config.duration = duration;

  std::string error;
  const bool parsed = AddEach(coms, [&](const auto& v, auto& e) { return config.AddCom(v, e); }, error) &&
                      AddEach(decodes, [&](const auto& v, auto& e) { return config.AddDecode(v, e); }, error) &&
                      AddEach(encodes, [&](const auto& v, auto& e) { return config.AddEncode(v, e); }, error) &&
                      AddEach(bauds, [&](const auto& v, auto& e) { return config.AddBaud(v, e); }, error) &&
                      AddEach(syncChars, [&](const auto& v, auto& e) { return config.AddSyncChar(v, e); }, error);
  if (!parsed) {
    std::fprintf(stderr, "nyxhost: %s\n", error.c_str());
    return kHostOptionError;
  }

  // The signals are taken from a descriptor by the trigger loop; every thread
  // started from here on inherits the blocked mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
  // A closed records pipe ends the run instead of the process.
  std::signal(SIGPIPE, SIG_IGN);

  HostRunner runner(std::move(config));
  int result = runner.Start(error);
  if (result == kHostOk) {
    runner.Run(signalFd);
  } else {
    std::fprintf(stderr, "nyxhost: %s\n", error.c_str());
  }
  std::string shutdownError;
  if (runner.Shutdown(shutdownError) != kHostOk) {
    std::fprintf(stderr, "nyxhost: %s\n", shutdownError.c_str());
    if (result == kHostOk) result = kHostFileError;
  }
  return result;
}
