// The COM line driver: on pseudo-terminals what only a real device shows, on a
// scripted device the failures a pseudo-terminal cannot make.
#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <functional>
#include <list>
#include <sstream>
#include <thread>

#include "comms/serial_comms.h"
#include "host/controls.h"
#include "host/settings.h"
#include "port/com_port_map.h"
#include "port/serial_port.h"
#include "support/capture.h"
#include "support/panel_dump.h"
#include "support/pty_pair.h"
#include "support/scripted_serial_device.h"
#include "support/test_codecs.h"

namespace {

using namespace std::chrono_literals;
using Nyx::ReportKind;

constexpr int kCom = 41;
constexpr double kStart = 5000.0;
constexpr double kCharTime = 9.0 / 9600.0;  // 8N1 at 9600 baud

class SerialLine : public ::testing::Test {
 protected:
  void SetUp() override {
    line.m_readWait = 25ms;
    window.m_commsEnabled = 1;
  }
  // Opens COM kCom: the pseudo-terminal, unless the test gave the line another opener.
  void Open(int decode, int encode = 0) {
    line.m_port.m_decode = decode;
    line.m_port.SetDecode();
    line.m_port.m_encode = encode;
    line.m_port.SetEncode();
    line.m_commPort = kCom;
    line.SetComm(kCom);
  }
  void OpenScripted(int decode, int encode = 0) {
    line.SetDeviceOpener(script.Opener());
    Open(decode, encode);
  }
  // Writes at a host time and waits until the reader queued every byte.
  void WriteAt(double time, const std::string& bytes) {
    clock->Set(time);
    const int expected = line.GetQueuedCount() + static_cast<int>(bytes.size());
    pty.Write(bytes);
    ASSERT_TRUE(WaitUntil([&] { return line.GetQueuedCount() == expected; }));
  }
  std::vector<std::pair<std::string, double>> Messages() const {
    std::vector<std::pair<std::string, double>> out;
    for (const auto& record : records.Records(0)) out.emplace_back(record["text"], record["time"]);
    return out;
  }
  Nyx::Report Last(ReportKind kind, int id) const {
    const auto all = reports->Of(kind, id);
    return all.empty() ? Nyx::Report{} : all.back();
  }
  std::string Named(const std::string& text) const { return text + " [" + line.m_deviceName + "]"; }

  ScopedReports reports;
  ScopedClock clock{kStart};
  PtyPair pty;
  ScopedComPort map{kCom, pty.SlavePath()};
  ScriptedSerialLine script;
  CSComm window;
  RecordCollector records;
  CSPort& line = *window.GetLine(0);
};

}  // namespace

TEST_F(SerialLine, BytesReachThePortAsMessagesStampedWithTheirArrival) {
  const struct {
    const char* name;
    std::vector<std::pair<double, std::string>> writes;
    std::vector<std::pair<std::string, double>> messages;  // text, arrival of its first byte
  } cases[] = {
      {"split over two reads", {{kStart, "TW"}, {kStart + 0.5, "O\r\nTHREE\n"}},
       {{"TWO\r", kStart}, {"THREE", kStart + 0.5}}},
      {"two in one read share its stamp", {{kStart + 2, "A\nB\n"}}, {{"A", kStart + 2}, {"B", kStart + 2}}},
      {"a partial message waits for its end", {{kStart + 3, "C"}}, {}},
  };
  Open(DecoderIndex("GPGGA"));
  ASSERT_TRUE(line.IsOpen()) << Nyx::ErrorString(line.GetOpenError());
  // A silent line reports every wait that times out: five, a fresh read, and on.
  ASSERT_TRUE(WaitUntil([&] { return reports->Of(ReportKind::Status, 9040).size() >= 7; }));
  EXPECT_EQ(Last(ReportKind::Status, 9040).text, "Serial Comms Timeout [" + pty.SlavePath() + "]");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    records.Clear();
    for (const auto& [time, bytes] : c.writes) ASSERT_NO_FATAL_FAILURE(WriteAt(time, bytes));
    window.OnTrigger(kStart, 0.05);
    std::vector<std::pair<std::string, double>> expected;
    for (const auto& [text, time] : c.messages) expected.emplace_back(text, time - kCharTime);
    EXPECT_EQ(Messages(), expected);
    EXPECT_EQ(line.GetQueuedCount(), 0);
  }
  // Bytes that arrive while comms are off are dropped.
  window.m_commsEnabled = 0;
  pty.Write("D\n");
  ASSERT_TRUE(pty.WaitConsumed());
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(line.GetQueuedCount(), 0);
}

