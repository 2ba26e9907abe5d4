#include "nyxhost/host_options.h"

#include <ostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "net/udp_socket.h"
#include "number_checks.h"
#include "net/gpsd_server.h"
#include "nyxhost/demo_station.h"

namespace {

// Adds each "N=VALUE" of a repeatable option; false with the reason.
template <class Add>
bool AddEach(const std::vector<std::string>& values, Add add, std::string& error) {
  for (const std::string& value : values) {
    if (!add(value, error)) return false;
  }
  return true;
}

const CLI::Validator kUdpPort(
    [](const std::string& text) -> std::string {
      int value = 0;
      return CLI::detail::lexical_cast(text, value) && IsUdpPortNumber(value)
                 ? ""
                 : "must be a port from 1 to 65535, not " + text;
    },
    "");

const CLI::Validator kGpsdEndpoint(
    [](const std::string& text) -> std::string {
      std::string address, error;
      int port = 0;
      return ParseGpsdEndpoint(text, address, port, error) ? "" : error;
    },
    "");

const CLI::Validator kIpv4(
    [](const std::string& text) -> std::string {
      std::uint32_t address = 0;
      return ParseIpv4(text, address) ? "" : "must be an IPv4 address such as 192.168.1.10, not " + text;
    },
    "");

}  // namespace

