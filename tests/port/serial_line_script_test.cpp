// The COM line driver over a scripted device: read and wait failures, a
// hang-up, open and settings failures, writes and modem lines, all without a
// pseudo-terminal.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <list>

#include "comms/serial_comms.h"
#include "port/serial_port.h"
#include "support/capture.h"
#include "support/pty_pair.h"
#include "support/scripted_serial_device.h"
#include "support/test_codecs.h"

namespace {

using namespace std::chrono_literals;
using Nyx::ReportKind;

constexpr int kScriptCom = 77;

class ScriptedLine : public ::testing::Test {
 protected:
  void SetUp() override {
    line.m_readWait = 20ms;
    line.SetDeviceOpener(script.Opener());
    window.m_commsEnabled = 1;
  }
  void Open(int decode, int encode = 0) {
    line.m_port.m_decode = decode;
    line.m_port.SetDecode();
    line.m_port.m_encode = encode;
    line.m_port.SetEncode();
    line.m_commPort = kScriptCom;
    line.SetComm(kScriptCom);
  }
  Nyx::Report FirstAlarm(int id) const {
    const auto alarms = reports->Of(ReportKind::Alarm, id);
    return alarms.empty() ? Nyx::Report{} : alarms[0];
  }

  ScopedReports reports;
  ScopedClock clock{7000.0};
  ScriptedSerialLine script;
  CSComm window;
  RecordCollector records;
  CSPort& line = *window.GetLine(0);
};

struct ScriptedReaderCase {
  const char* name;
  std::function<void(ScriptedSerialLine&)> script;
  int alarmId;
  std::string alarmText;
  int queued;  // bytes the reader queued before it stopped
};

TEST_F(ScriptedLine, ReaderStopsOnEachFailureWithItsAlarm) {
  const std::string eio = Nyx::ErrorString(EIO);
  const ScriptedReaderCase cases[] = {
      {"read fails at once", [](auto& s) { s.FailRead(EIO); }, 3030, "Comms Error [" + eio + "]", 0},
      {"read fails after a wait", [](auto& s) { s.Quiet(); s.FailRead(EBADF); }, 3040,
       "Error: While waiting on read [" + Nyx::ErrorString(EBADF) + "]", 0},
      {"wait fails", [](auto& s) { s.Quiet(); s.FailWait(); }, 3050, "Error: In Overlapped Event", 0},
      {"hang-up after data", [](auto& s) { s.Feed("$AB\n"); s.HangUp(); }, 3030, "Comms Error [" + eio + "]", 4},
      {"hang-up after a wait", [](auto& s) { s.Quiet(); s.Feed("XY"); s.Quiet(); s.HangUp(); }, 3040,
       "Error: While waiting on read [" + eio + "]", 2},
  };
  for (const ScriptedReaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    reports->Clear();
    ScriptedSerialLine fresh;
    line.SetDeviceOpener(fresh.Opener());
    c.script(fresh);
    Open(DecoderIndex("GPGGA"));
    ASSERT_TRUE(WaitUntil([&] { return FirstAlarm(c.alarmId).id != 0; }));
    EXPECT_EQ(FirstAlarm(c.alarmId).level, 3);
    EXPECT_EQ(FirstAlarm(c.alarmId).text, c.alarmText);
    EXPECT_EQ(line.GetQueuedCount(), c.queued);
    EXPECT_TRUE(line.IsRunning());  // open until closed
    line.SetComm(0);
    EXPECT_FALSE(fresh.IsOpen());
  }
}

struct ScriptedReopenCase {
  const char* name;
  std::function<void(ScriptedSerialLine&)> fail, mend;
  int alarmId;
};

TEST_F(ScriptedLine, ALostLineIsTriedAgainUntilItIsBackAndItsAlarmEnds) {
  const ScriptedReopenCase cases[] = {
      {"missing at start", [](auto& s) { s.FailOpen(ENOENT); }, [](auto& s) { s.FailOpen(0); }, 99999},
      {"read fails", [](auto& s) { s.FailRead(EIO); }, [](auto&) {}, 3030},
      {"wait fails", [](auto& s) { s.Quiet(); s.FailWait(); }, [](auto&) {}, 3050},
  };
  line.m_retryWait = 150ms;
  for (const ScriptedReopenCase& c : cases) {
    SCOPED_TRACE(c.name);
    reports->Clear();
    ScriptedSerialLine fresh;
    line.SetDeviceOpener(fresh.Opener());
    c.fail(fresh);
    Open(DecoderIndex("GPGGA"));
    ASSERT_TRUE(WaitUntil([&] { return FirstAlarm(c.alarmId).id != 0; }));
    line.OnTrigger(7000.0, 0.05);
    const auto lost = std::chrono::steady_clock::now();
    EXPECT_FALSE(fresh.IsOpen());
    c.mend(fresh);
    ASSERT_TRUE(WaitUntil([&] {
      line.OnTrigger(7000.0, 0.05);
      return fresh.IsOpen();
    }));
    EXPECT_GE(std::chrono::steady_clock::now() - lost, 140ms);
    EXPECT_EQ(reports->Of(ReportKind::Alarm, c.alarmId).back().level, -1);
    const auto reopened = reports->Of(ReportKind::Status, 9090);
    ASSERT_EQ(reopened.size(), 1u);
    EXPECT_EQ(reopened[0].text, "Serial Comms Reopened [" + line.m_deviceName + "]");
    fresh.Feed("$GPX,1\r\n");
    EXPECT_TRUE(WaitUntil([&] { return line.GetQueuedCount() == 8; }));
    line.SetComm(0);
  }
}

TEST_F(ScriptedLine, BytesReachThePortOnlyWhileCommsAreOn) {
  Open(DecoderIndex("GPGGA"));
  script.Feed("$GP");
  script.Feed("X,1\r\n$GPY,2\r\n");
  ASSERT_TRUE(WaitUntil([&] { return line.GetQueuedCount() == 16; }));
  line.OnTrigger(7000.0, 0.05);
  ASSERT_EQ(records.Records(0).size(), 2u);
  EXPECT_EQ(records.Records(0)[1]["text"], "$GPY,2\r");

  window.m_commsEnabled = 0;
  script.Feed("$GPZ,3\r\n");
  ASSERT_TRUE(script.WaitDrained(3s));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(line.GetQueuedCount(), 0);
}

TEST_F(ScriptedLine, OpenAndSettingsFailuresAreKept) {
  script.FailOpen(EACCES);
  Open(0);
  EXPECT_FALSE(line.IsOpen());
  EXPECT_EQ(line.GetOpenError(), EACCES);
  EXPECT_EQ(line.m_port.m_status, kLightRed);
  EXPECT_EQ(FirstAlarm(99999).text, "Unable to open COM77");

  script.FailOpen(0);
  script.FailState(EINVAL);
  line.m_dcb.BaudRate = 4800;
  Open(0);
  EXPECT_TRUE(line.IsOpen());
  EXPECT_EQ(line.GetOpenError(), 0);
  EXPECT_EQ(line.GetConfigError(), EINVAL);
  // The refused rate is not kept: the line reads back the device's own.
  EXPECT_EQ(line.m_dcb.BaudRate, 9600u);
  script.FailState(0);
  line.m_dcb.BaudRate = 4800;
  line.CfgPrt();
  EXPECT_EQ(line.GetConfigError(), 0);
  EXPECT_EQ(script.State().BaudRate, 4800u);
  EXPECT_EQ(script.Opens(), 2);
}

TEST_F(ScriptedLine, WritesAndTheirFailures) {
  Open(0);
  window.SendData(0, "$ONE\r\n");
  EXPECT_EQ(script.Written(), "$ONE\r\n");
  EXPECT_EQ(reports->Of(ReportKind::Status, 9050).back().text, "Serial Comms Sent 6 chars [" + line.m_deviceName + "]");
  script.FailWrite(EIO);
  window.SendData(0, "$TWO\r\n");
  EXPECT_EQ(script.Written(), "$ONE\r\n");
  EXPECT_EQ(reports->Of(ReportKind::Status, 9050).back().text, "Serial Comms Sent 0 chars [" + line.m_deviceName + "]");

  script.FailWrite(0);
  const int encode = RegisterTestEncoder("Scripted VKRTAR", RuntimeClassOf<TestTargetEncoder>());
  Open(0, encode);
  std::string text = "$PVKRTAR,9*00\r\n";
  ASSERT_EQ(line.SendEncodeData(text), 1);
  EXPECT_TRUE(script.WaitWritten("$ONE\r\n$PVKRTAR,9*00\r\n", 3s)) << script.Written();
}

struct ScriptedTextsCase {
  const char* name;
  std::function<void()> setUp;
  bool taken;
};

TEST_F(ScriptedLine, TextsForALineWithoutAWriterAreCountedUntilItWritesAgain) {
  const int encode = RegisterTestEncoder("Unsent VKRTAR", RuntimeClassOf<TestTargetEncoder>());
  const ScriptedTextsCase cases[] = {
      {"off", [&] {
         Open(0, encode);
         line.SetComm(0);
       }, false},
      {"not opened", [&] {
         script.FailOpen(ENOENT);
         Open(0, encode);
         script.FailOpen(0);
       }, false},
      {"decoding", [&] { Open(DecoderIndex("GPGGA"), encode); }, false},
      {"writing", [&] { Open(0, encode); }, true},
  };
  line.m_retryWait = 1h;
  long lost = 0;
  for (const ScriptedTextsCase& c : cases) {
    SCOPED_TRACE(c.name);
    reports->Clear();
    c.setUp();
    std::list<std::string> texts = {"$PVKRTAR,1*00\r\n", "$PVKRTAR,2*00\r\n"};
    EXPECT_EQ(line.SendEncodeData(texts), c.taken ? 1 : 0);
    line.OnTrigger(7000.0, 0.05);
    const auto alarms = reports->Of(ReportKind::Alarm, CSPort::kTextsAlarm);
    ASSERT_EQ(alarms.size(), 1u);
    if (c.taken) {
      EXPECT_EQ(alarms[0].level, -1);
      EXPECT_TRUE(script.WaitWritten("$PVKRTAR,2*00\r\n", 3s)) << script.Written();
    } else {
      lost += 2;
      EXPECT_EQ(alarms[0].level, 2);
      EXPECT_EQ(alarms[0].text, "Serial Comms " + std::to_string(lost) + " texts not sent [" + line.m_deviceName + "]");
    }
  }
}

struct ScriptedModemCase {
  const char* name;
  std::function<bool(CSPort&)> call;
  bool result;
  int bits;  // the device's modem bits afterwards
};

TEST_F(ScriptedLine, ModemLinesFollowTheCalls) {
  Open(0);
  script.SetInputLines(kModemCts | kModemCd);
  const ScriptedModemCase cases[] = {
      {"CTS up", [](CSPort& l) { return l.GetCTS(); }, true, kModemCts | kModemCd},
      {"RTS on", [](CSPort& l) { return l.SetRTS(true); }, true, kModemCts | kModemCd | kModemRts},
      {"DTR on", [](CSPort& l) { return l.SetDTR(); }, true, kModemCts | kModemCd | kModemRts | kModemDtr},
      {"RTS off", [](CSPort& l) { return l.SetRTS(false); }, true, kModemCts | kModemCd | kModemDtr},
      {"DTR off", [](CSPort& l) { return l.ClearDTR(); }, true, kModemCts | kModemCd},
  };
  for (const ScriptedModemCase& c : cases) {
    EXPECT_EQ(c.call(line), c.result) << c.name;
    EXPECT_EQ(script.ModemBits(), c.bits) << c.name;
  }
  script.FailModem(EIO);
  EXPECT_FALSE(line.SetRTS(true));
  EXPECT_FALSE(line.GetCTS());
  EXPECT_EQ(line.m_lastError, static_cast<unsigned>(EIO));
}

}  // namespace
