// Simulated sensors for the demonstration station: each speaks its wire format
// on a pseudo-terminal at its usual rate, so the host reads them exactly as it
// would read real devices.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "port/pseudo_terminal.h"

class SimulatedSensor {
 public:
  explicit SimulatedSensor(std::string name, double period) : m_name(std::move(name)), m_period(period) {}
  virtual ~SimulatedSensor() = default;

  const std::string& Name() const { return m_name; }
  double Period() const { return m_period; }
  // Seconds after the whole second at which output is due (0 = on the second).
  virtual double Phase() const { return 0.0; }
  // The bytes to send at host time t (seconds since 1980).
  virtual std::string Output(double t) = 0;
  // Bytes the host sent to the sensor; the answer to send back, if any.
  virtual std::string OnRequest(const std::string&) { return {}; }

 private:
  std::string m_name;
  double m_period;
};

// NMEA checksum sentence: "$" body "*" hh CR LF.
std::string NmeaSentence(const std::string& body);

std::unique_ptr<SimulatedSensor> MakeGgaZdaSensor();      // GGA then ZDA, 1 Hz, on the second
std::unique_ptr<SimulatedSensor> MakePpsLine();           // one NUL byte on every whole second
std::unique_ptr<SimulatedSensor> MakeTss1HehdtSensor();   // TSS 1 and HEHDT, 20 Hz
std::unique_ptr<SimulatedSensor> MakeOctansSensor();      // the six Octans sentences, 10 Hz
std::unique_ptr<SimulatedSensor> MakeSoundSpeedProbe();   // speed of sound, 2 Hz
std::unique_ptr<SimulatedSensor> MakePressureSensor();    // answers each MEASURE request

// Plays sensors on pseudo-terminals from one thread until stopped.
class SensorPlayer {
 public:
  SensorPlayer() = default;
  ~SensorPlayer();
  // The slave path the host should open for this sensor.
  std::string Add(std::unique_ptr<SimulatedSensor> sensor);
  void Start();
  void Stop();

 private:
  struct Line {
    std::unique_ptr<SimulatedSensor> sensor;
    std::unique_ptr<PseudoTerminal> pty;
    double nextDue = 0.0;
  };
  void Run();

  std::vector<Line> m_lines;
  std::thread m_thread;
  int m_stopFd = -1;  // eventfd that wakes the player to stop
};
