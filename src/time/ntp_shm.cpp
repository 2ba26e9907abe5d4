#include "time/ntp_shm.h"

#include <atomic>
#include <cmath>

namespace {

void Split(double seconds, std::time_t& whole, int& micro, unsigned& nano) {
  double integral = std::floor(seconds);
  auto ns = static_cast<long long>(std::llround((seconds - integral) * 1e9));
  if (ns >= 1'000'000'000LL) {
    integral += 1.0;
    ns -= 1'000'000'000LL;
  }
  whole = static_cast<std::time_t>(integral);
  nano = static_cast<unsigned>(ns);
  // The reader takes the nanoseconds only when they agree with the microseconds.
  micro = static_cast<int>(ns / 1000);
}

}  // namespace

void WriteNtpShmSample(NtpShmTime& segment, const NtpShmSample& sample) {
  segment.mode = 1;
  segment.valid = 0;
  segment.count = segment.count + 1;
  std::atomic_thread_fence(std::memory_order_seq_cst);
  Split(sample.trueTime, segment.clockTimeStampSec, segment.clockTimeStampUSec, segment.clockTimeStampNSec);
  Split(sample.hostTime, segment.receiveTimeStampSec, segment.receiveTimeStampUSec, segment.receiveTimeStampNSec);
  segment.leap = sample.leap;
  segment.precision = sample.precision;
  segment.nsamples = 0;
  std::atomic_thread_fence(std::memory_order_seq_cst);
  segment.count = segment.count + 1;
  segment.valid = 1;
}
