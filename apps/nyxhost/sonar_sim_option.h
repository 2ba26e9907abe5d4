// nyxhost --sonar-sim: simulated sonar heads behind the sonar library, whose
// serial ports reach the serial comms window as a real sonar task's would.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class CHubSimulator;
class CSComm;
class CSonarSimulator;
class ScopedZephraBackend;

// The running simulation. Destroy it before the window: it stops the heads
// and removes them from the sonar library.
class SonarSimulation {
 public:
  // With hubs, the heads sit behind the hub simulator, which is the library
  // installed; else they are installed themselves.
  SonarSimulation(std::shared_ptr<CSonarSimulator> simulator, CHubSimulator* hubs);
  ~SonarSimulation();
  SonarSimulation(const SonarSimulation&) = delete;
  SonarSimulation& operator=(const SonarSimulation&) = delete;

  CSonarSimulator& Simulator() const { return *m_simulator; }

  // Sonar identifier of head k (0..3).
  static std::uint16_t HeadId(int k) { return static_cast<std::uint16_t>(kFirstId + k); }

 private:
  static constexpr int kFirstId = 1001;

  std::shared_ptr<CSonarSimulator> m_simulator;
  std::unique_ptr<ScopedZephraBackend> m_library;
  CHubSimulator* m_hubs;
};

// Sets up `heads` simulated heads (1 to 4) for the window and starts them:
// the window's task (a new task "Sonar" when it has none) becomes the sonar
// task with one entry per head; the first head is a two-port model with a
// GPS (GGA and ZDA once a second, and its pulse) on its first serial port,
// which decodes as "GPGGA + ZDA" unless the settings chose a decoder. With
// simulated hubs running, the heads answer the head calls behind them. Null,
// with the reason in error, for a count out of range.
std::unique_ptr<SonarSimulation> StartSonarSimulation(CSComm& window, int heads, std::string& error,
                                                      CHubSimulator* hubs = nullptr);
