// The UDP controller on loopback: texts out in batches, pings in, datagram
// filtering, who may send to it, a prompt stop; and its settings and panel.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
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
using loopback::ReceiveWithin;
using loopback::WaitUntil;
using Bytes = std::vector<unsigned char>;

// A clock that moves on 0.1 s every time it is read, so that a batch that
// read it more than once would show it.
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

// The controller and a peer socket. Sending, the controller sends to the
// peer's port (so its own receive socket stays closed); receiving, it listens
// on a free port of its own.
struct Rig {
  explicit Rig(bool receiving = false) {
    EXPECT_EQ(peer.Open(0), 0);
    controller.m_pLink->m_host = "localhost";
    controller.m_pLink->m_srcPort = srcPort;
    controller.m_pLink->m_dstPort = receiving ? loopback::FreePort() : peer.LocalPort();
    controller.SetupCtrls();
    if (receiving) controller.OnBnTestReceiveUDPPackets();
  }
  bool Send(const Bytes& bytes) { return loopback::SendBytes(peer, controller.m_pLink->m_dstPort, bytes); }
  // Redraws of the first control: one per datagram the receive thread took.
  unsigned Redraws() {
    std::lock_guard host(CNyxWnd::HostLock());
    return controller.GetCtrls().front()->m_redraws;
  }
  CUdpSocket peer;
  int srcPort = loopback::FreePort();
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

TEST(UdpController, TestSendPacketSendsTheLastReceivedText) {
  ScopedClock clock(1000.0);
  Rig rig;
  clock->Set(1005.7);
  rig.controller.OnBnTestSendUDPPacket();
  const auto datagram = ReceiveWithin(rig.peer);
  ASSERT_TRUE(datagram);
  EXPECT_EQ(datagram->fromPort, rig.srcPort);
  // 5 s and 700 000 us after the manager's start, then the text it starts with.
  const Bytes header = {0, 1, 26, 0, 0, 0, 0x05, 0x01, 5, 0, 0, 0, 0x60, 0xAE, 0x0A, 0};
  EXPECT_EQ(Bytes(datagram->bytes.begin(), datagram->bytes.begin() + 16), header);
  EXPECT_EQ(std::string(datagram->bytes.begin() + 16, datagram->bytes.end()), std::string("Sonar is idle", 14));
  EXPECT_EQ(rig.controller.m_pLink->m_state.load(), 1);
}

// What a datagram says is the packet manager's business; here it comes in on the receive thread.
TEST(UdpController, DatagramsComeInOnTheReceiveThread) {
  ScopedReports reports;
  RecordCollector host;
  Rig rig(true);
  ASSERT_TRUE(rig.Send(Packet("$PVKRSTP,1*55")));
  ASSERT_TRUE(WaitUntil([&] { return host.Records(kInfoStallPing).size() == 1; }));
  ASSERT_TRUE(rig.Send(Packet("$PVKRSTP,1*56")));
  ASSERT_TRUE(WaitUntil([&] { return !reports->Of(Nyx::ReportKind::Alarm, 3110).empty(); }));
  const std::string valid = "$PVKRTRP,9*5C";
  ASSERT_TRUE(rig.Send(Packet(valid)));
  ASSERT_TRUE(WaitUntil([&] { return host.Infos(kInfoTriggerPing).size() == 1; }));
  EXPECT_EQ(host.Infos(kInfoTriggerPing)[0].value, 9);

  // Dropped before the manager sees them: it keeps the last datagram's length.
  for (const Bytes& bytes : {Packet("$PVKRTRP,7*52", -1, 1), Bytes{0, 1, 0}}) {
    const unsigned before = rig.Redraws();
    ASSERT_TRUE(rig.Send(bytes));
    ASSERT_TRUE(WaitUntil([&] { return rig.Redraws() > before; }));
    EXPECT_EQ(rig.controller.m_pLink->m_pManager->GetRxLength(), static_cast<int>(Packet(valid).size()));
    EXPECT_EQ(rig.controller.m_pLink->GetText(), valid);
  }
  EXPECT_EQ(host.Infos(kInfoTriggerPing).size(), 1u);
  // The controller stops promptly in the middle of a burst.
  for (int i = 0; i < 200; ++i) rig.Send(Packet("$PVKRTRP,5*50"));
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
  names.Bind("enable", &controller.m_bEnableUDP);
  names.Bind("link.host", &controller.m_pLink->m_host);
  names.Bind("link.srcPort", &controller.m_pLink->m_srcPort);
  names.Bind("link.dstPort", &controller.m_pLink->m_dstPort);
  names.Bind("task.sendTargetData", &task.m_sendTargetData);
  names.Bind("task.sendStatusMessages", &task.m_sendStatusMessages);
  ExpectGoldenFile("net/udp_panel.txt", DumpPanel(controller, names));

  const auto values = [&] {
    std::vector<long> out;
    for (const auto& info : host.Infos(kInfoPingOnDemand)) out.push_back(info.value);
    return out;
  };
  CESet saved;
  int one = 1;
  saved.AddCol("UDP")->AddObj("Controller")->Item("PingOnDemand", one);
  CESet loaded;
  ASSERT_NE(loaded.LoadFromString(saved.ToString()), 0);
  controller.Settings(*loaded.GetCol("UDP")->GetObj("Controller"));
  EXPECT_EQ(controller.m_nPingOnDemand, 1);
  controller.OnBnEnablePingOnDemand();  // nothing while UDP is off
  ASSERT_TRUE(controller.SetCtrlValue("Enable UDP Comms", "1"));
  controller.OnBnEnablePingOnDemand();
  ASSERT_TRUE(controller.SetCtrlValue("Enable UDP Comms", "0"));
  EXPECT_EQ(values(), (std::vector<long>{0, 1, 1, 0}));
}

TEST(UdpController, ReceivesOnTheBoundAddressFromAllowedSendersOnly) {
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
    UdpAddress to;
    ASSERT_TRUE(ResolveUdpAddress(row[4], link.m_dstPort, to));
    const auto packet = Packet("$PVKRTRP,5*50");
    ASSERT_EQ(sender.SendTo(to, packet.data(), packet.size()), static_cast<long>(packet.size()));
    const bool taken = row[5] == "1";
    EXPECT_EQ(WaitUntil([&] { return !host.Infos(kInfoTriggerPing).empty(); }, taken ? 3000ms : 300ms), taken);
    const bool refused = !taken && !allow.empty();
    EXPECT_TRUE(WaitUntil([&] { return link.RefusedCount() == (refused ? 1 : 0); }));
    if (refused) {
      EXPECT_EQ(link.GetStatus(), "Dropped 1 datagrams from other senders");
    }
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
