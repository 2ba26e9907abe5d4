// The COM line driver on pseudo-terminals: opening and line settings, the
// reader thread's time-stamped queue and its drain on the trigger, the writer
// thread, modem lines, handshaking, errors and settings.
#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <functional>
#include <list>
#include <thread>

#include "comms/serial_comms.h"
#include "host/controls.h"
#include "host/settings.h"
#include "port/com_port_map.h"
#include "port/serial_port.h"
#include "support/capture.h"
#include "support/pty_pair.h"
#include "support/test_codecs.h"

namespace {

using namespace std::chrono_literals;
using Nyx::ReportKind;

constexpr int kCom = 41;
constexpr double kPortStart = 5000.0;
// One 8N1 character at 9600 baud: start, eight data bits and a stop bit.
constexpr double kPortCharTime = 9.0 / 9600.0;

class SerialLine : public ::testing::Test {
 protected:
  void SetUp() override {
    line.m_readWait = 25ms;
    window.m_commsEnabled = 1;
  }

  // Opens the line on the pseudo-terminal with a decoder (0 = none).
  void Open(int decode, int encode = 0) {
    line.m_port.m_decode = decode;
    line.m_port.SetDecode();
    line.m_port.m_encode = encode;
    line.m_port.SetEncode();
    line.m_commPort = kCom;
    line.SetComm(kCom);
    ASSERT_TRUE(line.IsOpen()) << Nyx::ErrorString(line.GetOpenError());
  }

  // Writes at a host time and waits until the reader queued every byte.
  void WriteAt(double time, const std::string& bytes) {
    clock->Set(time);
    const int before = line.GetQueuedCount();
    pty.Write(bytes);
    const int expected = (before + static_cast<int>(bytes.size())) % CSPort::kQueueSize;
    ASSERT_TRUE(WaitUntil([&] { return pty.WaitConsumed(0ms) && line.GetQueuedCount() == expected; }))
        << "queued " << line.GetQueuedCount() << " of " << expected;
  }

  std::vector<std::pair<std::string, double>> RawMessages() const {
    std::vector<std::pair<std::string, double>> out;
    for (const auto& record : records.Records(0)) out.emplace_back(record["text"], record["time"]);
    return out;
  }

  ScopedReports reports;
  ScopedClock clock{kPortStart};
  PtyPair pty;
  ScopedComPort map{kCom, pty.SlavePath()};
  CSComm window;
  RecordCollector records;
  CSPort& line = *window.GetLine(0);
};

struct TimedWrite {
  double time;
  std::string bytes;
};

struct SerialFramingCase {
  const char* name;
  std::vector<TimedWrite> writes;
  std::vector<std::pair<std::string, double>> messages;  // text, time of its first byte
};

}  // namespace

TEST_F(SerialLine, BytesReachThePortAsMessagesStampedWithTheirArrival) {
  const SerialFramingCase cases[] = {
      {"one sentence", {{kPortStart, "$GPGGA,1\r\n"}}, {{"$GPGGA,1\r", kPortStart}}},
      {"split over two reads", {{kPortStart, "TW"}, {kPortStart + 0.5, "O\r\nTHREE\n"}}, {{"TWO\r", kPortStart}, {"THREE", kPortStart + 0.5}}},
      {"two in one read share its stamp", {{kPortStart + 2, "A\nB\n"}}, {{"A", kPortStart + 2}, {"B", kPortStart + 2}}},
      {"partial message waits for its end", {{kPortStart + 3, "C"}, {kPortStart + 4, "D"}}, {}},
  };
  Open(DecoderIndex("GPGGA"));
  EXPECT_DOUBLE_EQ(line.m_port.m_charTime, kPortCharTime);
  for (const SerialFramingCase& c : cases) {
    records.Clear();
    for (const TimedWrite& write : c.writes) ASSERT_NO_FATAL_FAILURE(WriteAt(write.time, write.bytes)) << c.name;
    window.OnTrigger(clock->Now(), 0.05);
    const auto messages = RawMessages();
    ASSERT_EQ(messages.size(), c.messages.size()) << c.name;
    for (std::size_t i = 0; i < messages.size(); ++i) {
      EXPECT_EQ(messages[i].first, c.messages[i].first) << c.name;
      EXPECT_DOUBLE_EQ(messages[i].second, c.messages[i].second - kPortCharTime) << c.name;
    }
    EXPECT_EQ(line.GetQueuedCount(), 0) << c.name;
  }
}

