// The hub window through the recording library: selection, the calls of
// switching comms on and off, the list of hubs heard, data, acks, echoes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "support/hub_fixture.h"

namespace {

std::string Call(const char* format, int a = 0, int b = 0, int c = 0, int d = 0, int e = 0, int f = 0, int g = 0) {
  char text[128];
  std::snprintf(text, sizeof text, format, a, b, c, d, e, f, g);
  return text;
}

// What switching comms on sends to hub id with the fixture's address.
std::vector<std::string> EnableCalls(CSerComm& wnd, int id) {
  std::vector<std::string> calls = {
      Call("ZEPHUB_UseAltDeviceIPAddress(%d, 192, 168, 2, %d, 255, 255, 255, 0)", id, 10 + id % 100),
      Call("ZEPHUB_TxToAltIPAddress(%d, 1)", id), Call("ZEPHUB_SetSurveyNetworkEnable(%d, %d)", id, wnd.m_networkOutput)};
  for (unsigned i = 0; i < CSerComm::kHubPorts; ++i) {
    CZepHubPort& p = wnd.HubPort(i);
    calls.push_back(Call("ZEPHUB_ConfigPort(%d, %d, %d, %d, %d, %d, %d)", id, static_cast<int>(i), p.m_baud,
                         p.m_dataBits, p.m_parity, p.m_stopBits, p.m_flowControl));
  }
  return calls;
}

const char* kOneOther = "Selected Hub is not available.\nWould you like to use the available Hub?";

}  // namespace

TEST(SerComm, SelectionOutcomes) {
  const struct {
    unsigned short hubId;
    std::vector<std::uint16_t> heard;
    int answer;
    const char* box;  // empty: none
    unsigned short hubAfter;  // 0: refused
  } cases[] = {
      {0, {100}, 6, "No Hub has been selected.\nPress OK to continue", 0},
      {100, {}, 6, "No Hubs are available.\nPress OK to continue", 0},
      {100, {101}, 6, kOneOther, 101},
      {100, {101}, 7, kOneOther, 0},
      {100, {101, 102}, 6, "Selected Hub is not available.\nPlease select an alternative.", 0},
      {100, {102, 100}, 6, "", 100},
  };
  for (const auto& c : cases) {
    HubFixture hub;
    hub.wnd->m_hubId = c.hubId;
    for (auto id : c.heard) hub.Hear(id);
    hub.Tick(1, c.answer);
    const auto boxes = hub.reports->Of(Nyx::ReportKind::MsgBox);
    ASSERT_EQ(boxes.size(), *c.box ? 1u : 0u) << c.box;
    for (const auto& box : boxes) EXPECT_EQ(box.text, c.box);
    EXPECT_EQ(hub.wnd->m_bEnableComms, c.hubAfter != 0) << c.box;
    EXPECT_EQ(hub.wnd->CommsEnabled(), c.hubAfter != 0) << c.box;
    EXPECT_EQ(hub.wnd->m_hubId, c.hubAfter ? c.hubAfter : c.hubId) << c.box;
  }
}

TEST(SerComm, SwitchingOnConfiguresTheHubAndOffDeletesIt) {
  for (auto [id, output, baud] : {std::tuple{100, 1, 5}, {7, 2, 9}}) {
    HubFixture hub;
    hub.wnd->m_networkOutput = static_cast<unsigned short>(output);
    for (unsigned i = 0; i < CSerComm::kHubPorts; ++i) hub.wnd->HubPort(i).m_baud = static_cast<unsigned char>(baud - i % 3);
    const std::size_t start = hub.library->Count();
    hub.Enable(static_cast<std::uint16_t>(id));
    EXPECT_EQ(hub.Calls(start), EnableCalls(*hub.wnd, id));
    hub.wnd->HubPort(2).m_status = hub.wnd->m_pps.m_state = kLightGreen;
    const std::size_t on = hub.library->Count();
    hub.Tick(0);
    EXPECT_EQ(hub.Calls(on), std::vector<std::string>{Call("ZEPHUB_DeleteDeviceID(%d)", id)});
    EXPECT_EQ(std::pair(hub.wnd->HubPort(2).m_status, hub.wnd->m_pps.m_state), std::pair(3, 3));
  }
}

