#include "nyxhost/demo_station.h"

#include <algorithm>
#include <cstring>

#include "net/udp_socket.h"
#include "sonar/hub_simulator.h"

StallPingPeer::StallPingPeer(std::string host, int port, std::chrono::milliseconds first,
                             std::chrono::milliseconds period)
    : m_first(first), m_period(period) {
  m_link.m_host = std::move(host);
  m_link.m_srcPort = 0;  // any free port: the host does not answer
  m_link.m_dstPort = port;
  m_link.LatchEndpoint();
  m_link.m_state = 0;
}

StallPingPeer::~StallPingPeer() { Stop(); }

std::string StallPingPeer::Sentence(int value) {
  std::string sentence = NmeaSentence("PVKRSTP," + std::to_string(value));
  sentence.resize(sentence.size() - 2);  // no CR LF in a packet
  return sentence;
}

void StallPingPeer::Start() {
  if (m_thread.joinable()) return;
  {
    std::lock_guard guard(m_lock);
    m_stop = false;
  }
  m_thread = std::thread(&StallPingPeer::Run, this);
}

void StallPingPeer::Stop() {
  {
    std::lock_guard guard(m_lock);
    m_stop = true;
  }
  m_wake.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

unsigned long StallPingPeer::Sent() const {
  std::lock_guard guard(m_lock);
  return m_sent;
}

void StallPingPeer::Send(int value) {
  const std::string text = Sentence(value);
  const TimeB64 now = ReadTimeB64();
  // With its NUL, as the controller's own packets carry it.
  m_link.m_pManager->SendUnlocked(text.c_str(), static_cast<int>(text.size() + 1), now.millitm * 1000u, now);
}

void StallPingPeer::Run() {
  auto due = std::chrono::steady_clock::now() + m_first;
  for (int value = 1;; value = 1 - value) {
    {
      std::unique_lock guard(m_lock);
      if (m_wake.wait_until(guard, due, [this] { return m_stop; })) return;
    }
    Send(value);
    {
      std::lock_guard guard(m_lock);
      ++m_sent;
    }
    due += m_period;
  }
}

const std::vector<DemoStation::Sensor>& DemoStation::Sensors() {
  // Rates a real installation would use; the pseudo-terminals carry any.
  // The terminators are given: the serial window sets the PPS and pressure
  // ones itself only up to the first such line.
  static const std::vector<Sensor> sensors = {
      {1, "GPGGA + ZDA", 9600, "<LF>", MakeGgaZdaSensor},
      {2, "PPS", 9600, "<NUL>", MakePpsLine},
      {3, "TSS Std 1 + HEHDT", 19200, "<LF>", MakeTss1HehdtSensor},
      {4, "OctansAll", 38400, "<LF>", MakeOctansSensor},
      {5, "Speed of Sound", 9600, "<LF>", MakeSoundSpeedProbe},
      {6, "PSea Pressure", 9600, ";", MakePressureSensor},
  };
  return sensors;
}

const std::vector<HubPortOption>& DemoStation::HubPorts() {
  static const std::vector<HubPortOption> ports = {
      {CHubSimulator::kGpsPort, "GPGGA + ZDA", CHubSimulator::BaudIndex(CHubSimulator::kGpsBaud), 0},
      {CHubSimulator::kMotionPort, "TSS Std 1", CHubSimulator::BaudIndex(CHubSimulator::kMotionBaud), 0},
  };
  return ports;
}

bool DemoStation::Start(HostConfig& config, std::string& error) {
  for (const Sensor& sensor : Sensors()) {
    const std::string path = m_player.Add(sensor.make());
    if (path.empty()) {
      error = "cannot open a pseudo-terminal for the demo's sensors: " + std::string(std::strerror(errno));
      return false;
    }
    // What the command line names for these COM numbers wins.
    config.comPaths.try_emplace(sensor.com, path);
    HostLineConfig& line = config.Line(sensor.com);
    if (line.decode.empty()) line.decode = sensor.decoder;
    if (!line.baud) line.baud = sensor.baud;
    if (line.syncChar.empty()) line.syncChar = sensor.syncChar;
  }
  config.enable = true;
  // The serial panel gives rows to all lines but the last two: two spare
  // lines give every sensor its row.
  config.minLines = std::max(config.minLines, Sensors().size() + 2);

  // Loopback ports of the demo's own, so that it runs beside a station that
  // uses the usual ones: held open together so that they differ.
  HostUdpConfig& udp = config.udp;
  udp.add = true;
  if (!udp.host) udp.host = "127.0.0.1";
  CUdpSocket srcHold, dstHold;
  if (!udp.srcPort && srcHold.Open(0) == 0) udp.srcPort = srcHold.LocalPort();
  if (!udp.dstPort && dstHold.Open(0) == 0) udp.dstPort = dstHold.LocalPort();
  if (!udp.srcPort || !udp.dstPort) {
    error = "cannot find a free UDP port on this machine for the demo";
    return false;
  }
  udp.enable = true;

  // A simulated sonar head with a GPS on its first serial port.
  if (config.sonarSim == 0) config.sonarSim = 1;
  // A simulated hub whose GPS and motion sensor decode at their own rates;
  // the command line's ports win.
  if (config.hubSim == 0) config.hubSim = 1;
  for (const HubPortOption& port : HubPorts()) {
    const auto given = std::find_if(config.hubPorts.begin(), config.hubPorts.end(),
                                    [&](const HubPortOption& option) { return option.port == port.port; });
    if (given == config.hubPorts.end()) config.hubPorts.push_back(port);
  }

  m_peer = std::make_unique<StallPingPeer>(*udp.host, *udp.dstPort, kFirstPing, kPingPeriod);
  m_player.Start();
  m_peer->Start();
  return true;
}

void DemoStation::Stop() {
  if (m_peer) m_peer->Stop();
  m_player.Stop();
}
