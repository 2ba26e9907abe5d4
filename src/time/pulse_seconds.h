// The UTC second of each pulse: a ZDA names the second that began at the pulse
// just before it, and every pulse after that begins the next second. Each
// pulse whose second is known becomes one sample for the time daemon.
#pragma once

#include <cstdint>
#include <optional>

#include "time/ntp_shm.h"
#include "time/pulse_per_second.h"

class PulseSeconds {
 public:
  struct Labelled {
    double hostTime;      // host seconds at the pulse
    std::int64_t second;  // the UTC second it began, host seconds
  };

  // A pulse stamped at host time t: labelled when its second follows from the last.
  std::optional<Labelled> OnPulse(double t);
  // A ZDA naming gpsSeconds, handled at host time now: labels the pulse it
  // follows when that pulse had no second, or a wrong one.
  std::optional<Labelled> OnZda(double gpsSeconds, double now);

 private:
  std::optional<double> m_lastPulse;
  std::optional<std::int64_t> m_lastSecond;
};

// Writes one sample into the segment for each pulse whose second is known.
class NtpShmPublisher : public PulseListener {
 public:
  // A pulse read from a serial line by a user thread is good to about a millisecond.
  static constexpr int kPrecision = -10;

  explicit NtpShmPublisher(NtpShmTime& segment) : m_segment(segment) {}
  void OnPulse(double hostTime) override { Publish(m_seconds.OnPulse(hostTime)); }
  void OnSecond(double gpsSeconds, double now) override { Publish(m_seconds.OnZda(gpsSeconds, now)); }
  unsigned long Samples() const { return m_samples; }

 private:
  void Publish(const std::optional<PulseSeconds::Labelled>& pulse);

  NtpShmTime& m_segment;
  PulseSeconds m_seconds;
  unsigned long m_samples = 0;
};