TEST(SerComm, SilentHubLeavesTheListAfterFiveSeconds) {
  HubFixture hub;
  for (std::uint16_t id : {100, 101, 102}) hub.Hear(id);
  hub.clock->Advance(3.0);
  hub.Hear(100);
  hub.Hear(102);
  hub.clock->Advance(2.0);  // 101 silent for exactly 5 s: kept
  hub.wnd->OnPoll(0);
  EXPECT_EQ(CSerComm::GetZepHubCount(), 3);
  hub.clock->Advance(0.01);
  hub.wnd->OnPoll(0);
  ASSERT_EQ(CSerComm::GetZepHubCount(), 2);
  const auto lines = hub.Lines(1192);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "3. Ver:0x0203 ID:102 Volts:24.0V DT:32.0 PT:12.50 Fixed IP 192:168:001:012");
  EXPECT_EQ(lines[1], lines[0]);
  EXPECT_EQ(lines[2], "No longer present");
  hub.Hear(102);
  EXPECT_EQ(hub.Lines(1191).back().substr(0, 20), "2. Ver:0x0203 ID:102");
  const auto listed = CSerComm::HubSnapshot();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[1].m_messageCount, 3u);
}

TEST(SerComm, DataReachesPortsAndPulsesWithHubTime) {
  HubFixture hub;
  hub.wnd->m_pps.m_sync = 1;
  hub.Enable();
  hub.Hear(100, 1000000);
  hub.clock->Advance(1.0);
  hub.Hear(100, 2000000);  // the clock model maps device second s to host 999 + s
  ByteRecorder& seen = hub.Record(3);
  hub.Send(kHubDataKind, BuildHubData(100, {SERIAL_BYTE_PACKET::Make(3, 'a', 2500000),
                                            SERIAL_BYTE_PACKET::Make(8, 'x', 2500001),
                                            SERIAL_BYTE_PACKET::Make(254, 'y', 2500002),
                                            SERIAL_BYTE_PACKET::Make(0xFF, kPpsPositive, 2600000),
                                            SERIAL_BYTE_PACKET::Make(3, 'b', 2700000)}));
  hub.Send(kHubDataKind, BuildHubData(101, {SERIAL_BYTE_PACKET::Make(3, 'z', 2800000)}));  // another hub's
  hub.wnd->OnTrigger(0, 0.05);
  EXPECT_EQ(seen.bytes, (std::vector<unsigned char>{'a', 'b'}));
  EXPECT_NEAR(seen.times.at(0) + hub.wnd->HubPort(3).m_charTime, 1001.5, 1e-6);
  EXPECT_EQ(hub.wnd->m_pps.m_state, 2);
  EXPECT_DOUBLE_EQ(hub.wnd->m_pps.m_lastFpgaTime, 2600000.0);
  EXPECT_NEAR(hub.wnd->m_pps.m_lastCommTime, 1001.6, 1e-6);
  EXPECT_EQ(hub.Lines(3020), std::vector<std::string>{"Comm RxData Read   5 bytes last time = 1001.700"});
  EXPECT_EQ(CSerComm::GetZepHubCount(), 1);  // data of an unheard hub lists nothing
  double out = 0;
  const auto ping = CZepPingHead::Make(1, 2250000);
  EXPECT_EQ(hub.wnd->ZepConvertToTimestamp(&ping, out), 1);
  EXPECT_NEAR(out, 1001.25, 1e-6);
}

TEST(SerComm, SentBytesAndSerialAcks) {
  HubFixture hub;
  hub.Enable();
  const std::size_t start = hub.library->Count();
  for (std::uint16_t status : {0, 1, 2, 3, 4}) {
    hub.Send(kHubSerialAckKind, BuildHubSerialAck(100, {static_cast<std::uint16_t>(40 + status), status}));
  }
  hub.Send(kHubSerialAckKind, BuildHubSerialAck(101, {50, 2}));
  TX_MSG msg{"ab\n", 3};
  hub.wnd->SendData(2, &msg);
  hub.wnd->SendData(8, &msg);
  hub.wnd->SendData(2, "text");  // dropped
  EXPECT_EQ(hub.Calls(start), (std::vector<std::string>{Call("ZEPHUB_RequestRetry(%d, %d, %d)", 100, 8, 42),
                                                        Call("ZEPHUB_SendSerialCommand(%d, %d, %d, <ab\\x0A>)", 100, 2, 3)}));
  EXPECT_EQ(CSerComm::GetZepHubCount(), 1);
}