TEST(SerialQueue, TriggerSeesOnlyTheLastLapOfTheRingAndReportsTheLoss) {
  const struct {
    int fed;
    int seen;
    long lostSoFar;  // the alarm's count; 0: no alarm up after the trigger
  } cases[] = {{1, 1, 0},         {999, 999, 0},     {1000, 0, 1000}, {1001, 1, 2000},
               {1500, 500, 3000}, {2000, 0, 5000}, {2999, 999, 7000}, {10, 10, 0}};
  ScopedReports reports;
  CSComm window;
  window.m_commsEnabled = 1;
  CSPort& line = *window.GetLine(0);
  line.m_commPort = 1;  // drained without being open
  line.m_port.m_sync = 0;
  line.m_port.m_decode = 1;
  for (const auto& c : cases) {
    auto recorder = std::make_unique<ByteRecorder>();
    ByteRecorder& seen = *recorder;
    line.m_port.m_pDecode = std::move(recorder);
    for (int i = 0; i < c.fed; ++i) line.NewByte(100.0 + i, static_cast<unsigned char>(i % 251));
    window.OnTrigger(100.0, 0.05);
    ASSERT_EQ(static_cast<int>(seen.bytes.size()), c.seen) << c.fed;
    for (int k = 0; k < c.seen; ++k) {
      const int i = c.fed - c.seen + k;
      EXPECT_EQ(seen.bytes[static_cast<std::size_t>(k)], i % 251) << c.fed;
      EXPECT_DOUBLE_EQ(seen.times[static_cast<std::size_t>(k)], 100.0 + i) << c.fed;
    }
    const auto alarms = reports->Of(ReportKind::Alarm, CSPort::kLapAlarm);
    if (c.lostSoFar > 0) {
      ASSERT_FALSE(alarms.empty()) << c.fed;
      EXPECT_EQ(alarms.back().text, "Serial Comms " + std::to_string(c.lostSoFar) + " bytes lost to queue overrun [" +
                                        line.m_deviceName + "]");
    } else if (!alarms.empty()) {
      EXPECT_EQ(alarms.back().level, -1) << c.fed;
    }
  }
  EXPECT_EQ(reports->Of(ReportKind::Alarm, CSPort::kLapAlarm).size(), 6u);  // five raised, one end
}

TEST_F(SerialLine, ExclusiveUseEndsWithTheCloseAndProbingLeavesTheDeviceAsFound) {
  const auto marked = [&] {
    int on = -1;
    EXPECT_EQ(::ioctl(pty.Slave(), TIOCGEXCL, &on), 0);
    return on != 0;
  };
  struct SerialExclusiveCase {
    const char* name;
    bool heldByAnother;
    std::function<void()> use;
  };
  const SerialExclusiveCase cases[] = {
      {"open and close", false, [&] { Open(0); line.SetComm(0); }},
      {"probe a free device", false, [&] { EXPECT_TRUE(SerialDevice::Probe(pty.SlavePath())); }},
      {"probe a device another holds", true, [&] { EXPECT_FALSE(SerialDevice::Probe(pty.SlavePath())); }},
      {"open a device another holds", true, [&] {
         line.SetComm(kCom);
         EXPECT_EQ(line.GetOpenError(), EBUSY);
       }},
  };
  for (const SerialExclusiveCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.heldByAnother) {
      ASSERT_EQ(::ioctl(pty.Slave(), TIOCEXCL), 0);
    }
    c.use();
    EXPECT_EQ(marked(), c.heldByAnother);
    ::ioctl(pty.Slave(), TIOCNXCL);
  }
}