TEST(SerialQueue, TriggerSeesOnlyTheLastLapOfTheRingAndReportsTheLoss) {
  const struct {
    int fed;
    int seen;
    long lostSoFar;  // the alarm's count; 0: no alarm up after the trigger
  } cases[] = {{1, 1, 0},         {999, 999, 0},   {1000, 0, 1000},   {1001, 1, 2000},
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
      EXPECT_EQ(alarms.back().text,
                "Serial Comms " + std::to_string(c.lostSoFar) + " bytes lost to queue overrun []");
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
  Open(0);
  EXPECT_TRUE(marked());
  line.SetComm(0);
  EXPECT_FALSE(marked());
  EXPECT_TRUE(SerialDevice::Probe(pty.SlavePath()));
  EXPECT_FALSE(marked());
  // Held by another: probing and opening are refused, and the mark stays.
  ASSERT_EQ(::ioctl(pty.Slave(), TIOCEXCL), 0);
  EXPECT_FALSE(SerialDevice::Probe(pty.SlavePath()));
  line.SetComm(kCom);
  EXPECT_EQ(line.GetOpenError(), EBUSY);
  EXPECT_TRUE(marked());
}

TEST_F(SerialLine, ClosingTheFarEndEndsTheReaderWithTheError) {
  Open(DecoderIndex("GPGGA"));
  pty.CloseMaster();
  const std::string error = " [" + Nyx::ErrorString(EIO) + "]";
  EXPECT_TRUE(WaitUntil([&] {
    return Last(ReportKind::Alarm, 3030).text == "Comms Error" + error ||
           Last(ReportKind::Alarm, 3040).text == "Error: While waiting on read" + error;
  }));
}

TEST_F(SerialLine, BlockingReadTimeoutsCompleteReadsOnlyWhenFull) {
  Open(DecoderIndex("GPGGA"));
  EXPECT_EQ(line.SetupReadTimeouts(kReadBlocking), 0);
  line.SetComm(kCom);  // the reader takes the time-outs as it starts
  pty.Write(std::string(100, 'a'));
  ASSERT_TRUE(pty.WaitConsumed());
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(line.GetQueuedCount(), 0);
  pty.Write(std::string(400, 'b'));
  ASSERT_TRUE(WaitUntil([&] { return line.GetQueuedCount() == 500; }));
  EXPECT_EQ(line.SetupReadTimeouts(kReadReturnAtOnce), 0);
  EXPECT_EQ(line.m_timeouts.ReadIntervalTimeout, kMaxDword);
}

TEST_F(SerialLine, StoppingAWriterWithABacklogIsPromptAndCountsWhatItDrops) {
  Open(0, RegisterTestEncoder("Backlog VKRTAR", RuntimeClassOf<TestTargetEncoder>()));
  // Nobody reads the far end: the line's buffer fills and a write waits for room.
  // The encoder keeps the latest thousand texts: the oldest beyond are lost and counted.
  constexpr int kTexts = 1200, kKept = 1000;
  std::list<std::string> texts(kTexts, std::string(1000, 'x') + "\r\n");
  ASSERT_EQ(line.SendEncodeData(texts), 1);
  ASSERT_TRUE(WaitUntil([&] { return !reports->Of(ReportKind::Status, 9050).empty(); }));
  std::this_thread::sleep_for(100ms);
  line.OnTrigger(kStart, 0.05);
  EXPECT_EQ(Last(ReportKind::Alarm, CSPort::kTextsAlarm).text, Named("Serial Comms 200 texts not sent"));
  // Texts handed over while the writer is stuck wait in the encoder; they are dropped too.
  std::list<std::string> late(5, "late\r\n");
  ASSERT_EQ(line.SendEncodeData(late), 1);

  const auto start = std::chrono::steady_clock::now();
  line.SetComm(0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  const int written = static_cast<int>(reports->Of(ReportKind::Status, 9050).size());
  EXPECT_LT(written, kKept);
  ASSERT_EQ(reports->Of(ReportKind::Status, 9070).size(), 1u);
  EXPECT_EQ(Last(ReportKind::Status, 9070).text,
            Named("Serial Comms Dropped " + std::to_string(kKept + 5 - written) + " texts"));
}

// Size, parity and stop bits in, the driver's flags (or the error) out.
TEST(SerialSettings, FramingTranslatesToTheDriversFlags) {
  std::ostringstream table;
  for (const int byteSize : {5, 7, 8, 9}) {
    for (int parity = 0; parity <= 5; ++parity) {
      for (int stopBits = 0; stopBits <= 2; ++stopBits) {
        SerialDcb dcb;
        dcb.ByteSize = static_cast<unsigned char>(byteSize);
        dcb.Parity = static_cast<unsigned char>(parity);
        dcb.StopBits = static_cast<unsigned char>(stopBits);
        termios tio{};
        const int result = SerialDcbToTermios(dcb, tio);
        table << byteSize << parity << stopBits << ": " << result << std::oct << " 0"
              << (tio.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB)) << std::dec << "\n";
      }
    }
  }
  ExpectGoldenFile("port/framing_flags.txt", table.str());
}

TEST_F(SerialLine, HandshakingChoicesSetFlowControl) {
  const struct {
    int handshake;
    long result;
    bool crtscts, ixon, ixoff;
    unsigned char dtr, rts;
  } cases[] = {
      {kHandshakeHardware, 0, true, false, false, 2, 2},
      {3, static_cast<long>(kErrorInvalidArgument), true, false, false, 2, 2},  // unchanged
      {kHandshakeSoftware, 0, false, true, true, 0, 0},
      {kHandshakeOff, 0, false, false, false, 0, 0},
  };
  Open(0);
  for (const auto& c : cases) {
    EXPECT_EQ(line.SetupHandshaking(c.handshake), c.result) << c.handshake;
    termios tio{};
    ASSERT_EQ(tcgetattr(pty.Slave(), &tio), 0);
    EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, c.crtscts) << c.handshake;
    EXPECT_EQ((tio.c_iflag & IXON) != 0, c.ixon) << c.handshake;
    EXPECT_EQ((tio.c_iflag & IXOFF) != 0, c.ixoff) << c.handshake;
    EXPECT_EQ(line.m_dcb.fDtrControl, c.dtr) << c.handshake;
    EXPECT_EQ(line.m_dcb.fRtsControl, c.rts) << c.handshake;
  }
}

