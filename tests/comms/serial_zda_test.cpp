// GPS time on serial lines: a whole-second ZDA names the last pulse edge, or without a pulse its arrival.
#include <gtest/gtest.h>

#include "comms/serial_comms.h"
#include "support/capture.h"
#include "support/fake_pc_clock.h"
#include "support/pty_pair.h"
#include "support/test_codecs.h"
#include "time/pulse_seconds.h"

namespace {

using namespace std::chrono_literals;

// 2002-07-04 20:15:30 UTC in host seconds; the PC clock agrees with it.
constexpr double kSecond = 710280930.0;
constexpr double kCharTime = 9.0 / 9600.0;

void OpenLine(CSPort& line, int comPort, const char* decoder) {
  line.m_readWait = 25ms;
  line.m_port.m_decode = DecoderIndex(decoder);
  line.m_port.SetDecode();
  line.m_commPort = comPort;
  line.SetupComm();
}

}  // namespace

TEST(SerialZda, PulseThenZdaFeedsTheGpsModelAndTheStatusLine) {
  ScopedReports reports;
  ScopedClock clock(kSecond);
  ScopedFakePcClock pcClock(false, kSecond);
  PtyPair ppsPty, gpsPty;
  ScopedComPort mapPps(61, ppsPty.SlavePath()), mapGps(62, gpsPty.SlavePath());
  CSComm window;
  window.SetOption("nPorts", "2");
  OpenLine(*window.GetLine(0), 61, "PPS");
  OpenLine(*window.GetLine(1), 62, "ZDA");
  ASSERT_TRUE(window.m_pps.m_bPresent);
  ASSERT_EQ(window.m_commTime.m_bUseGps.load(), 1);
  CNyxWnd::InfoMsg(kInfoCommsEnable, InfoValue(1));
  NtpShmTime segment{};
  auto publisher = std::make_shared<NtpShmPublisher>(segment);
  window.m_pps.m_pListener = publisher;

  // Pulse at the second, the ZDA naming it 0.1 s later.
  ppsPty.Write(std::string(1, '\0'));
  ASSERT_TRUE(WaitUntil([&] { return window.GetLine(0)->GetQueuedCount() == 1; }));
  window.OnTrigger(kSecond, 0.05);
  ASSERT_EQ(window.m_pps.m_state, 2);
  const double edgeTime = kSecond - kCharTime;
  EXPECT_DOUBLE_EQ(window.m_pps.m_lastFpgaTime, edgeTime * 1e6);

  clock->Set(kSecond + 0.1);
  gpsPty.Write("$GPZDA,201530.00,04,07,2002,00,00*60\r\n");
  ASSERT_TRUE(WaitUntil([&] { return window.GetLine(1)->GetQueuedCount() == 38; }));
  window.OnTrigger(kSecond + 0.1, 0.05);

  CBufEntry sample;
  ASSERT_TRUE(window.m_commTime.m_gpsBuf.GetLast(sample));
  EXPECT_DOUBLE_EQ(sample.x, edgeTime);
  EXPECT_DOUBLE_EQ(sample.y, kSecond);
  // The named pulse went to the time daemon's segment: its true second and its stamp.
  EXPECT_EQ(publisher->Samples(), 1u);
  EXPECT_EQ(segment.valid, 1);
  EXPECT_EQ(segment.clockTimeStampSec, static_cast<std::time_t>(kSecond + kHostEpochUnixSeconds));
  EXPECT_NEAR(segment.receiveTimeStampSec + segment.receiveTimeStampNSec * 1e-9, edgeTime + kHostEpochUnixSeconds,
              1e-6);
  const auto status = reports->Of(Nyx::ReportKind::Status, 3027);
  ASSERT_EQ(status.size(), 1u);
  // One sample gives no usable line yet, so the conversion falls back to the
  // model's last time, the host time when the model was made.
  EXPECT_EQ(status[0].text.rfind("Comm ZDA,20:15:30 04/07/2002 PPS ", 0), 0u) << status[0].text;
  // Setting the PC clock was asked for (a pulse line is present) but is not enabled.
  const auto clockAlarm = reports->Of(Nyx::ReportKind::Alarm, 3065);
  ASSERT_EQ(clockAlarm.size(), 1u);
  EXPECT_EQ(clockAlarm[0].text, "CECommTime::ProcessGpsTime: FAILED with error 125");
}

TEST(SerialZda, WithoutAPulseTheZdaArrivalTimeIsTheDeviceTime) {
  ScopedReports reports;
  ScopedClock clock(kSecond + 0.3);
  ScopedFakePcClock pcClock(false, kSecond);
  PtyPair gpsPty;
  ScopedComPort mapGps(63, gpsPty.SlavePath());
  CSComm window;
  OpenLine(*window.GetLine(0), 63, "GPGGA + ZDA");
  window.m_commsEnabled = 1;
  // Three whole-second ZDAs with the PC clock 1.5 s off: each synchronises.
  for (int i = 0; i < 3; ++i) {
    char zda[64];
    std::snprintf(zda, sizeof zda, "$GPZDA,2015%02d.00,04,07,2002,00,00*00\r\n", 30 + i);
    clock->Set(kSecond + i + 1.5);
    gpsPty.Write(zda);
    ASSERT_TRUE(WaitUntil([&] { return window.GetLine(0)->GetQueuedCount() == 38; }));
    window.OnTrigger(kSecond + i + 1.5, 0.05);
  }
  CBufEntry sample;
  ASSERT_TRUE(window.m_commTime.m_gpsBuf.GetLast(sample));
  EXPECT_NEAR(sample.x, kSecond + 3.5 - kCharTime, 1e-6);
  EXPECT_DOUBLE_EQ(sample.y, kSecond + 2);
  EXPECT_EQ(window.m_commTime.m_gpsBuf.GetCount(), 3u);
  // The window's own model now carries host time to GPS time: 1.5 s back.
  EXPECT_EQ(reports->Of(Nyx::ReportKind::Status, 3027).size(), 3u);
  window.m_commTime.m_bUseGps = 1;
  EXPECT_NEAR(window.m_commTime.ConvertTime(kSecond + 3.5).GetValue(), kSecond + 2.0, 1e-3);
}
