#include "sonar/sensor_source.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "host/host_time.h"

namespace {

// ddmm.mmmmm (or dddmm.mmmmm) and the hemisphere letter.
std::string Angle(double degrees, int degreeDigits, char positive, char negative) {
  const char hemisphere = degrees < 0 ? negative : positive;
  degrees = std::fabs(degrees);
  int whole = static_cast<int>(degrees);
  double minutes = (degrees - whole) * 60.0;
  // Rounding to five decimals may carry into the degrees.
  if (minutes >= 59.999995) {
    minutes = 0.0;
    ++whole;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%0*d%08.5f,%c", degreeDigits, whole, minutes, hemisphere);
  return text;
}

std::string Sentence(const std::string& body) { return "$" + body + NmeaChecksum(body) + "\r\n"; }

// Sign and four digits of a TSS 1 field, clipped to what they can hold.
std::string SignedField(double value) {
  const long n = std::min(std::lround(std::fabs(value)), 9999L);
  char text[8];
  std::snprintf(text, sizeof text, "%c%04ld", value < 0 ? '-' : ' ', n);
  return text;
}

double Swell(double t, double amplitude, double period) { return amplitude * std::sin(2.0 * M_PI * t / period); }

}  // namespace

std::string NmeaChecksum(const std::string& body) {
  unsigned char sum = 0;
  for (unsigned char c : body) sum ^= c;
  char text[4];
  std::snprintf(text, sizeof text, "*%02X", sum);
  return text;
}

CGgaZdaSource::CGgaZdaSource(double delay, unsigned baud)
    : m_delay(delay), m_baud(baud), m_lastSecond(std::numeric_limits<std::int64_t>::min()) {}

void CGgaZdaSource::SetPosition(double latitude, double longitude, double altitude) {
  m_latitude = latitude;
  m_longitude = longitude;
  m_altitude = altitude;
}

std::string CGgaZdaSource::Sentences(std::int64_t hostSecond) const {
  const SYSTEMTIME utc = HostTimeToSystemTime(static_cast<double>(hostSecond));
  char clock[32];
  std::snprintf(clock, sizeof clock, "%02u%02u%02u.00", utc.wHour, utc.wMinute, utc.wSecond);
  char tail[48];
  std::snprintf(tail, sizeof tail, ",1,09,0.9,%.1f,M,47.0,M,,", m_altitude);
  const std::string gga = std::string("GPGGA,") + clock + "," + Angle(m_latitude, 2, 'N', 'S') + "," +
                          Angle(m_longitude, 3, 'E', 'W') + tail;
  char zda[80];
  std::snprintf(zda, sizeof zda, "GPZDA,%s,%02u,%02u,%04u,00,00", clock, utc.wDay, utc.wMonth, utc.wYear);
  return Sentence(gga) + Sentence(zda);
}

std::optional<SensorBurst> CGgaZdaSource::Next(double notBefore) {
  if (!std::isfinite(notBefore) || std::fabs(notBefore) > 1e15) return std::nullopt;
  // Each second is sent once, even when asked again within it.
  std::int64_t second = static_cast<std::int64_t>(std::ceil(notBefore - m_delay));
  if (m_lastSecond != std::numeric_limits<std::int64_t>::min()) second = std::max(second, m_lastSecond + 1);
  m_lastSecond = second;
  return SensorBurst{static_cast<double>(second) + m_delay, Sentences(second)};
}

CQueueSource::CQueueSource(double interval, unsigned baud, bool repeat)
    : m_interval(interval), m_baud(baud), m_repeat(repeat) {}

void CQueueSource::Push(std::string bytes) {
  std::lock_guard guard(m_lock);
  m_queue.push_back(std::move(bytes));
}

std::optional<SensorBurst> CQueueSource::Next(double notBefore) {
  std::lock_guard guard(m_lock);
  if (m_queue.empty()) return std::nullopt;
  const double time = m_nextTime ? std::max(notBefore, *m_nextTime) : notBefore;
  m_nextTime = time + m_interval;
  SensorBurst burst{time, std::move(m_queue.front())};
  m_queue.pop_front();
  if (m_repeat) m_queue.push_back(burst.bytes);
  return burst;
}

std::string Tss1Sentence(double heave, double roll, double pitch) {
  return ":00A0F0 " + SignedField(heave * 100.0) + "H" + SignedField(roll * 100.0) + " " + SignedField(pitch * 100.0) +
         "\r\n";
}

unsigned char ReceivedByte(unsigned char sent, unsigned sensorBaud, unsigned lineBaud) {
  return sensorBaud != 0 && sensorBaud != lineBaud ? static_cast<unsigned char>(~sent) : sent;
}

CTss1Source::CTss1Source(double period, double phase, unsigned baud)
    : m_period(period > 0.0 ? period : 0.1), m_phase(phase), m_baud(baud), m_last(-std::numeric_limits<double>::infinity()) {}

std::optional<SensorBurst> CTss1Source::Next(double notBefore) {
  if (!std::isfinite(notBefore) || std::fabs(notBefore) > 1e15) return std::nullopt;
  // The next slot of the sensor's own cadence; a slot is never sent twice.
  double slot = std::ceil((notBefore - m_phase) / m_period - 1e-9) * m_period + m_phase;
  if (slot <= m_last + m_period * 0.5) slot = m_last + m_period;
  m_last = slot;
  return SensorBurst{slot, Tss1Sentence(Swell(slot, 0.45, 8.0), Swell(slot, 2.5, 6.5), Swell(slot, 1.2, 9.0))};
}