TEST_F(SerialLine, PortListHoldsPortsThatOpenAndTheLinesOwn) {
  PtyPair free;
  ScopedComPort freeMap(43, free.SlavePath());
  ScopedComPort missing(44, "/nonexistent/ttyNYX");
  Open(0);
  CECombo combo(kCtrlCombo, 80, std::monostate{}, "COM", "");
  const int selected = line.PopulateCOMPortList(combo);
  const auto& entries = combo.GetEntries();
  EXPECT_EQ(entries.at(0), std::make_pair(std::string("Off"), 0L));
  const auto listed = [&](long n) {
    const auto entry = std::make_pair("COM" + std::to_string(n), n);
    return std::find(entries.begin(), entries.end(), entry) != entries.end();
  };
  EXPECT_TRUE(listed(kCom));  // open by this line, listed without probing
  EXPECT_TRUE(listed(43));
  EXPECT_FALSE(listed(44));
  EXPECT_EQ(entries.at(static_cast<std::size_t>(selected)).second, kCom);
}

// A pseudo-terminal keeps the rate and the stop bits; it always frames eight
// bits without parity, and the stored configuration shows what the line holds.
// A pulse line keeps DTR raised (a pulse circuit is often powered from it).
TEST_F(SerialLine, SettingsReachTheDeviceAndReopenTheLineWhenLoaded) {
  line.m_dcb = SerialDcb{57600, 7, 2, 2};
  Open(DecoderIndex("PPS"));
  ASSERT_TRUE(line.IsOpen());
  line.m_port.m_syncChar = 13;
  EXPECT_EQ(line.GetConfigError(), 0);
  EXPECT_DOUBLE_EQ(line.m_port.m_charTime, 10.0 / 57600);
  EXPECT_EQ(line.m_dcb.fDtrControl, 1);
  EXPECT_EQ(std::tie(line.m_dcb.ByteSize, line.m_dcb.Parity, line.m_dcb.StopBits), std::make_tuple(8, 0, 2));
  CESet stored;
  CESetObj* obj = stored.AddCol("Test")->AddObj("Port01", "No Data");
  line.Settings(*obj);
  std::string keys;
  for (const auto& item : obj->GetItems()) keys += item.key + ":" + item.type + "\n";
  ExpectGoldenFile("port/serial_line_setting_items.txt", keys);
  EXPECT_EQ(line.m_dcb.EvtChar, 13);
  line.SetComm(0);
  EXPECT_EQ(std::tie(line.m_port.m_status, line.m_port.m_hz, line.m_port.m_lastMsg),
            std::make_tuple(kLightGrey, std::string("0.0"), std::string()));
  line.m_dcb = SerialDcb{};

  CESet loaded;
  ASSERT_TRUE(loaded.LoadFromString(stored.ToString()));
  line.Settings(*loaded.GetCol("Test")->GetObj("Port01"));
  ASSERT_TRUE(line.IsOpen());
  EXPECT_EQ(line.m_dcb.fDtrControl, 1);
  EXPECT_EQ(line.m_port.m_decode, DecoderIndex("PPS"));
  termios tio{};
  ASSERT_EQ(tcgetattr(pty.Slave(), &tio), 0);
  EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u) << "raw mode";
  unsigned baud = 0;
  ASSERT_EQ(GetSerialBaudRate(pty.Slave(), baud), 0);
  EXPECT_EQ(baud, 57600u);

  // A configuration the driver refuses is kept as the line's error; the line still opens.
  line.m_dcb.ByteSize = 9;
  Open(0);
  EXPECT_TRUE(line.IsOpen());
  EXPECT_EQ(line.GetConfigError(), EINVAL);
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