int ParseHostCommandLine(int argc, const char* const* argv, HostCommandLine& out, std::ostream& helpOut,
                         std::ostream& errorOut) {
  HostConfig& config = out.config;
  std::vector<std::string> coms, decodes, encodes, bauds, syncChars;
  double duration = -1.0, triggerHz = 0.0, pollHz = 0.0;
  std::string udpHost;
  int udpSrcPort = 0, udpDstPort = 0, nyxLevel = 0;

  CLI::App app{"Run a station of sensors on serial lines: decode them, time them, and write their records.",
               "nyxhost"};
  app.add_flag("--demo", out.demo,
               "Run the demonstration station: simulated sensors on pseudo-terminals (COM1 to COM6), a simulated "
               "sonar head and hub, and a UDP peer sending stall pings, comms on; needs no hardware (default off)");
  app.add_option("--settings", config.settings,
                 "Start the station kept in FILE: its windows, COM ports, rates and settings (default: one serial "
                 "window)")
      ->type_name("FILE");
  app.add_option("--save", config.save,
                 "Store the station into FILE at shutdown; may be the --settings file (default: none)")
      ->type_name("FILE");
  app.add_option("--com", coms, "Map COM port number N to a device path (repeatable); default /dev/ttyS<N-1>")
      ->type_name("N=PATH");
  app.add_option("--decode", decodes, "Line for COM N decodes with registry name or index NAME (repeatable; default: as the station holds it, else none)")
      ->type_name("N=NAME");
  app.add_option("--encode", encodes, "Line for COM N encodes with registry name or index NAME (repeatable; default: as the station holds it, else none)")
      ->type_name("N=NAME");
  app.add_option("--baud", bauds, "Line rate of COM N, any rate the driver takes (default 9600)")->type_name("N=RATE");
  app.add_option("--sync-char", syncChars,
                 "Message terminator of COM N: a code 0-255, a name such as <CR>, or one character (default 10, <LF>)")
      ->type_name("N=C");
  app.add_flag("--enable", config.enable,
               "Tick \"Enable Comms\" after start-up as an operator would (info 101; the hub window picks its hub "
               "first); without it, or \"CommsEnabled\" in the station, nothing is read or sent (default off)");
  app.add_option("--trigger-hz", triggerHz, "Trigger rate in Hz (default 20, or the station's)")
      ->type_name("F")
      ->check(kAboveZero);
  app.add_option("--poll-hz", pollHz, "Poll rate in Hz (default 1, or the station's)")->type_name("F")->check(kAboveZero);
  app.add_option("--duration", duration, "Stop after S seconds (default: run until interrupted)")
      ->type_name("S")
      ->check(kZeroOrMore);
  app.add_option("--records", config.records,
                 std::string("Write records as JSON lines to FILE, or - for standard output (default -; ") +
                     DemoStation::kRecords + " with --demo or the status view)")
      ->type_name("FILE|-");
  app.add_option("--events", config.events, "Write host reports and info messages as JSON lines to FILE (default: none)")
      ->type_name("FILE");
  app.add_option("--status", config.status,
                 "Append the status of every port, link and alarm to FILE as one JSON line a second (default: none)")
      ->type_name("FILE");
  app.add_flag("--no-view", out.noView,
               "No live status view, even when standard output is a terminal (default: the view on a terminal)");
  app.add_option("--targets", config.targets,
                 "Send every line read from PATH (a file or a FIFO) to the lines encoding target data (default: none)")
      ->type_name("PATH");
  app.add_option("--sonar-sim", config.sonarSim,
                 "Simulate N sonar heads (0-4) whose serial ports reach the sonar-routed ports; the first carries a "
                 "GPS (default 0)")
      ->type_name("N")
      ->check(CLI::Range(0, 4));
  app.add_option("--hub-sim", config.hubSim,
                 "Simulate N sonar hubs (0-4), ids 100 onwards, each with a GPS on port A (4800 baud) and a TSS 1 "
                 "motion sensor on port B (9600 baud); adds the hub window \"Hub\" when the station has none "
                 "(default 0)")
      ->type_name("N")
      ->check(CLI::Range(0, 4));
  std::vector<std::string> hubDrops, hubPorts;
  app.add_option("--hub-sim-drop", hubDrops,
                 "Simulated hub ID falls silent S seconds after start-up (repeatable; default: none)")
      ->type_name("ID@S");
  app.add_option("--hub-id", config.hubId, "The hub window's \"Hub ID\" (default 100, or the station's)")
      ->type_name("N")
      ->check(CLI::Range(0, 65535));
  app.add_option("--hub-port", hubPorts,
                 "Hub port L (A-H) decodes with registry name or index DECODER, at a hub rate (300-115200), as ascii "
                 "or binary lines or as an echo of port M (repeatable; default: as the station holds it)")
      ->type_name("L=DECODER[,BAUD][,ascii|binary|echo:M]");
  app.add_option("--hub-import", config.hubImport,
                 "Import this hub settings file after the station loads (default: none)")
      ->type_name("FILE");
  app.add_option("--hub-export", config.hubExport, "Export the hub settings to FILE at shutdown (default: none)")
      ->type_name("FILE");
  std::string msgBoxAnswer = "yes";
  app.add_option("--msgbox-answer", msgBoxAnswer,
                 "Answer yes/no message boxes yes (6) or no (7); boxes that only inform get OK (1) (default yes)")
      ->type_name("yes|no")
      ->check(CLI::IsMember({"yes", "no"}));
  app.add_flag("--udp", config.udp.add,
               "Add the UDP controller window \"UDP\" when the station has none (default off; any --udp-... option "
               "adds it too)");
  app.add_option("--udp-host", udpHost, "Host the UDP controller sends to (default localhost)")->type_name("NAME");
  app.add_option("--udp-src-port", udpSrcPort, "Local port of the UDP controller's sends (default 52904)")
      ->type_name("N")
      ->check(kUdpPort);
  app.add_option("--udp-dst-port", udpDstPort,
                 "Port the UDP controller sends to and receives on (default 52905)")
      ->type_name("N")
      ->check(kUdpPort);
  app.add_flag("--udp-enable", config.udp.enable, "Tick \"Enable UDP Comms\" after start-up (default off)");
  app.add_option("--udp-texts", config.udp.texts,
                 "Send every line read from PATH (a file or a FIFO) over UDP (info 12020) (default: none)")
      ->type_name("PATH");
  app.add_option("--udp-bind", config.udp.bind,
                 "Receive UDP on this local address only (default: every address)")
      ->type_name("ADDR")
      ->check(kIpv4);
  std::vector<std::string> udpAllow;
  app.add_option("--udp-allow", udpAllow,
                 "Take UDP datagrams only from these senders; others are dropped and counted (default: any)")
      ->type_name("ADDR[,ADDR...]")
      ->delimiter(',')
      ->check(kIpv4);
  app.add_flag("--set-pc-clock", config.setPcClock,
               "Let GPS time (ZDA with a PPS line) step the PC clock; needs CAP_SYS_TIME (default off)");
  app.add_option("--gpsd", config.gpsd,
                 "Serve the records to gpsd clients (gpspipe, cgps, the gps Python module) on TCP [ADDR:]PORT; a bare "
                 "PORT listens on 127.0.0.1 (default: off)")
      ->type_name("[ADDR:]PORT")
      ->check(kGpsdEndpoint);
  app.add_option("--chrony-shm", out.chronyShm,
                 "Publish each pulse whose UTC second a ZDA named into NTP shared-memory unit N (key 0x4E545030 + N) "
                 "for chronyd's refclock SHM N (default off)")
      ->type_name("N")
      ->check(CLI::Range(0, 255));
  app.add_option("--nyx-level", nyxLevel, "The host's operator level (default 0)")->type_name("N");
  std::string panel;
  app.add_option("--panel", panel,
                 "Serve the operator panels to a web browser on [ADDR:]PORT; a bare PORT is 127.0.0.1:PORT, any "
                 "other address needs --panel-token (default off)")
      ->type_name("[ADDR:]PORT");
  app.add_option("--panel-token", out.panelToken,
                 "Secret every panel request must carry (Authorization: Bearer TOKEN, or ?token=TOKEN on the "
                 "page's address) (default none)")
      ->type_name("TOKEN");
  app.footer(
      "Examples:\n"
      "  nyxhost --demo\n"
      "  nyxhost --com 1=/dev/ttyUSB0 --decode 1=\"GPGGA + ZDA\" --baud 1=4800 --enable --save station.xml\n"
      "  nyxhost --settings station.xml\n"
      "  nyxhost --hub-sim 2 --hub-port A=\"GPGGA + ZDA\",4800 --hub-port B=\"TSS Std 1\" --enable\n"
      "Decoder and encoder names: nyxdecode --list. Reports go to standard error.");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    helpOut << app.help();
    return kHostOk;
  } catch (const CLI::ParseError& error) {
    errorOut << "nyxhost: " << error.what() << "\n";
    return kHostOptionError;
  }
  if (app.count("--duration")) config.duration = duration;
  if (app.count("--trigger-hz")) config.triggerHz = triggerHz;
  if (app.count("--poll-hz")) config.pollHz = pollHz;
  if (app.count("--udp-host")) config.udp.host = udpHost;
  if (app.count("--udp-src-port")) config.udp.srcPort = udpSrcPort;
  if (app.count("--udp-dst-port")) config.udp.dstPort = udpDstPort;
  if (app.count("--nyx-level")) config.nyxLevel = nyxLevel;
  for (const std::string& sender : udpAllow) ParseIpv4(sender, config.udp.allow.emplace_back());
  out.recordsGiven = app.count("--records") > 0;
  config.msgBoxYes = msgBoxAnswer == "yes";

  std::string error;
  const bool parsed =
      AddEach(coms, [&](const auto& v, auto& e) { return config.AddCom(v, e); }, error) &&
      AddEach(decodes, [&](const auto& v, auto& e) { return config.AddDecode(v, e); }, error) &&
      AddEach(encodes, [&](const auto& v, auto& e) { return config.AddEncode(v, e); }, error) &&
      AddEach(bauds, [&](const auto& v, auto& e) { return config.AddBaud(v, e); }, error) &&
      AddEach(syncChars, [&](const auto& v, auto& e) { return config.AddSyncChar(v, e); }, error) &&
      AddEach(hubPorts, [&](const auto& v, auto& e) { return ParseHubPort(v, config.hubPorts.emplace_back(), e); },
              error) &&
      AddEach(hubDrops, [&](const auto& v, auto& e) { return ParseHubDrop(v, config.hubDrops.emplace_back(), e); },
              error);
  if (parsed && out.demo && !config.settings.empty()) {
    error = "--demo runs a station of its own; --settings cannot start it (--save keeps it)";
  }
  if (error.empty() && app.count("--panel")) {
    PanelAddress address;
    if (ParsePanelAddress(panel, address, error)) {
      if (!IsLoopbackHost(address.host) && out.panelToken.empty()) {
        error = "--panel " + panel + " is not a loopback address: give --panel-token TOKEN to serve it there";
      } else {
        out.panel = address;
      }
    }
  }
  if (error.empty() && !out.panelToken.empty() && !out.panel) error = "--panel-token needs --panel";
  if (!error.empty()) {
    errorOut << "nyxhost: " << error << "\n";
    return kHostOptionError;
  }
  return -1;
}
