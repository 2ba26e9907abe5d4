// The UDP controller on loopback: texts out in batches, pings in, datagram
// filtering, a hostile burst, who may send to it, a prompt stop; and its
// options, settings and panel.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <random>
#include <thread>

#include "host/settings.h"
#include "host/task.h"
#include "net/loopback.h"
#include "net/text_feeder.h"
#include "net/udp_controller.h"
#include "support/capture.h"

using namespace std::chrono_literals;
using loopback::Packet;
using loopback::ReceiveWithin;
using loopback::SendBytes;
using loopback::U16At;
using loopback::U32At;
using loopback::WaitUntil;

namespace {

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

// The text of a datagram the controller sent.
std::string Text(const std::vector<unsigned char>& datagram) { return reinterpret_cast<const char*>(&datagram[16]); }

// The controller sends to a peer socket on the destination port. The peer
// holds that port, so the controller's own receive socket stays closed.
struct SendRig {
  SendRig() {
    EXPECT_EQ(peer.Open(0), 0);
    srcPort = loopback::FreePort();
    controller.m_pLink->m_host = "localhost";
    controller.m_pLink->m_srcPort = srcPort;
    controller.m_pLink->m_dstPort = peer.LocalPort();
    controller.SetupCtrls();
  }
  CUdpSocket peer;
  int srcPort = 0;
  CUDPController controller;
};

// The controller receives on its destination port from a peer socket.
struct ReceiveRig {
  ReceiveRig() {
    EXPECT_EQ(peer.Open(0), 0);
    controller.m_pLink->m_dstPort = loopback::FreePort();
    controller.SetupCtrls();
    controller.OnBnTestReceiveUDPPackets();
    EXPECT_TRUE(controller.m_pLink->m_bRxReady.load());
    // The receive buffer is enlarged as far as the system allows.
    CUdpSocket plain;
    plain.Open(0);
    EXPECT_GE(controller.m_pLink->m_rxSocket.GetReceiveBuffer(), plain.GetReceiveBuffer());
  }
  bool Send(const std::vector<unsigned char>& bytes) {
    return SendBytes(peer, controller.m_pLink->m_dstPort, bytes);
  }
  // Redraws of the first control: one per datagram the receive thread took.
  unsigned Redraws() {
    std::lock_guard host(CNyxWnd::HostLock());
    return controller.GetCtrls().front()->m_redraws;
  }
  CUdpSocket peer;
  CUDPController controller;
};

}  // namespace

TEST(UdpController, IsCreatedByClassNameAndLeavesTheListsWhenDestroyed) {
  std::unique_ptr<CObject> object(CRuntimeClass::CreateObject("CUDPController"));
  ASSERT_NE(object, nullptr);
  ASSERT_TRUE(object->IsKindOf(RuntimeClassOf<CNyxWnd>()));
  auto* controller = static_cast<CUDPController*>(object.get());
  EXPECT_TRUE(CNyxWnd::s_infoRx.Contains(controller));
  object.reset();
  EXPECT_FALSE(CNyxWnd::s_infoRx.Contains(controller));
}

TEST(UdpController, AThreeCharacterTextIsOneDatagramFromSourceToDestination) {
  ScopedClock clock(1000.0);
  SendRig rig;
  SendText("abc");
  clock->Set(1005.7);
  ASSERT_TRUE(rig.controller.SetCtrlValue("Enable UDP Comms", "1"));

  const auto datagram = ReceiveWithin(rig.peer);
  ASSERT_TRUE(datagram);
  const auto& b = datagram->bytes;
  ASSERT_EQ(b.size(), 20u);
  EXPECT_EQ(datagram->fromPort, rig.srcPort);
  EXPECT_EQ(b[0], 0);
  EXPECT_EQ(b[1], 1);
  EXPECT_EQ(U16At(&b[2]), 16);
  EXPECT_EQ(U16At(&b[6]), 0x0105);
  EXPECT_EQ(U32At(&b[8]), 5u);
  EXPECT_EQ(U32At(&b[12]), 700000u);
  EXPECT_EQ(Text(b), "abc");
  EXPECT_TRUE(WaitUntil([&] { return rig.controller.GetQueuedCount() == 0; }));
}