TEST_F(SerialLine, AFailedLineRaisesItsAlarmAndIsTriedAgainUntilItIsBack) {
  const struct {
    const char* name;
    std::function<void(ScriptedSerialLine&)> fail;
    int alarmId, level;
    std::string text;
  } cases[] = {
      {"missing at start", [](auto& s) { s.FailOpen(ENOENT); }, 99999, 1, "Unable to open COM41"},
      {"read fails at once", [](auto& s) { s.FailRead(EIO); }, 3030, 3,
       "Comms Error [" + Nyx::ErrorString(EIO) + "]"},
      {"read fails after a wait", [](auto& s) { s.Quiet(); s.FailRead(EBADF); }, 3040, 3,
       "Error: While waiting on read [" + Nyx::ErrorString(EBADF) + "]"},
      {"wait fails", [](auto& s) { s.Quiet(); s.FailWait(); }, 3050, 3, "Error: In Overlapped Event"},
  };
  line.m_retryWait = 150ms;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reports->Clear();
    ScriptedSerialLine device;
    line.SetDeviceOpener(device.Opener());
    c.fail(device);
    Open(DecoderIndex("GPGGA"));
    ASSERT_TRUE(WaitUntil([&] { return Last(ReportKind::Alarm, c.alarmId).id != 0; }));
    EXPECT_EQ(Last(ReportKind::Alarm, c.alarmId).level, c.level);
    EXPECT_EQ(Last(ReportKind::Alarm, c.alarmId).text, c.text);
    line.OnTrigger(kStart, 0.05);
    const auto lost = std::chrono::steady_clock::now();
    EXPECT_FALSE(device.IsOpen());
    device.FailOpen(0);
    ASSERT_TRUE(WaitUntil([&] {
      line.OnTrigger(kStart, 0.05);
      return device.IsOpen();
    }));
    EXPECT_GE(std::chrono::steady_clock::now() - lost, 140ms);
    EXPECT_EQ(Last(ReportKind::Alarm, c.alarmId).level, -1);
    EXPECT_EQ(Last(ReportKind::Status, 9090).text, Named("Serial Comms Reopened"));
    device.Feed("$GPX,1\r\n");
    EXPECT_TRUE(WaitUntil([&] { return line.GetQueuedCount() == 8; }));
    line.SetComm(0);
  }
}

