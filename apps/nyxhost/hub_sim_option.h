// nyxhost's hub options: the simulated hubs behind the sonar library
// (--hub-sim, --hub-sim-drop) and the hub window's settings from the command
// line (--hub-id, --hub-port).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CHubSimulator;
class CSerComm;
class CZephraBackend;
class ScopedZephraBackend;

// --hub-port L=DECODER[,BAUD][,ascii|binary|echo:M]
struct HubPortOption {
  int port = 0;                  // 0..7 for A..H
  std::string decoder;           // registry name or index, as given
  std::optional<int> baudIndex;  // the hub's baud index of the rate given
  std::optional<int> mode;       // 0 ascii, 1 binary, 2 + q echo of port q
};

// --hub-sim-drop ID@S
struct HubDropOption {
  std::uint16_t id = 0;
  double seconds = 0.0;
};

// False with a one-line reason naming the option.
bool ParseHubPort(const std::string& text, HubPortOption& out, std::string& error);
bool ParseHubDrop(const std::string& text, HubDropOption& out, std::string& error);

// Applies the port options to the window (decoder, rate, mode, as the
// panel's controls would); false with the reason for an unknown decoder.
bool ApplyHubPorts(CSerComm& window, const std::vector<HubPortOption>& ports, std::string& error);

// The running hub simulation: installed as the sonar library before any hub
// window is made (the window hands the library its handler as it is built),
// started after the windows exist. Destroy it before the windows: it stops
// the hubs and removes them from the sonar library.
class HubSimulation {
 public:
  // The hubs' clocks start this long after the set-up, so that start-up
  // work does not hold back their first status.
  static constexpr double kStartDelay = 0.2;

  // Null, with the reason in error, for a count out of range or a drop of a
  // hub that is not simulated.
  static std::unique_ptr<HubSimulation> Install(int hubs, const std::vector<HubDropOption>& drops, std::string& error);
  ~HubSimulation();
  HubSimulation(const HubSimulation&) = delete;
  HubSimulation& operator=(const HubSimulation&) = delete;

  CHubSimulator& Simulator() const { return *m_simulator; }
  // Runs the hubs and waits until their start-up status reached the windows.
  void Start();

 private:
  explicit HubSimulation(std::shared_ptr<CHubSimulator> simulator);

  std::shared_ptr<CHubSimulator> m_simulator;
  std::unique_ptr<ScopedZephraBackend> m_library;
};