TEST(UdpController, TextsWaitUntilEnabledThenGoOutInOneBatchWithOneTime) {
  ScopedClock clock(std::make_shared<SteppingClock>(1000.0));
  {
    SendRig rig;
    SendText("first");
    SendText("");  // an empty text is not queued
    SendText("second");
    SendText("third");
    EXPECT_EQ(rig.controller.GetQueuedCount(), 3u);
    EXPECT_FALSE(ReceiveWithin(rig.peer, 50ms));
    EXPECT_EQ(rig.controller.GetQueuedCount(), 3u);

    ASSERT_TRUE(rig.controller.SetCtrlValue("Enable UDP Comms", "1"));
    std::vector<std::vector<unsigned char>> got;
    for (int i = 0; i < 3; ++i) {
      const auto datagram = ReceiveWithin(rig.peer);
      ASSERT_TRUE(datagram) << i;
      got.push_back(datagram->bytes);
    }
    EXPECT_EQ(std::vector<std::string>({Text(got[0]), Text(got[1]), Text(got[2])}),
              (std::vector<std::string>{"first", "second", "third"}));
    for (const auto& bytes : got) {
      EXPECT_EQ(std::vector<unsigned char>(bytes.begin() + 8, bytes.begin() + 16),
                std::vector<unsigned char>(got[0].begin() + 8, got[0].begin() + 16));
    }
    EXPECT_EQ(rig.controller.GetQueuedCount(), 0u);

    // Unticked again, new texts wait once more.
    ASSERT_TRUE(rig.controller.SetCtrlValue("Enable UDP Comms", "0"));
    SendText("later");
    EXPECT_FALSE(ReceiveWithin(rig.peer, 50ms));
    EXPECT_EQ(rig.controller.GetQueuedCount(), 1u);
  }
}

TEST(UdpController, TestSendPacketSendsTheLastReceivedText) {
  SendRig rig;
  rig.controller.OnBnTestSendUDPPacket();
  const auto datagram = ReceiveWithin(rig.peer);
  ASSERT_TRUE(datagram);
  EXPECT_EQ(datagram->bytes.size(), 16u + 14u);
  EXPECT_EQ(Text(datagram->bytes), "Sonar is idle");  // the text it starts with
  EXPECT_EQ(rig.controller.m_pLink->m_state.load(), 1);
}

TEST(UdpController, TooLongOrBlockedTextsAreReportedAndDropped) {
  ScopedReports reports;
  CUDPController controller;
  const std::string fits(999, 'f');
  const std::string tooLong = std::string(39, 'x') + "\xC3\xA9" + std::string(960, 'x');
  SendText(fits.c_str());
  SendText(tooLong.c_str());
  EXPECT_EQ(controller.GetQueuedCount(), 1u);
  auto alarms = reports->Of(Nyx::ReportKind::Alarm, 3100);
  ASSERT_EQ(alarms.size(), 1u);
  EXPECT_EQ(alarms[0].level, 1);
  // The report shows the head of the text, cut between characters.
  EXPECT_EQ(alarms[0].text, "UDP packet not sent (longer than 999 characters): " + std::string(39, 'x') + "...");

  // The queue lock held elsewhere for longer than 100 ms.
  {
    std::lock_guard held(controller.m_queueLock);
    std::thread other([] { SendText("blocked"); });
    other.join();
  }
  alarms = reports->Of(Nyx::ReportKind::Alarm, 3100);
  ASSERT_EQ(alarms.size(), 2u);
  EXPECT_EQ(alarms[1].text, "UDP packet not sent (lock failed): blocked");
  EXPECT_EQ(controller.GetQueuedCount(), 1u);
}

// What each datagram says is the packet manager's business (framed_packet_manager_test);
// here it comes in on the receive thread.
TEST(UdpController, StallAndTriggerPingsBecomeInfoMessages) {
  ScopedReports reports;
  RecordCollector host;
  ReceiveRig rig;
  ASSERT_TRUE(rig.Send(Packet("$PVKRSTP,1*55")));
  ASSERT_TRUE(WaitUntil([&] { return host.Infos(kInfoStallPing).size() == 1; }));
  EXPECT_EQ(host.Records(kInfoStallPing)[0]["flag_a"], 1);
  ASSERT_TRUE(rig.Send(Packet("$PVKRTRP,5*50")));
  ASSERT_TRUE(WaitUntil([&] { return host.Infos(kInfoTriggerPing).size() == 1; }));
  EXPECT_EQ(host.Infos(kInfoTriggerPing)[0].value, 5);
  EXPECT_EQ(rig.controller.m_pLink->GetText(), "$PVKRTRP,5*50");
  // A wrong checksum raises the alarm and passes nothing on.
  host.Clear();
  ASSERT_TRUE(rig.Send(Packet("$PVKRSTP,1*56")));
  ASSERT_TRUE(WaitUntil([&] { return !reports->Of(Nyx::ReportKind::Alarm, 3110).empty(); }));
  EXPECT_TRUE(host.All().empty());
}