TEST(SerComm, EchoPortsFollowTheirSourceOncePerChange) {
  const struct {
    std::vector<int> modes;  // ports A.. in order
    std::vector<int> sent;   // ports configured when port A's baud changes
    std::vector<int> line;   // baud, data bits, parity and stop bits all of them end with
  } cases[] = {{{0, 0, 2}, {2, 0}, {8, 3, 2, 3}},
               {{0, 2, 3}, {2, 1, 0}, {8, 3, 2, 3}},
               {{3, 2}, {1, 0}, {5, 4, 1, 1}}};  // A takes B's line first
  for (const auto& c : cases) {
    HubFixture hub;
    hub.Enable();
    for (std::size_t i = 0; i < c.modes.size(); ++i) hub.wnd->HubPort(static_cast<unsigned>(i)).m_mode = c.modes[i];
    CZepHubPort& a = hub.wnd->HubPort(0);
    a.m_baud = 8;
    a.m_dataBits = 3;
    a.m_parity = 2;
    a.m_stopBits = 3;
    const std::size_t start = hub.library->Count();
    hub.wnd->HubPort(0).SetBaud();
    const auto calls = hub.library->Calls();
    ASSERT_EQ(calls.size() - start, c.sent.size()) << c.sent.size();
    for (std::size_t k = 0; k < c.sent.size(); ++k) {
      EXPECT_EQ(calls[start + k].args[1], c.sent[k]);
      EXPECT_EQ(std::vector<int>(calls[start + k].args.begin() + 2, calls[start + k].args.begin() + 6), c.line);
    }
  }
}

TEST(SerComm, HubFirstHeardAfterCommsWereTickedIsConfigured) {
  // The host switched comms on before the hub was heard; the box was loaded ticked; not ticked.
  for (auto [broadcast, ticked] : {std::pair{true, 1}, {false, 1}, {false, 0}}) {
    HubFixture hub;
    hub.wnd->m_bEnableComms = ticked;
    if (broadcast) CNyxWnd::InfoMsg(kInfoCommsEnable, InfoValue(1));
    hub.wnd->OnPoll(0);
    const std::size_t start = hub.library->Count();
    hub.Hear(100);
    hub.wnd->OnPoll(0);
    auto expected = ticked ? EnableCalls(*hub.wnd, 100) : std::vector<std::string>{};
    if (ticked) expected.push_back(Call("ZEPHUB_SendHubStayAlive(%d)", 100));
    EXPECT_EQ(hub.Calls(start), expected) << broadcast << ticked;
    EXPECT_EQ(hub.wnd->CommsEnabled(), ticked != 0);
    const std::size_t later = hub.library->Count();
    hub.wnd->OnPoll(0);
    EXPECT_EQ(hub.library->Count() - later, ticked ? 1u : 0u);
  }
}

TEST(SerComm, TimeCallbackAnswersWithHubOrPcTime) {
  HubFixture hub;
  hub.clock->Set(1000.25);
  auto timeSync = hub.library->TimeSyncFunction();
  std::uint32_t seconds = 0;
  std::uint32_t micro = 0;
  EXPECT_FALSE(timeSync(5000000, &seconds, &micro));  // comms off: the PC's time
  EXPECT_EQ(std::pair(seconds, micro), std::pair(1000u + 315532800u, 250000u));
  EXPECT_EQ(hub.wnd->TimeText(), "PC(Local): 00:16:40 01/01/1980");
  hub.Enable();
  hub.Hear(100, 0);
  hub.clock->Advance(1.0);
  hub.Hear(100, 1000000);
  for (auto [invalid, label] : {std::pair{0, "GPS: "}, {1, "PC(UTC): "}}) {
    hub.wnd->m_bGpsInvalid = invalid;
    EXPECT_TRUE(timeSync(1500000, &seconds, &micro));
    EXPECT_EQ(std::pair(seconds, micro), std::pair(1001u + 315532800u, 750000u));
    EXPECT_EQ(hub.wnd->TimeText(), std::string(label) + "00:16:41 01/01/1980");
  }
  hub.wnd->OnInfoMsg(kInfoShutdown, nullptr);
  EXPECT_EQ(hub.library->TimeSyncFunction(), nullptr);
  EXPECT_EQ(hub.library->HubHandler(), nullptr);
}

TEST(SerComm, LibraryThreadAndTriggerShareTheQueueWithoutLoss) {
  HubFixture hub;
  hub.Enable();
  ByteRecorder& seen = hub.Record(1);
  constexpr int kMessages = 300;
  std::atomic<bool> done{false};
  std::thread library([&] {
    std::uint32_t seconds = 0;
    std::uint32_t micro = 0;
    for (int i = 0; i < kMessages; ++i) {
      hub.Send(kHubDataKind, BuildHubData(100, {SERIAL_BYTE_PACKET::Make(1, static_cast<unsigned char>(i), 1000u * i)}));
      if (i % 10 == 0) hub.Hear(100, 1000u * i);
      hub.library->TimeSyncFunction()(1000u * i, &seconds, &micro);
    }
    done = true;
  });
  while (!done) {
    hub.wnd->OnTrigger(0, 0.05);
    hub.wnd->OnPoll(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  library.join();
  hub.wnd->OnTrigger(0, 0.05);
  ASSERT_EQ(seen.bytes.size(), static_cast<std::size_t>(kMessages));
  for (int i = 0; i < kMessages; ++i) EXPECT_EQ(seen.bytes[i], static_cast<unsigned char>(i));
}
