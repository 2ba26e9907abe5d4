// The shared-memory reference clock segment that chronyd's "refclock SHM" (and
// ntpd's shared-memory driver) reads: its layout, and one sample written with
// the count/valid protocol of mode 1. The System V segment itself is behind
// NtpShmSegment (ntp_shm_segment.cpp).
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

// Segment key of unit N: 0x4E545030 + N ("NTP0" + N).
inline constexpr int kNtpShmKeyBase = 0x4E545030;

struct NtpShmTime {
  int mode;  // 1: the reader checks count before and after reading
  volatile int count;
  std::time_t clockTimeStampSec;  // the reference's (true) time
  int clockTimeStampUSec;
  std::time_t receiveTimeStampSec;  // the local clock's reading at that moment
  int receiveTimeStampUSec;
  int leap;
  int precision;  // log2 seconds
  int nsamples;
  volatile int valid;
  unsigned clockTimeStampNSec;
  unsigned receiveTimeStampNSec;
  int dummy[8];
};

// One reference sample; times in Unix seconds.
struct NtpShmSample {
  double trueTime = 0.0;
  double hostTime = 0.0;
  int leap = 0;  // 0 no warning, 1 insert, 2 delete, 3 not in sync
  int precision = 0;
};

// Writes the sample: valid cleared and count bumped before the fields change,
// count bumped again and valid set after, so a reader that sees the same count
// on both sides of its copy has a whole sample.
void WriteNtpShmSample(NtpShmTime& segment, const NtpShmSample& sample);

// The System V segment of one unit, created when the reader has not made it yet.
class NtpShmSegment {
 public:
  // Null with the reason in error.
  static std::unique_ptr<NtpShmSegment> Attach(int unit, std::string& error);
  ~NtpShmSegment();
  NtpShmSegment(const NtpShmSegment&) = delete;
  NtpShmSegment& operator=(const NtpShmSegment&) = delete;

  NtpShmTime& Time() const { return *m_time; }

 private:
  explicit NtpShmSegment(NtpShmTime* time) : m_time(time) {}
  NtpShmTime* m_time;
};