TEST(UdpController, MalformedDatagramsAreDropped) {
  RecordCollector host;
  ReceiveRig rig;
  CFramedSerialPacketManager& manager = *rig.controller.m_pLink->m_pManager;
  const std::string valid = "$PVKRTRP,9*5C";
  ASSERT_TRUE(rig.Send(Packet(valid)));
  ASSERT_TRUE(WaitUntil([&] { return host.Infos(kInfoTriggerPing).size() == 1; }));
  const int validLength = static_cast<int>(Packet(valid).size());

  struct DropCase {
    const char* name;
    std::vector<unsigned char> bytes;
    int rxLength;  // what the manager holds afterwards: it saw the datagram or not
  };
  const DropCase cases[] = {
      {"first byte 1", Packet("$PVKRTRP,7*52", -1, 1), validLength},
      {"three bytes", {0, 1, 0}, validLength},
      {"empty datagram", {}, validLength},
      {"ten bytes: taken in, too short for a header", {0, 1, 20, 0, 0, 0, 5, 1, 0, 0}, 10},
      {"shorter than declared", Packet("$PVKRTRP,7*52", 12 + 40), 30},
  };
  for (const auto& c : cases) {
    const unsigned before = rig.Redraws();
    ASSERT_TRUE(rig.Send(c.bytes)) << c.name;
    ASSERT_TRUE(WaitUntil([&] { return rig.Redraws() > before; })) << c.name;
    EXPECT_EQ(manager.GetRxLength(), c.rxLength) << c.name;
    EXPECT_EQ(rig.controller.m_pLink->GetText(), valid) << c.name;
  }
  EXPECT_EQ(host.Infos(kInfoTriggerPing).size(), 1u);
}

TEST(UdpController, PingOnDemandFollowsSettingsAndTheCheckBox) {
  RecordCollector host;
  CUDPController controller;
  controller.SetupCtrls();
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
  EXPECT_EQ(values(), std::vector<long>{0});

  controller.OnBnEnablePingOnDemand();  // nothing while UDP is off
  EXPECT_EQ(values(), std::vector<long>{0});
  ASSERT_TRUE(controller.SetCtrlValue("Enable UDP Comms", "1"));
  EXPECT_EQ(values(), (std::vector<long>{0, 1}));
  controller.OnBnEnablePingOnDemand();
  EXPECT_EQ(values(), (std::vector<long>{0, 1, 1}));

  CESet stored;
  controller.Settings(*stored.AddCol("UDP")->AddObj("Controller"));
  EXPECT_EQ(values(), (std::vector<long>{0, 1, 1, 1}));
  const auto& items = stored.GetCol("UDP")->GetObj("Controller")->GetItems();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].key, "PingOnDemand");
  EXPECT_EQ(items[0].value, "1");

  ASSERT_TRUE(controller.SetCtrlValue("Enable UDP Comms", "0"));
  EXPECT_EQ(values(), (std::vector<long>{0, 1, 1, 1, 0}));
}

TEST(UdpController, PanelAndTheTaskOptionsCheckBoxes) {
  ScopedTasks tasks;
  CTaskData& task = tasks.Add("Sonar 1", "Zephra");
  task.m_sendTargetData = 1;
  task.m_sendStatusMessages = 1;
  CUDPController controller;
  controller.SetOption("Task", "No such task");
  EXPECT_EQ(controller.m_pTask, nullptr);
  controller.SetupCtrls();
  EXPECT_EQ(controller.FindCtrl("Send Target Data"), nullptr);
  EXPECT_EQ(task.m_sendTargetData, 1);

  // Naming the task clears its send flags and adds their check boxes.
  controller.SetOption("Task", "Sonar 1");
  EXPECT_EQ(controller.m_pTask, CTask::GetTask("Sonar 1"));
  EXPECT_EQ(std::tie(task.m_sendTargetData, task.m_sendStatusMessages), std::make_tuple(0, 0));
  controller.SetupCtrls();
  const char* expected[] = {
      "1 180 1 Enable UDP Comms: Enable/disable sending/receiving of UDP packets",
      "0 60 3 Host: ", "2 120 3 UDP Host: ", "0 120 4 Source Port: ", "2 60 4 UDP Source Port: ",
      "0 120 5 Destination Port: ", "2 60 5 UDP Destination Port: ",
      "1 180 7 Send Target Data: Enable/disable sending of target data as UDP packets",
      "1 180 8 Send Status Messages: Enable/disable sending of status updates as UDP packets",
  };
  std::vector<std::string> ctrls;
  for (const auto& ctrl : controller.GetCtrls()) {
    const int kind = ctrl->m_kind == kCtrlLabel ? 0 : ctrl->m_kind == kCtrlCheck ? 1 : ctrl->m_kind == kCtrlValue ? 2 : -1;
    ctrls.push_back(std::to_string(kind) + " " + std::to_string(ctrl->m_width) + " " + std::to_string(ctrl->m_row) + " " +
                    ctrl->m_label + ": " + ctrl->m_tooltip);
  }
  EXPECT_EQ(ctrls, std::vector<std::string>(std::begin(expected), std::end(expected)));
  ASSERT_TRUE(controller.SetCtrlValue("Send Status Messages", "1"));
  EXPECT_EQ(std::tie(task.m_sendTargetData, task.m_sendStatusMessages), std::make_tuple(0, 1));
  // The fields edit the link's host and ports.
  ASSERT_TRUE(controller.SetCtrlValue("UDP Host", "127.0.0.1"));
  ASSERT_TRUE(controller.SetCtrlValue("UDP Source Port", "40000"));
  ASSERT_FALSE(controller.SetCtrlValue("UDP Destination Port", "4x"));
  EXPECT_EQ(controller.m_pLink->m_host, "127.0.0.1");
  EXPECT_EQ(controller.m_pLink->m_srcPort, 40000);
  EXPECT_EQ(controller.m_pLink->m_dstPort, 52905);
}

