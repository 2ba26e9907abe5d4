#include "time/pulse_seconds.h"

#include <cmath>

#include "host/host_time.h"

namespace {
// How far a pulse may stray from a whole number of seconds after the last one,
// and a ZDA's time from its whole second, to be counted.
constexpr double kPulseSlack = 0.2;
constexpr double kWholeSecondSlack = 0.001;
}  // namespace

std::optional<PulseSeconds::Labelled> PulseSeconds::OnPulse(double t) {
  std::optional<std::int64_t> second;
  if (m_lastPulse && m_lastSecond) {
    // A missed pulse still counts its second; a pulse between seconds is noise
    // that ends the count until the next ZDA.
    const double gap = t - *m_lastPulse;
    const double whole = std::round(gap);
    if (whole >= 1.0 && std::fabs(gap - whole) <= kPulseSlack) {
      second = *m_lastSecond + static_cast<std::int64_t>(whole);
    }
  }
  m_lastPulse = t;
  m_lastSecond = second;
  if (!second) return std::nullopt;
  return Labelled{t, *second};
}

std::optional<PulseSeconds::Labelled> PulseSeconds::OnZda(double gpsSeconds, double now) {
  const double whole = std::round(gpsSeconds);
  if (!m_lastPulse || std::fabs(gpsSeconds - whole) > kWholeSecondSlack) return std::nullopt;
  // The sentence names the second of a pulse less than a second before it.
  const double since = now - *m_lastPulse;
  if (since < 0.0 || since >= 1.0) return std::nullopt;
  const auto second = static_cast<std::int64_t>(whole);
  if (m_lastSecond == second) return std::nullopt;
  m_lastSecond = second;
  return Labelled{*m_lastPulse, second};
}

void NtpShmPublisher::Publish(const std::optional<PulseSeconds::Labelled>& pulse) {
  if (!pulse) return;
  NtpShmSample sample;
  sample.trueTime = static_cast<double>(pulse->second) + kHostEpochUnixSeconds;
  sample.hostTime = pulse->hostTime + kHostEpochUnixSeconds;
  sample.precision = kPrecision;
  WriteNtpShmSample(m_segment, sample);
  ++m_samples;
}
