// The simulated hubs, stepped by hand, read back with the hub message readers.
// (Their thread and their sensors' timing run in nyxhost --hub-sim, nyxhost_test.)
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "sonar/hub_messages.h"
#include "sonar/hub_simulator.h"
#include "sonar/sonar_recorder.h"

namespace {

constexpr double kStart = 1000.0;  // host seconds: the hubs start on a whole second

struct Message {
  int kind;
  std::vector<unsigned char> bytes;
};

// The hub handler is a plain function: what it receives goes here.
std::mutex g_lock;
std::vector<Message> g_messages;

void Handler(int kind, int length, const unsigned char* message) {
  std::lock_guard guard(g_lock);
  g_messages.push_back({kind, std::vector<unsigned char>(message, message + length)});
}

std::vector<Message> Take() {
  std::lock_guard guard(g_lock);
  return std::exchange(g_messages, {});
}

std::vector<HubStatusFields> Statuses(const std::vector<Message>& messages) {
  std::vector<HubStatusFields> out;
  for (const Message& m : messages) {
    HubStatusFields fields;
    if (m.kind == kHubStatusKind && ReadHubStatus(m.bytes.data(), static_cast<int>(m.bytes.size()), fields)) {
      out.push_back(fields);
    }
  }
  return out;
}

// The bytes of one hub's port, in order.
std::string Text(const std::vector<Message>& messages, std::uint16_t id, unsigned char port) {
  std::string text;
  for (const Message& m : messages) {
    if (m.kind != kHubDataKind || HubMessageId(m.bytes.data()) != id) continue;
    for (const auto& item : ReadHubData(m.bytes.data(), static_cast<int>(m.bytes.size()))) {
      if (item.Port() == port) text += static_cast<char>(item.Data());
    }
  }
  return text;
}

class HubSimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Take();
    sim.SetHubHandler(Handler);
  }
  void TearDown() override { sim.SetHubHandler(nullptr); }

  CHubSimulator sim{2, nullptr, kStart};
};

TEST_F(HubSimulatorTest, StatusMessagesCarryEachHubsAddressAndDriftingClock) {
  sim.Step(kStart + 2.5);
  const auto statuses = Statuses(Take());
  ASSERT_EQ(statuses.size(), 6u);  // two hubs at 0, 1 and 2 s
  for (std::size_t i = 0; i < statuses.size(); ++i) {
    const HubStatusFields& s = statuses[i];
    const auto host = static_cast<unsigned char>(10 + i % 2);
    EXPECT_EQ(std::make_tuple(s.hubId, s.fixedIp, s.altIp, s.altMask),
              std::make_tuple(100 + i % 2, std::array<unsigned char, 4>{host, 1, 168, 192}, 0xC0A80200u | host,
                              0xFFFFFF00u)) << i;
    // Device time from the hub's start, on a clock that drifts.
    const double at = kStart + static_cast<double>(i / 2);
    EXPECT_EQ(s.deviceTimeUs, sim.DeviceMicroseconds(s.hubId, at)) << i;
  }
  EXPECT_NE(statuses[5].deviceTimeUs, 2000000u);
}

TEST_F(HubSimulatorTest, PortsPassBytesOnlyAtTheSensorsRate) {
  const struct {
    const char* what;
    int baudIndex;   // -1: never configured
    bool deleted;    // the station deleted the hub after configuring it
    bool garbled;
  } rows[] = {
      {"4800 as the GPS sends", 4, false, false},
      {"9600: garbage", 5, false, true},
      {"not configured", -1, false, false},
      {"configured then deleted", 4, true, false},
  };
  for (const auto& row : rows) {
    CHubSimulator own(1, nullptr, kStart);
    own.SetHubHandler(Handler);
    Take();
    if (row.baudIndex >= 0) own.ConfigHubPort(100, 0, row.baudIndex, 4, 1, 1, 1);
    if (row.deleted) own.DeleteDeviceID(100);
    own.Step(kStart + 0.9);
    own.SetHubHandler(nullptr);
    std::string expected = row.baudIndex < 0 || row.deleted ? "" : CGgaZdaSource().Sentences(1000);
    if (row.garbled) {
      for (char& c : expected) c = static_cast<char>(~c);
    }
    EXPECT_EQ(Text(Take(), 100, 0), expected) << row.what;
  }
}

TEST_F(HubSimulatorTest, SerialCommandsAreKeptAndAcknowledged) {
  sim.Step(kStart);
  Take();
  EXPECT_EQ(sim.SendSerialCommand(100, 2, 5, "hello"), 5);
  EXPECT_EQ(sim.SendSerialCommand(100, 2, 2, "ok"), 2);
  EXPECT_EQ(sim.SendSerialCommand(100, 8, 2, "no"), 0);
  sim.Step(kStart + 0.01);
  std::vector<std::tuple<int, int, int>> acks;  // hub, sequence, status
  for (const Message& m : Take()) {
    HubSerialAck ack;
    if (m.kind == kHubSerialAckKind && ReadHubSerialAck(m.bytes.data(), static_cast<int>(m.bytes.size()), ack)) {
      acks.emplace_back(HubMessageId(m.bytes.data()), ack.sequence, ack.status);
    }
  }
  EXPECT_EQ(acks, (std::vector<std::tuple<int, int, int>>{{100, 1, 0}, {100, 2, 0}}));
  EXPECT_EQ(sim.Sent(100, 2), (std::vector<std::string>{"hello", "ok"}));
}

TEST(HubSimulatorInner, HeadCallsGoToTheInnerBackend) {
  auto recorder = std::make_shared<CZephraRecorder>();
  CHubSimulator sim(1, recorder, kStart);
  EXPECT_EQ(sim.InitComPort(1001, 3, 9600, 0, 1, 1), 1);
  sim.SendRS232Ex(1001, 3, "abc", 0);
  sim.ConfigHubPort(100, 0, 4, 4, 1, 1, 1);  // a hub call stays with the hubs
  EXPECT_EQ(recorder->Lines(), (std::vector<std::string>{"ZEPX_InitComPort(1001, 3, 9600, 0, 1, 1)",
                                                         "ZEPX_SendRS232Ex(1001, 3, <abc>, 0)"}));
  EXPECT_EQ(CHubSimulator(1, nullptr, kStart).InitComPort(1001, 3, 9600, 0, 0, 0), 0);
}

}  // namespace