TEST(UdpController, StopsPromptlyWhateverItIsDoing) {
  // Receiving on a bound socket, idle without one, and in the middle of a burst.
  for (int i = 0; i < 10; ++i) {
    ReceiveRig receiving;
    CUDPController idle;
    idle.m_pLink->m_state = 0;
    idle.UpdateSockets();
    EXPECT_FALSE(idle.m_pLink->m_bRxReady.load());
  }
  auto rig = std::make_unique<ReceiveRig>();
  CUdpSocket socket;
  socket.Open(0);
  const int port = rig->controller.m_pLink->m_dstPort;
  for (int i = 0; i < 200; ++i) SendBytes(socket, port, Packet("$PVKRTRP,5*50"));
  rig.reset();
}

namespace {

struct UdpExposureCase {
  const char* name;
  std::string bind;
  std::vector<std::string> allow;
  std::string from, to;  // the sender's address, the address it sends to
  bool taken;
};

}  // namespace

TEST(UdpController, ReceivesOnTheBoundAddressFromAllowedSendersOnly) {
  const UdpExposureCase cases[] = {
      {"defaults: any address, any sender", "", {}, "127.0.0.2", "127.0.0.3", true},
      {"sender not allowed", "", {"127.0.0.1"}, "127.0.0.2", "127.0.0.1", false},
      {"sender among those allowed", "", {"127.0.0.1", "127.0.0.2"}, "127.0.0.2", "127.0.0.1", true},
      {"bound address", "127.0.0.3", {}, "127.0.0.1", "127.0.0.3", true},
      {"another address than the bound one", "127.0.0.3", {}, "127.0.0.1", "127.0.0.4", false},
  };
  for (const UdpExposureCase& c : cases) {
    SCOPED_TRACE(c.name);
    RecordCollector host;
    ReceiveRig rig;
    std::vector<std::uint32_t> allow(c.allow.size());
    for (std::size_t i = 0; i < allow.size(); ++i) ASSERT_TRUE(ParseIpv4(c.allow[i], allow[i]));
    CUDPLink& link = *rig.controller.m_pLink;
    link.SetReceivePolicy(c.bind, allow);
    ASSERT_TRUE(link.m_bRxReady.load());
    CUdpSocket sender;
    ASSERT_EQ(sender.Open(0, c.from), 0);
    UdpAddress to;
    ASSERT_TRUE(ResolveUdpAddress(c.to, link.m_dstPort, to));
    const auto packet = Packet("$PVKRTRP,5*50");
    ASSERT_EQ(sender.SendTo(to, packet.data(), packet.size()), static_cast<long>(packet.size()));
    // A datagram from the rig's peer (loopback, 127.0.0.1) marks the end when it is allowed.
    EXPECT_EQ(WaitUntil([&] { return !host.Infos(kInfoTriggerPing).empty(); }, c.taken ? 3000ms : 300ms), c.taken);
    const bool refused = !c.taken && !c.allow.empty();
    EXPECT_TRUE(WaitUntil([&] { return link.RefusedCount() == (refused ? 1 : 0); }));
    if (refused) {
      EXPECT_EQ(link.GetStatus(), "Dropped 1 datagrams from other senders");
    }
  }
}

TEST(UdpController, DestructionEndsWhileANameLookUpHangs) {
  ScopedClock clock(1000.0);
  auto rig = std::make_unique<SendRig>();
  auto release = std::make_shared<std::promise<void>>();
  std::shared_future<void> released = release->get_future().share();
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
  release->set_value();
}
