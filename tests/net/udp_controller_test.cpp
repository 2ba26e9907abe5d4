// The UDP controller on loopback: texts out in batches, datagrams in, who may send, stopping, its panel.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>

#include "host/settings.h"
#include "host/task.h"
#include "net/loopback.h"
#include "net/udp_controller.h"
#include "support/capture.h"
#include "support/panel_dump.h"

namespace {

using namespace std::chrono_literals;
using loopback::Packet;
using Bytes = std::vector<unsigned char>;

// A port that was free a moment ago (bound with port 0, then released).
int FreePort() {
  CUdpSocket probe;
  if (probe.Open(0) != 0) return 0;
  return probe.LocalPort();
}

struct Datagram {
  Bytes bytes;
  int fromPort = 0;
};

// The next datagram on the socket, or none within the time.
std::optional<Datagram> ReceiveWithin(CUdpSocket& socket, std::chrono::milliseconds limit = 2000ms) {
  CWakeFd never;
  if (WaitReadable(socket.Fd(), never, limit) != WaitResult::Readable) return std::nullopt;
  Datagram datagram;
  datagram.bytes.resize(70000);
  UdpAddress from;
  const long got = socket.Receive(datagram.bytes.data(), datagram.bytes.size(), &from);
  if (got < 0) return std::nullopt;
  datagram.bytes.resize(static_cast<std::size_t>(got));
  datagram.fromPort = from.Port();
  return datagram;
}

// A clock that moves on 0.1 s at every reading: a batch that read it twice would show it.
class SteppingClock : public HostClock {
 public:
  explicit SteppingClock(double start) : m_now(start) {}
  double Now() const override { return m_now.fetch_add(0.1); }
  double Monotonic() const override { return m_now.load(); }
  long UtcOffsetSeconds(double) const override { return 0; }

