// Pulses labelled with their UTC second from the ZDAs, and the samples they
// write into the time daemon's shared-memory segment, read back as a reader would.
#include <gtest/gtest.h>

#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "host/host_time.h"
#include "time/ntp_shm.h"
#include "time/pulse_seconds.h"
#include "time_rows.h"

namespace {

constexpr double kPulseSecondsBase = 710280930.0;  // 2002-07-04 20:15:30 UTC, host seconds

// What a reader takes from the segment: a whole sample, or nothing.
bool PulseSecondsRead(NtpShmTime& segment, NtpShmTime& out) {
  if (!segment.valid) return false;
  const int count = segment.count;
  std::memcpy(static_cast<void*>(&out), static_cast<const void*>(&segment), sizeof out);
  if (segment.mode == 1 && count != segment.count) return false;
  segment.valid = 0;
  return true;
}

}  // namespace

TEST(PulseSeconds, ZdaNamesThePulseBeforeItAndLaterPulsesCountOn) {
  NtpShmTime segment{};
  NtpShmPublisher publisher(segment);
  unsigned long samples = 0;
  double lastPulse = 0.0;
  for (auto& row : TimeRows("pulse_seconds.tsv")) {
    SCOPED_TRACE(row.line);
    char kind;
    double t, second, labelled;
    row.fields >> kind >> t >> second >> labelled;
    if (kind == 'P') {
      lastPulse = t;
      publisher.OnPulse(kPulseSecondsBase + t);
    } else {
      publisher.OnSecond(kPulseSecondsBase + second, kPulseSecondsBase + t);
    }
    NtpShmTime read{};
    const bool written = PulseSecondsRead(segment, read);
    ASSERT_EQ(written, labelled >= 0);
    if (!written) continue;
    ++samples;
    const double unixBase = kPulseSecondsBase + kHostEpochUnixSeconds;
    EXPECT_EQ(read.clockTimeStampSec, static_cast<std::time_t>(unixBase + labelled));
    EXPECT_EQ(read.clockTimeStampNSec, 0u);
    // The pulse was handled at t: the host clock's reading at the pulse.
    const double host = static_cast<double>(read.receiveTimeStampSec) + read.receiveTimeStampNSec * 1e-9;
    EXPECT_NEAR(host, unixBase + lastPulse, 2e-6);
    EXPECT_EQ(read.count % 2, 0) << "a reader between the two bumps sees an odd count";
  }
  EXPECT_EQ(publisher.Samples(), samples);
}

// The System V segment: written through NtpShmSegment, read through a second attachment.
TEST(PulseSeconds, SegmentOfAUnitIsReadBackByAnotherAttachment) {
  const int unit = 100 + static_cast<int>(::getpid() % 100);
  std::string error;
  auto segment = NtpShmSegment::Attach(unit, error);
  ASSERT_TRUE(segment) << error;
  const int id = ::shmget(kNtpShmKeyBase + unit, sizeof(NtpShmTime), 0);
  ASSERT_GE(id, 0);
  auto* reader = static_cast<NtpShmTime*>(::shmat(id, nullptr, 0));
  ASSERT_NE(reader, reinterpret_cast<NtpShmTime*>(-1));
  // A time a hair below a whole second rounds up into it.
  WriteNtpShmSample(segment->Time(), {1025814930.9999999996, 1025814931.0078125, 0, -10});
  NtpShmTime read{};
  EXPECT_TRUE(PulseSecondsRead(*reader, read));
  EXPECT_EQ(read.clockTimeStampSec, 1025814931);
  EXPECT_EQ(read.clockTimeStampNSec, 0u);
  EXPECT_EQ(read.receiveTimeStampSec, 1025814931);
  EXPECT_EQ(read.receiveTimeStampNSec, 7812500u);
  EXPECT_EQ(read.receiveTimeStampUSec, 7812);
  EXPECT_FALSE(PulseSecondsRead(*reader, read)) << "a sample is taken once";
  ::shmdt(reader);
  ::shmctl(id, IPC_RMID, nullptr);
  EXPECT_FALSE(NtpShmSegment::Attach(-1, error));
  EXPECT_FALSE(error.empty());
}