TEST_F(SerialLine, ClosingTheFarEndEndsTheReaderWithTheError) {
  Open(DecoderIndex("GPGGA"));
  pty.CloseMaster();
  const auto readerAlarm = [&] {
    for (const auto& alarm : reports->Of(ReportKind::Alarm)) {
      if (alarm.id == 3030 || alarm.id == 3040) return alarm;
    }
    return Nyx::Report{};
  };
  ASSERT_TRUE(WaitUntil([&] { return readerAlarm().id != 0; }));
  const Nyx::Report alarm = readerAlarm();
  EXPECT_EQ(alarm.level, 3);
  const std::string error = Nyx::ErrorString(EIO);
  EXPECT_TRUE(alarm.text == "Comms Error [" + error + "]" || alarm.text == "Error: While waiting on read [" + error + "]")
      << alarm.text;
  // The line stays open until it is closed; the host carries on.
  EXPECT_TRUE(line.IsRunning());
  window.OnTrigger(kPortStart + 1, 0.05);
  line.SetComm(0);
  EXPECT_FALSE(line.IsOpen());
}

TEST_F(SerialLine, SilentLineReportsEachWaitThatTimesOut) {
  Open(DecoderIndex("GPGGA"));
  // Five time-outs, a fresh read, and on: the reports keep coming.
  ASSERT_TRUE(WaitUntil([&] { return reports->Of(ReportKind::Status, 9040).size() >= 7; }));
  for (const auto& status : reports->Of(ReportKind::Status, 9040)) {
    EXPECT_EQ(status.level, 2);
    EXPECT_EQ(status.text, "Serial Comms Timeout [" + pty.SlavePath() + "]");
  }
  ASSERT_NO_FATAL_FAILURE(WriteAt(kPortStart, "AFTER\n"));
  window.OnTrigger(kPortStart, 0.05);
  ASSERT_EQ(RawMessages().size(), 1u);
}

TEST_F(SerialLine, BlockingReadTimeoutsCompleteReadsOnlyWhenFull) {
  Open(DecoderIndex("GPGGA"));
  EXPECT_EQ(line.SetupReadTimeouts(kReadBlocking), 0);
  EXPECT_EQ(line.m_timeouts.ReadIntervalTimeout, 0u);
  line.SetComm(kCom);  // the reader takes the time-outs as it starts
  pty.Write(std::string(100, 'a'));
  ASSERT_TRUE(pty.WaitConsumed());
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(line.GetQueuedCount(), 0);
  pty.Write(std::string(400, 'b'));
  ASSERT_TRUE(WaitUntil([&] { return line.GetQueuedCount() == 500; }));

  EXPECT_EQ(line.SetupReadTimeouts(kReadReturnAtOnce), 0);
  EXPECT_EQ(line.m_timeouts.ReadIntervalTimeout, kMaxDword);
  EXPECT_EQ(line.SetupReadTimeouts(2), static_cast<long>(kErrorInvalidArgument));
  EXPECT_EQ(line.m_lastError, kErrorInvalidArgument);
}

TEST_F(SerialLine, WriterThreadSendsWhatTheEncoderHolds) {
  const int encode = RegisterTestEncoder("Test VKRTAR", RuntimeClassOf<TestTargetEncoder>());
  CTskInf* task = CTask::AddTask("SerialTestTask", "Host");
  window.SetOption("Task", "SerialTestTask");
  Open(0, encode);
  const std::string device = pty.SlavePath();
  ASSERT_TRUE(WaitUntil([&] { return !reports->Of(ReportKind::Status, 9010).empty(); }));
  EXPECT_EQ(reports->Of(ReportKind::Status, 9010)[0].text, "Serial Comms Start [" + device + "]");

  {
    std::lock_guard guard(task->GetData()->m_textLock);
    task->GetData()->m_targetTexts = {"$PVKRTAR,1*00\r\n", "$PVKRTAR,2*00\r\n"};
  }
  window.OnTrigger(kPortStart, 0.05);
  EXPECT_EQ(line.m_port.m_lastMsg, "$PVKRTAR,1*00\r\n");  // the first text handed over
  EXPECT_EQ(line.m_port.m_status, kLightGreen);
  EXPECT_TRUE(task->GetData()->m_targetTexts.empty());
  EXPECT_EQ(pty.Read(30), "$PVKRTAR,1*00\r\n$PVKRTAR,2*00\r\n");

  // The sent flag reaches the panel on the next trigger with the last text written.
  ASSERT_TRUE(WaitUntil([&] { return reports->Of(ReportKind::Status, 9050).size() == 2; }));
  EXPECT_EQ(reports->Of(ReportKind::Status, 9050)[0].text, "Serial Comms Sent 15 chars [" + device + "]");
  EXPECT_TRUE(line.OnTrigger(kPortStart, 0.05));
  EXPECT_EQ(line.m_port.m_lastMsg, "$PVKRTAR,2*00\r\n");
  EXPECT_FALSE(line.OnTrigger(kPortStart, 0.05));

  line.SetComm(0);
  ASSERT_EQ(reports->Of(ReportKind::Status, 9030).size(), 1u);
  EXPECT_EQ(reports->Of(ReportKind::Status, 9030)[0].text, "Serial Comms End [" + device + "]");
  CTask::RemoveAll();
}

