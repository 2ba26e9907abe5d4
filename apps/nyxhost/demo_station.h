// The demonstration station: simulated sensors on pseudo-terminals at their
// usual rates, a stand-in for the external controller that sends stall pings
// over UDP on loopback, and the host configuration that makes a station of
// them. Needs no hardware and nothing outside this machine.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/udp_link.h"
#include "nyxhost/demo_sensors.h"
#include "nyxhost/host_runner.h"

// Sends a stall ping in a framed packet to host:port now and then from a
// thread of its own, alternately asking to stall ("$PVKRSTP,1*55") and to go
// on ("$PVKRSTP,0*54").
class StallPingPeer {
 public:
  StallPingPeer(std::string host, int port, std::chrono::milliseconds first, std::chrono::milliseconds period);
  ~StallPingPeer();
  StallPingPeer(const StallPingPeer&) = delete;
  StallPingPeer& operator=(const StallPingPeer&) = delete;

  void Start();
  void Stop();
  unsigned long Sent() const;

  // The checksummed sentence for a stall value.
  static std::string Sentence(int value);

 private:
  void Run();
  void Send(int value);

  // A link in send mode: its packet manager frames each ping, its socket sends it.
  CUDPLink m_link;
  std::chrono::milliseconds m_first;
  std::chrono::milliseconds m_period;
  mutable std::mutex m_lock;
  std::condition_variable m_wake;
  bool m_stop = false;
  unsigned long m_sent = 0;
  std::thread m_thread;
};

class DemoStation {
 public:
  // Where the demo's records go unless --records says otherwise.
  static constexpr const char* kRecords = "records.jsonl";
  // How soon the first stall ping goes out, and how often after it.
  static constexpr std::chrono::milliseconds kFirstPing{1500};
  static constexpr std::chrono::milliseconds kPingPeriod{10000};

  struct Sensor {
    int com;
    const char* decoder;
    unsigned baud;
    const char* syncChar;
    std::unique_ptr<SimulatedSensor> (*make)();
  };
  // The demo's lines, COM1 onwards.
  static const std::vector<Sensor>& Sensors();
  // The simulated hub's ports that decode: its GPS and its motion sensor.
  static const std::vector<HubPortOption>& HubPorts();

  DemoStation() = default;
  ~DemoStation() { Stop(); }
  DemoStation(const DemoStation&) = delete;
  DemoStation& operator=(const DemoStation&) = delete;

  // Starts the sensors and the peer and sets config up for them: one line
  // per sensor, comms on, the UDP controller on loopback ports of its own
  // (unless the command line chose them) with "Enable UDP Comms" ticked.
  // False with the reason.
  bool Start(HostConfig& config, std::string& error);
  void Stop();

  const StallPingPeer* Peer() const { return m_peer.get(); }

 private:
  SensorPlayer m_player;
  std::unique_ptr<StallPingPeer> m_peer;
};