TEST_F(SerialLine, WritesReachTheDeviceAndTheWriterShowsItsLastText) {
  OpenScripted(0);
  window.SendData(0, "$ONE\r\n");
  EXPECT_EQ(Last(ReportKind::Status, 9050).text, Named("Serial Comms Sent 6 chars"));
  script.FailWrite(EIO);
  window.SendData(0, "$TWO\r\n");
  EXPECT_EQ(Last(ReportKind::Status, 9050).text, Named("Serial Comms Sent 0 chars"));
  line.OnTrigger(kStart, 0.05);
  EXPECT_FALSE(script.IsOpen());  // a failed write closes the line until it is back
  script.FailWrite(0);

  // A line that only encodes writes from a thread of its own.
  reports->Clear();
  OpenScripted(0, RegisterTestEncoder("Scripted VKRTAR", RuntimeClassOf<TestTargetEncoder>()));
  std::list<std::string> texts = {"$PVKRTAR,1*00\r\n", "$PVKRTAR,2*00\r\n"};
  ASSERT_EQ(line.SendEncodeData(texts), 1);
  EXPECT_EQ(line.m_port.m_lastMsg, "$PVKRTAR,1*00\r\n");  // the first text handed over
  EXPECT_EQ(line.m_port.m_status, kLightGreen);
  EXPECT_TRUE(script.WaitWritten("$ONE\r\n$PVKRTAR,1*00\r\n$PVKRTAR,2*00\r\n", 3s)) << script.Written();
  // The sent flag reaches the panel on the next trigger with the last text written.
  ASSERT_TRUE(WaitUntil([&] { return reports->Of(ReportKind::Status, 9050).size() == 2; }));
  EXPECT_TRUE(line.OnTrigger(kStart, 0.05));
  EXPECT_EQ(line.m_port.m_lastMsg, "$PVKRTAR,2*00\r\n");
  EXPECT_FALSE(line.OnTrigger(kStart, 0.05));
  line.SetComm(0);
  EXPECT_EQ(Last(ReportKind::Status, 9010).text, Named("Serial Comms Start"));
  EXPECT_EQ(Last(ReportKind::Status, 9030).text, Named("Serial Comms End"));
}

TEST_F(SerialLine, TextsForALineWithoutAWriterAreCountedUntilItWritesAgain) {
  const int encode = RegisterTestEncoder("Unsent VKRTAR", RuntimeClassOf<TestTargetEncoder>());
  const std::function<void()> withoutWriter[] = {
      [&] {
        OpenScripted(0, encode);
        line.SetComm(0);
      },
      [&] {
        script.FailOpen(ENOENT);
        OpenScripted(0, encode);
        script.FailOpen(0);
      },
      [&] { OpenScripted(DecoderIndex("GPGGA"), encode); },
  };
  line.m_retryWait = 1h;
  for (int lost = 2; const auto& setUp : withoutWriter) {
    setUp();
    std::list<std::string> texts = {"$PVKRTAR,1*00\r\n", "$PVKRTAR,2*00\r\n"};
    EXPECT_EQ(line.SendEncodeData(texts), 0);
    line.OnTrigger(kStart, 0.05);
    EXPECT_EQ(Last(ReportKind::Alarm, CSPort::kTextsAlarm).text,
              Named("Serial Comms " + std::to_string(lost) + " texts not sent"));
    lost += 2;
  }
  OpenScripted(0, encode);
  std::list<std::string> texts = {"$PVKRTAR,3*00\r\n"};
  EXPECT_EQ(line.SendEncodeData(texts), 1);
  line.OnTrigger(kStart, 0.05);
  EXPECT_EQ(reports->Of(ReportKind::Alarm, CSPort::kTextsAlarm).size(), 4u);  // three raised, one end
  EXPECT_EQ(Last(ReportKind::Alarm, CSPort::kTextsAlarm).level, -1);
  EXPECT_TRUE(script.WaitWritten("$PVKRTAR,3*00\r\n", 3s)) << script.Written();
}