TEST_F(SerialLine, StoppingAWriterWithABacklogIsPromptAndCountsWhatItDrops) {
  const int encode = RegisterTestEncoder("Backlog VKRTAR", RuntimeClassOf<TestTargetEncoder>());
  Open(0, encode);
  // Nobody reads the far end: the line's buffer fills and a write waits for room.
  // The encoder keeps the latest thousand texts: the oldest beyond are lost and counted.
  constexpr int kTexts = 1200, kKept = 1000;
  std::list<std::string> texts(kTexts, std::string(1000, 'x') + "\r\n");
  ASSERT_EQ(line.SendEncodeData(texts), 1);
  ASSERT_TRUE(WaitUntil([&] { return !reports->Of(ReportKind::Status, 9050).empty(); }));
  std::this_thread::sleep_for(100ms);
  line.OnTrigger(kPortStart, 0.05);
  ASSERT_EQ(reports->Of(ReportKind::Alarm, CSPort::kTextsAlarm).size(), 1u);
  EXPECT_EQ(reports->Of(ReportKind::Alarm, CSPort::kTextsAlarm)[0].text,
            "Serial Comms " + std::to_string(kTexts - kKept) + " texts not sent [" + pty.SlavePath() + "]");

  const auto start = std::chrono::steady_clock::now();
  line.SetComm(0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  const int written = static_cast<int>(reports->Of(ReportKind::Status, 9050).size());
  EXPECT_LT(written, kKept);
  const auto dropped = reports->Of(ReportKind::Status, 9070);
  ASSERT_EQ(dropped.size(), 1u);
  EXPECT_EQ(dropped[0].text, "Serial Comms Dropped " + std::to_string(kKept - written) + " texts [" + pty.SlavePath() + "]");
}

TEST(SerialSettings, FramingTranslatesToTheDriversFlags) {
  const struct {
    unsigned char byteSize, parity, stopBits;
    int result;
    tcflag_t size, parityFlags;
    bool twoStops;
  } cases[] = {
      {8, 0, 0, 0, CS8, 0, false},
      {7, 2, 2, 0, CS7, PARENB, true},
      {7, 1, 0, 0, CS7, PARENB | PARODD, false},
      {8, 3, 1, 0, CS8, PARENB | PARODD | CMSPAR, true},
      {5, 4, 0, 0, CS5, PARENB | CMSPAR, false},
      {6, 0, 2, 0, CS6, 0, true},
      {9, 0, 0, EINVAL, 0, 0, false},
      {4, 0, 0, EINVAL, 0, 0, false},
      {8, 5, 0, EINVAL, 0, 0, false},
      {8, 0, 3, EINVAL, 0, 0, false},
  };
  for (const auto& c : cases) {
    SerialDcb dcb;
    dcb.ByteSize = c.byteSize;
    dcb.Parity = c.parity;
    dcb.StopBits = c.stopBits;
    termios tio{};
    tio.c_lflag = ICANON | ECHO;
    ASSERT_EQ(SerialDcbToTermios(dcb, tio), c.result) << int(c.byteSize) << int(c.parity) << int(c.stopBits);
    if (c.result != 0) continue;
    EXPECT_EQ(tio.c_cflag & CSIZE, c.size);
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), c.parityFlags);
    EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.twoStops);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u) << "raw mode";
    EXPECT_EQ(tio.c_cc[VMIN], 1);
    // And back, one and a half stop bits staying what they were.
    SerialDcb back;
    back.StopBits = c.stopBits;
    SerialDcbFromTermios(tio, back);
    EXPECT_EQ(back.ByteSize, c.byteSize);
    EXPECT_EQ(back.Parity, c.parity);
    EXPECT_EQ(back.StopBits, c.stopBits);
  }
}

