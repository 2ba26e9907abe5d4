// Sensors wired to a simulated sonar head's serial port: each says what bytes
// it sends and when. The simulator asks a source for its next burst whenever
// the previous one has gone out on the line.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

// Bytes a sensor starts to send at one host time (seconds since 1980).
struct SensorBurst {
  double hostTime = 0.0;
  std::string bytes;
};

class CSensorSource {
 public:
  virtual ~CSensorSource() = default;
  // The rate the sensor sends at; a port set to another rate receives garbage.
  // 0: any rate (the bytes arrive at the port's rate).
  virtual unsigned Baud() const { return 9600; }
  // The next burst, starting at or after `notBefore`. None when the sensor has
  // nothing to send yet; it is asked again on a later step.
  virtual std::optional<SensorBurst> Next(double notBefore) = 0;
};

// A GPS receiver: GGA then ZDA once a second, `delay` seconds after the whole
// second they name (the pulse of that second comes first).
//   $GPGGA,123519.00,4722.68462,N,00813.94875,E,1,09,0.9,412.3,M,47.0,M,,*hh
//   $GPZDA,123519.00,04,07,2002,00,00*hh
class CGgaZdaSource : public CSensorSource {
 public:
  explicit CGgaZdaSource(double delay = 0.05, unsigned baud = 9600);

  unsigned Baud() const override { return m_baud; }
  std::optional<SensorBurst> Next(double notBefore) override;

  // Position sent in the GGA sentences: degrees (north and east positive), metres.
  void SetPosition(double latitude, double longitude, double altitude);
  // The GGA and ZDA sentences, each ending CR LF, for a whole host second.
  std::string Sentences(std::int64_t hostSecond) const;

 private:
  double m_delay;
  unsigned m_baud;
  double m_latitude = 47.378077;
  double m_longitude = 8.232479;
  double m_altitude = 412.3;
  std::int64_t m_lastSecond;
};

// Plays byte strings in the order pushed, one every `interval` seconds, or over
// and over when `repeat` is set. Push may be called from any thread.
class CQueueSource : public CSensorSource {
 public:
  explicit CQueueSource(double interval, unsigned baud = 9600, bool repeat = false);

  unsigned Baud() const override { return m_baud; }
  std::optional<SensorBurst> Next(double notBefore) override;
  void Push(std::string bytes);

 private:
  double m_interval;
  unsigned m_baud;
  bool m_repeat;
  std::mutex m_lock;
  std::deque<std::string> m_queue;
  std::optional<double> m_nextTime;
};

// A TSS 1 motion sensor: one sentence every `period` seconds, `phase` seconds
// after each multiple of the period, the attitude rolling on a slow swell.
//   :00A0F0  0045H-0120  0250
class CTss1Source : public CSensorSource {
 public:
  explicit CTss1Source(double period = 0.1, double phase = 0.0, unsigned baud = 9600);

  unsigned Baud() const override { return m_baud; }
  std::optional<SensorBurst> Next(double notBefore) override;

 private:
  double m_period;
  double m_phase;
  unsigned m_baud;
  double m_last;
};

// A source that a function plays.
class CCallbackSource : public CSensorSource {
 public:
  using NextFunction = std::function<std::optional<SensorBurst>(double notBefore)>;
  CCallbackSource(NextFunction next, unsigned baud = 9600) : m_next(std::move(next)), m_baud(baud) {}

  unsigned Baud() const override { return m_baud; }
  std::optional<SensorBurst> Next(double notBefore) override { return m_next(notBefore); }

 private:
  NextFunction m_next;
  unsigned m_baud;
};

// A TSS 1 sentence ending CR LF: heave in metres, roll and pitch in degrees,
// the horizontal accelerations fixed.
std::string Tss1Sentence(double heave, double roll, double pitch);

// A byte as a port at `lineBaud` receives it from a sensor sending at
// `sensorBaud` (0: the port's rate): a rate mismatch turns every byte into
// garbage, as a real line does.
unsigned char ReceivedByte(unsigned char sent, unsigned sensorBaud, unsigned lineBaud);

// "*hh" of an NMEA sentence: the XOR of the characters between '$' and '*'.
std::string NmeaChecksum(const std::string& body);