 private:
  mutable std::atomic<double> m_now;
};

void SendText(const char* text) { CNyxWnd::InfoMsg(kInfoUdpText, const_cast<char*>(text)); }

std::string Text(const Bytes& datagram) { return reinterpret_cast<const char*>(&datagram[16]); }

// The controller and a peer socket. Sending, the controller sends to the peer's port (so its own
// receive socket stays closed); receiving, it listens on a free port of its own.
struct Rig {
  explicit Rig(bool receiving = false) {
    EXPECT_EQ(peer.Open(0), 0);
    controller.m_pLink->m_host = "localhost";
    controller.m_pLink->m_srcPort = srcPort;
    controller.m_pLink->m_dstPort = receiving ? FreePort() : peer.LocalPort();
    controller.SetupCtrls();
    if (receiving) controller.OnBnTestReceiveUDPPackets();
  }
  CUdpSocket peer;
  int srcPort = FreePort();
  CUDPController controller;
};

TEST(UdpController, TextsWaitUntilEnabledThenGoOutInOneBatchWithOneTime) {
  ScopedClock clock(std::make_shared<SteppingClock>(1000.0));
  ScopedReports reports;
  Rig rig;
  const std::string fits(999, 'f');
  std::string tooLong(1001, 'x');
  tooLong.replace(39, 2, "\xC3\xA9");
  SendText("first");
  SendText("");  // an empty text is not queued
  SendText(tooLong.c_str());
  SendText(fits.c_str());
  {
    // The queue lock held elsewhere for longer than 100 ms.
    std::lock_guard held(rig.controller.m_queueLock);
    std::thread other([] { SendText("blocked"); });
    other.join();
  }
  SendText("third");
  EXPECT_FALSE(ReceiveWithin(rig.peer, 50ms));
  EXPECT_EQ(rig.controller.GetQueuedCount(), 3u);
  // The report shows the head of the text, cut between characters.
  const auto alarms = reports->Of(Nyx::ReportKind::Alarm, 3100);
  ASSERT_EQ(alarms.size(), 2u);
  EXPECT_EQ(alarms[0].level, 1);
  EXPECT_EQ(alarms[0].text,
            "UDP packet not sent (longer than 999 characters): " + std::string(39, 'x') + "...");
  EXPECT_EQ(alarms[1].text, "UDP packet not sent (lock failed): blocked");

  ASSERT_TRUE(rig.controller.SetCtrlValue("Enable UDP Comms", "1"));
  std::vector<Bytes> got;
  for (int i = 0; i < 3; ++i) {
    const auto datagram = ReceiveWithin(rig.peer);
    ASSERT_TRUE(datagram) << i;
    EXPECT_EQ(datagram->fromPort, rig.srcPort);
    got.push_back(datagram->bytes);
  }
  EXPECT_EQ(std::vector<std::string>({Text(got[0]), Text(got[1]), Text(got[2])}),
            (std::vector<std::string>{"first", fits, "third"}));
  EXPECT_EQ(got[1].size(), 16u + 1000u);
  for (const auto& bytes : got) {
    EXPECT_TRUE(std::equal(bytes.begin() + 8, bytes.begin() + 16, got[0].begin() + 8));  // one time
  }
  EXPECT_FALSE(ReceiveWithin(rig.peer, 50ms));  // each text once

  // Unticked again, new texts wait once more.
  ASSERT_TRUE(rig.controller.SetCtrlValue("Enable UDP Comms", "0"));
  SendText("later");
  EXPECT_FALSE(ReceiveWithin(rig.peer, 50ms));
  EXPECT_EQ(rig.controller.GetQueuedCount(), 1u);
}

TEST(UdpController, PanelTaskOptionsAndPingOnDemand) {
  ScopedTasks tasks;
  CTaskData& task = tasks.Add("Sonar 1", "Zephra");
  task.m_sendTargetData = 1;
  task.m_sendStatusMessages = 1;
  RecordCollector host;
  CUDPController controller;
  // Naming the task clears its send flags and adds their check boxes.
  controller.SetOption("Task", "Sonar 1");
  EXPECT_EQ(std::tie(task.m_sendTargetData, task.m_sendStatusMessages), std::make_tuple(0, 0));
  controller.SetupCtrls();
  PanelNames names;
  names.bindings[&controller.m_bEnableUDP] = "enable";
  names.bindings[&controller.m_pLink->m_host] = "link.host";
  names.bindings[&controller.m_pLink->m_srcPort] = "link.srcPort";
  names.bindings[&controller.m_pLink->m_dstPort] = "link.dstPort";
  names.bindings[&task.m_sendTargetData] = "task.sendTargetData";
  names.bindings[&task.m_sendStatusMessages] = "task.sendStatusMessages";
  ExpectGoldenFile("net/udp_panel.txt", DumpPanel(controller, names));

  const auto values = [&] {
    std::vector<long> out;
    for (const auto& info : host.Infos(kInfoPingOnDemand)) out.push_back(info.value);
    return out;
  };
  CESet loaded;
  ASSERT_TRUE(loaded.LoadFromString(R"(<NyxSettings><Col name="UDP"><Obj name="Controller" text="">)"
                                    R"(<Item key="PingOnDemand" type="int">1</Item></Obj></Col></NyxSettings>)"));
  controller.Settings(*loaded.GetCol("UDP")->GetObj("Controller"));
  controller.OnBnEnablePingOnDemand();  // nothing while UDP is off
  ASSERT_TRUE(controller.SetCtrlValue("Enable UDP Comms", "1"));
  controller.OnBnEnablePingOnDemand();
  ASSERT_TRUE(controller.SetCtrlValue("Enable UDP Comms", "0"));
  EXPECT_EQ(values(), (std::vector<long>{0, 1, 1, 0}));
}

TEST(UdpController, ReceivesControllerDatagramsOnTheBoundAddressFromAllowedSendersOnly) {
  for (const auto& row : loopback::ReadTable("udp_exposure.txt")) {
    SCOPED_TRACE(row[0]);
    RecordCollector host;
    Rig rig(true);
    std::vector<std::uint32_t> allow;
    std::istringstream senders(row[2] == "-" ? "" : row[2]);
    for (std::string sender; senders >> sender;) ASSERT_TRUE(ParseIpv4(sender, allow.emplace_back()));
    CUDPLink& link = *rig.controller.m_pLink;
    link.SetReceivePolicy(row[1] == "-" ? "" : row[1], allow);
    ASSERT_TRUE(link.m_bRxReady.load());
    CUdpSocket sender;
    ASSERT_EQ(sender.Open(0, row[3]), 0);
    Bytes packet = Packet("$PVKRTRP,5*50");
    packet[0] = static_cast<unsigned char>(std::stoi(row[6]));
    ASSERT_TRUE(loopback::SendBytes(sender, link.m_dstPort, packet, row[4]));
    const bool taken = row[5] == "1";
    EXPECT_EQ(WaitUntil([&] { return !host.Infos(kInfoTriggerPing).empty(); }, taken ? 3000ms : 300ms), taken);
    const bool refused = !taken && !allow.empty();
    EXPECT_TRUE(WaitUntil([&] { return link.RefusedCount() == (refused ? 1 : 0); }));
    if (refused) {
      EXPECT_EQ(link.GetStatus(), "Dropped 1 datagrams from other senders");
    }
    // The controller stops promptly in the middle of a burst.
    for (int i = 0; i < 200; ++i) loopback::SendBytes(sender, link.m_dstPort, packet, row[4]);
  }
}

TEST(UdpController, DestructionEndsWhileANameLookUpHangs) {
  ScopedClock clock(1000.0);
  auto rig = std::make_unique<Rig>();
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> asked{false};
  rig->controller.m_pLink->m_resolve = [released, &asked](const std::string&, int, UdpAddress&) {
    asked = true;
    released.wait();
    return false;
  };
  SendText("abc");
  ASSERT_TRUE(rig->controller.SetCtrlValue("Enable UDP Comms", "1"));
  ASSERT_TRUE(WaitUntil([&] { return asked.load(); }));
  const auto start = std::chrono::steady_clock::now();
  rig.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  release.set_value();
}

}  // namespace