TEST(SerialSettings, FlowControlTranslatesToTheDriversFlags) {
  const struct {
    bool cts;
    unsigned char rts;
    bool outX, inX;
    bool crtscts, ixon, ixoff;
  } cases[] = {
      {false, 0, false, false, false, false, false}, {true, 0, false, false, true, false, false},
      {false, 2, false, false, true, false, false},  {false, 1, true, false, false, true, false},
      {false, 0, true, true, false, true, true},
  };
  for (const auto& c : cases) {
    SerialDcb dcb;
    dcb.fOutxCtsFlow = c.cts;
    dcb.fRtsControl = c.rts;
    dcb.fOutX = c.outX;
    dcb.fInX = c.inX;
    termios tio{};
    ASSERT_EQ(SerialDcbToTermios(dcb, tio), 0);
    EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, c.crtscts);
    EXPECT_EQ((tio.c_iflag & IXON) != 0, c.ixon);
    EXPECT_EQ((tio.c_iflag & IXOFF) != 0, c.ixoff);
  }
}

TEST_F(SerialLine, LineSettingsReachTheDevice) {
  // A pseudo-terminal keeps the rate and the stop bits; it always frames
  // eight bits without parity, and the stored configuration shows what the
  // line holds.
  const struct {
    unsigned baud;
    unsigned char byteSize, parity, stopBits;
  } cases[] = {
      {9600, 8, 0, 0}, {57600, 7, 2, 2}, {4800, 7, 1, 0}, {115200, 8, 0, 2},
      {12345, 6, 0, 0},  // any rate the driver takes
  };
  for (const auto& c : cases) {
    line.m_dcb.BaudRate = c.baud;
    line.m_dcb.ByteSize = c.byteSize;
    line.m_dcb.Parity = c.parity;
    line.m_dcb.StopBits = c.stopBits;
    ASSERT_NO_FATAL_FAILURE(Open(0));
    EXPECT_EQ(line.GetConfigError(), 0) << c.baud;
    EXPECT_DOUBLE_EQ(line.m_port.m_charTime, (c.byteSize + c.stopBits + 1.0) / c.baud);
    termios tio{};
    ASSERT_EQ(tcgetattr(pty.Slave(), &tio), 0);
    EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.stopBits != 0) << c.baud;
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u) << "raw mode";
    unsigned baud = 0;
    ASSERT_EQ(GetSerialBaudRate(pty.Slave(), baud), 0);
    EXPECT_EQ(baud, c.baud);
    EXPECT_EQ(line.m_dcb.BaudRate, c.baud);
    EXPECT_EQ(line.m_dcb.StopBits, c.stopBits);
    EXPECT_EQ(line.m_dcb.ByteSize, 8);
    EXPECT_EQ(line.m_dcb.Parity, 0);
  }
  // A configuration the driver refuses is kept as the line's error; the line
  // still opens, raw.
  line.m_dcb.ByteSize = 9;
  ASSERT_NO_FATAL_FAILURE(Open(0));
  EXPECT_EQ(line.GetConfigError(), EINVAL);
  termios tio{};
  ASSERT_EQ(tcgetattr(pty.Slave(), &tio), 0);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
}

TEST_F(SerialLine, HandshakingChoicesSetFlowControl) {
  const struct {
    int handshake;
    long result;
    bool crtscts, ixon, ixoff;
    unsigned char dtr, rts;
  } cases[] = {
      {kHandshakeHardware, 0, true, false, false, 2, 2},
      {kHandshakeSoftware, 0, false, true, true, 0, 0},
      {kHandshakeOff, 0, false, false, false, 0, 0},
      {kHandshakeHardware, 0, true, false, false, 2, 2},
      {3, static_cast<long>(kErrorInvalidArgument), true, false, false, 2, 2},  // unchanged
  };
  Open(0);
  for (const auto& c : cases) {
    EXPECT_EQ(line.SetupHandshaking(c.handshake), c.result) << c.handshake;
    EXPECT_EQ(line.m_lastError, static_cast<unsigned>(c.result)) << c.handshake;
    termios tio{};
    ASSERT_EQ(tcgetattr(pty.Slave(), &tio), 0);
    EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, c.crtscts) << c.handshake;
    EXPECT_EQ((tio.c_iflag & IXON) != 0, c.ixon) << c.handshake;
    EXPECT_EQ((tio.c_iflag & IXOFF) != 0, c.ixoff) << c.handshake;
    EXPECT_EQ(line.m_dcb.fDtrControl, c.dtr) << c.handshake;
    EXPECT_EQ(line.m_dcb.fRtsControl, c.rts) << c.handshake;
  }
  EXPECT_TRUE(line.SetupPortForHandshaking(true));
  line.SetComm(0);
  EXPECT_EQ(line.SetupHandshaking(kHandshakeOff), static_cast<long>(kErrorInvalidHandle));
  EXPECT_FALSE(line.SetupPortForHandshaking(true));
}

TEST_F(SerialLine, ClosingResetsTheDisplay) {
  line.m_port.m_status = kLightGreen;
  line.m_port.m_hz = "5.0";
  line.m_port.m_lastMsg = "old";
  line.SetComm(0);
  EXPECT_EQ(line.m_port.m_status, kLightGrey);
  EXPECT_EQ(line.m_port.m_hz, "0.0");
  EXPECT_EQ(line.m_port.m_lastMsg, "");
  EXPECT_FALSE(line.IsRunning());
  EXPECT_EQ(line.OnTrigger(kPortStart, 0.05), 0);  // no COM port: nothing to do
}

TEST_F(SerialLine, PortListHoldsPortsThatOpenAndTheLinesOwn) {
  PtyPair free;
  ScopedComPort freeMap(43, free.SlavePath());
  ScopedComPort missing(44, "/nonexistent/ttyNYX");
  Open(0);
  CECombo combo(kCtrlCombo, 80, std::monostate{}, "COM", "");
  const int selected = line.PopulateCOMPortList(combo);
  const auto& entries = combo.GetEntries();
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries[0], std::make_pair(std::string("Off"), 0L));
  const auto has = [&](long n) {
    for (const auto& entry : entries) {
      if (entry.second == n) return entry.first == "COM" + std::to_string(n);
    }
    return false;
  };
  EXPECT_TRUE(has(kCom));  // open by this line, listed without probing
  EXPECT_TRUE(has(43));
  EXPECT_FALSE(has(44));
  EXPECT_EQ(entries[static_cast<std::size_t>(selected)].second, kCom);

  CECombo off(kCtrlCombo, 80, std::monostate{}, "COM", "");
  CSPort closed;
  EXPECT_EQ(closed.PopulateCOMPortList(off), 0);
}

TEST_F(SerialLine, SettingsStoreTheLineAndReopenItWhenLoaded) {
  line.m_dcb.BaudRate = 19200;
  line.m_dcb.StopBits = 2;
  line.m_port.m_syncChar = 13;
  Open(DecoderIndex("GPGGA"));
  CESet stored;
  CESetObj* obj = stored.AddCol("Test")->AddObj("Port01", "No Data");
  line.Settings(*obj);
  const std::vector<std::pair<std::string, std::string>> head = {
      {"CommPort", "int"}, {"DCB_Baud", "uint"}, {"DCB_Parity", "u8"}, {"DCB_StopBits", "u8"}, {"DCB_ByteSize", "u8"},
      {"EchoData", "int"}};
  ASSERT_GE(obj->GetItems().size(), head.size());
  for (std::size_t i = 0; i < head.size(); ++i) {
    EXPECT_EQ(obj->GetItems()[i].key, head[i].first);
    EXPECT_EQ(obj->GetItems()[i].type, head[i].second);
  }
  EXPECT_EQ(line.m_dcb.EvtChar, 13);
  line.SetComm(0);

  CESet loaded;
  ASSERT_TRUE(loaded.LoadFromString(stored.ToString()));
  CSPort other;
  other.m_port.m_pOwner = &window;
  other.Settings(*loaded.GetCol("Test")->GetObj("Port01"));
  EXPECT_TRUE(other.IsOpen());
  EXPECT_EQ(other.m_commPort, kCom);
  EXPECT_EQ(other.m_dcb.BaudRate, 19200u);
  EXPECT_EQ(other.m_dcb.StopBits, 2);
  EXPECT_EQ(other.m_port.m_decode, DecoderIndex("GPGGA"));
  EXPECT_EQ(other.m_port.m_syncChar, 13);
  unsigned baud = 0;
  ASSERT_EQ(GetSerialBaudRate(pty.Slave(), baud), 0);
  EXPECT_EQ(baud, 19200u);
  // Stored again, the line gives the same items.
  CESet again;
  other.Settings(*again.AddCol("Test")->AddObj("Port01", "No Data"));
  EXPECT_EQ(again.ToString(), stored.ToString());
}

// The state written to the device holds DTR up on a pulse line after every
// open: directly, by CfgPrt and by loading settings.
TEST_F(SerialLine, PulseLineKeepsDtrRaisedAfterEveryOpen) {
  const std::pair<const char*, unsigned char> decoders[] = {{"PPS", 1}, {"GPGGA", 0}};
  for (const auto& [decoder, dtr] : decoders) {
    SCOPED_TRACE(decoder);
    Open(DecoderIndex(decoder));
    EXPECT_EQ(line.m_dcb.fDtrControl, dtr);
    line.m_dcb.fDtrControl = 2;
    line.CfgPrt();
    ASSERT_TRUE(line.IsOpen());
    EXPECT_EQ(line.m_dcb.fDtrControl, dtr);
    CESet stored;
    line.Settings(*stored.AddCol("Test")->AddObj("Port01", "No Data"));
    line.SetComm(0);
    line.m_dcb.fDtrControl = 2;
    CESet loaded;
    ASSERT_TRUE(loaded.LoadFromString(stored.ToString()));
    line.Settings(*loaded.GetCol("Test")->GetObj("Port01"));
    ASSERT_TRUE(line.IsOpen());
    EXPECT_EQ(line.m_dcb.fDtrControl, dtr);
    EXPECT_EQ(line.GetConfigError(), 0);
    line.SetComm(0);
  }
}

TEST(SerialLineDefaults, DefaultsAreNineSixHundredEightNoneOne) {
  CSPort line;
  line.m_dcb = SerialDcb{4800, 7, 2, 2};
  line.m_port.m_syncChar = 13;
  line.m_port.m_sync = 0;
  line.m_commPort = 5;
  line.SetDefaults();
  EXPECT_EQ(line.m_dcb.BaudRate, 9600u);
  EXPECT_EQ(line.m_dcb.ByteSize, 8);
  EXPECT_EQ(line.m_dcb.Parity, 0);
  EXPECT_EQ(line.m_dcb.StopBits, 0);
  EXPECT_EQ(line.m_dcb.EvtChar, 13);  // taken before "SyncChar" is reset
  EXPECT_EQ(line.m_port.m_syncChar, 10);
  EXPECT_EQ(line.m_port.m_sync, 1);
  EXPECT_EQ(line.m_commPort, 0);
  EXPECT_EQ(line.m_timeouts.ReadIntervalTimeout, kMaxDword);
  EXPECT_EQ(line.m_timeouts.ReadTotalTimeoutConstant, 10u);
}

TEST(ComPortMapping, NumbersWithoutAnEntryAreThePlatformsSerialPorts) {
  ComPortMap::Set(3, "/dev/ttyUSB0");
  EXPECT_EQ(ComPortMap::Path(3), "/dev/ttyUSB0");
  EXPECT_EQ(ComPortMap::Path(1), "/dev/ttyS0");
  EXPECT_EQ(ComPortMap::Path(12), "/dev/ttyS11");
  EXPECT_EQ(ComPortMap::Path(0), "");
  ComPortMap::Set(3, "");
  EXPECT_EQ(ComPortMap::Path(3), "/dev/ttyS2");
}

TEST_F(SerialLine, DecoderChosenOnALineOpenedWithoutOneStartsItsReader) {
  Open(0);
  line.m_port.m_decode = DecoderIndex("GPGGA");
  line.m_port.SetDecode();
  window.OnTrigger(kPortStart, 0.05);  // the line reopens with a reader
  ASSERT_TRUE(line.IsOpen());
  pty.Write("LATE\n");
  ASSERT_TRUE(WaitUntil([&] {
    window.OnTrigger(kPortStart, 0.05);
    return !RawMessages().empty();
  }));
  EXPECT_EQ(RawMessages()[0].first, "LATE");
}
