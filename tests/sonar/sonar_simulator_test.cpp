// The simulated sonar heads, stepped by hand and on their own thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sonar/sonar_library.h"
#include "sonar/sonar_simulator.h"
#include "sonar/zep_messages.h"
#include "support/capture.h"

namespace {

// What the module receives: data (type 1 or 2; code is the port tag, length the message
// length, time the last item's), a status packet (code the type code, length the flags) or
// a pulse edge (code the edge).
constexpr int kStatus = 0;
constexpr int kPulse = -1;
struct Seen {
  int type;
  std::uint16_t id;
  int code;
  int length;
  std::uint64_t timeUs;
  std::vector<ZepSerialItem> items;
};

// Keeps what the module would receive, in order; answers each status packet on
// the head's serial port from within the call when asked, as a module may.
class SinkRecorder : public ISonarSink {
 public:
  void ZepRxData(int length, const CZepNetMsg* msg) override {
    const auto items = msg->Items(length);
    Add({msg->Type(), msg->SonarId(), msg->PortTag(), length, items.empty() ? 0 : items.back().timeUs, items});
  }
  void ZepRxStatus(const CZepStatusPacket* p) override {
    EXPECT_EQ(p->Kind(), 0);
    Add({kStatus, p->SonarId(), p->TypeCode(), p->Flags(), p->SonarTimeUs(), {}});
    if (answer) ZEPX_SendRS232Ex(p->SonarId(), 1, "!", 0);
  }
  void OnPpsEdge(std::uint16_t id, std::uint64_t us, unsigned char edge) override { Add({kPulse, id, edge, 0, us, {}}); }

  // All that came, or that of one type; type 1 and 2 messages are both data.
  std::vector<Seen> Of(int type = 99) const {
    std::lock_guard guard(m_lock);
    std::vector<Seen> of;
    for (const auto& seen : m_seen) {
      if (type == 99 || seen.type == type || (type > 0 && seen.type > 0)) of.push_back(seen);
    }
    return of;
  }
  // Bytes of one head's serial port, in order.
  std::string Bytes(std::uint16_t id, int serialIndex) const {
    std::string bytes;
    for (const auto& data : Of(1)) {
      for (const auto& item : data.items) {
        if (data.id == id && item.serialIndex == serialIndex) bytes += static_cast<char>(item.data);
      }
    }
    return bytes;
  }
  // Waits until `count` status packets have come; false on time-out.
  bool WaitForStatus(std::size_t count) {
    std::unique_lock lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::seconds(10), [&] {
      return std::count_if(m_seen.begin(), m_seen.end(), [](const Seen& s) { return s.type == kStatus; }) >=
             static_cast<long>(count);
    });
  }
  bool answer = false;

 private:
  void Add(Seen seen) {
    std::lock_guard guard(m_lock);
    m_seen.push_back(std::move(seen));
    m_changed.notify_all();
  }
  mutable std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<Seen> m_seen;
};

constexpr double kSimStart = 1000.0;

// A head with a clock that matches host time, no pulses and no status, so that
// one kind of traffic can be looked at alone.
SonarHeadConfig QuietHead(std::uint16_t id, double statusInterval = 0.0) {
  SonarHeadConfig config;
  config.id = id;
  config.driftPpm = 0.0;
  config.pps = false;
  config.statusInterval = statusInterval;
  return config;
}

std::unique_ptr<CQueueSource> Queue(const std::string& bytes, bool repeat = false) {
  auto source = std::make_unique<CQueueSource>(1.0, 9600, repeat);
  source->Push(bytes);
  return source;
}

// Simulator and sink wired together, stepped by hand.
struct Bench {
  explicit Bench(double start = kSimStart) : sim(start) { sim.SetSink(&sink); }
  ~Bench() { sim.SetSink(nullptr); }
  CSonarSimulator sim;
  SinkRecorder sink;
};

}  // namespace

TEST(SonarSimulator, HeadsAreLimitedToFourDistinctIdsOfAtMostTwoPorts) {
  CSonarSimulator sim(kSimStart);
  SonarHeadConfig three = QuietHead(10);
  three.serialPorts = 3;
  EXPECT_FALSE(sim.AddHead(three));
  EXPECT_FALSE(sim.AddHead(QuietHead(0)));
  EXPECT_TRUE(sim.AddHead(QuietHead(1)));
  EXPECT_FALSE(sim.AddHead(QuietHead(1)));
  for (std::uint16_t id = 2; id <= 4; ++id) EXPECT_TRUE(sim.AddHead(QuietHead(id))) << id;
  EXPECT_FALSE(sim.AddHead(QuietHead(5)));
  // Unknown heads and ports beyond a head's one are refused.
  EXPECT_EQ(sim.InitComPort(9, 0, 9600, 0, 0, 0), 0);
  EXPECT_EQ(sim.SendZephraNetworkConfig(9), 0);
  EXPECT_EQ(sim.InitComPort(1, 0, 9600, 0, 0, 1), 0);
  EXPECT_EQ(sim.InitComPort(1, 0, 9600, 0, 0, -1), 0);
  EXPECT_FALSE(sim.SetSource(1, 1, Queue("x")));
  EXPECT_EQ(sim.SendRS232Ex(1, 1, "x", 1), 0);
  EXPECT_FALSE(sim.Port(1, 1));
}

TEST(SonarSimulator, StatusPacketsEverySecondCarryTheDriftingDeviceClock) {
  const struct {
    double driftPpm;
    double offsetUs;
    std::uint64_t after1000s;  // device time 1000 host seconds after the start
  } cases[] = {{20.0, 0.0, 1000020000u}, {-50.0, 123456.0, 999950000u + 123456u}, {0.5, 0.0, 1000000500u}};
  constexpr double kToday = 700000000.25;  // a host time of today's size
  for (const auto& c : cases) {
    Bench bench(kToday);
    SonarHeadConfig config = QuietHead(3, 1.0);
    config.driftPpm = c.driftPpm;
    config.offsetUs = c.offsetUs;
    config.typeCode = 0x31;
    ASSERT_TRUE(bench.sim.AddHead(config));
    bench.sim.Step(kToday + 999.999);
    EXPECT_EQ(bench.sink.Of(kStatus).size(), 1000u);
    bench.sim.Step(kToday + 1000.0);
    bench.sim.Step(kToday + 2.0);  // the past: nothing
    const auto status = bench.sink.Of(kStatus);
    ASSERT_EQ(status.size(), 1001u);
    EXPECT_EQ(status.front().timeUs, static_cast<std::uint64_t>(c.offsetUs)) << c.driftPpm;
    const Seen& last = status.back();
    EXPECT_EQ(std::make_tuple(last.id, last.code, last.length & 1, last.timeUs),
              std::make_tuple(3, 0x31, 1, c.after1000s));
    EXPECT_EQ(bench.sim.DeviceMicroseconds(3, kToday + 1000.0), c.after1000s);
  }
  EXPECT_EQ(CSonarSimulator(kSimStart).DeviceMicroseconds(99, kSimStart + 1.0), 0u);  // no such head
}

TEST(SonarSimulator, PulseEdgesAtWholeSecondsOnTheDeviceClock) {
  const struct {
    double width;
    std::vector<std::pair<std::uint64_t, int>> edges;  // device time and edge code
  } cases[] = {
      {0.1, {{500000, 0}, {600000, 1}, {1500000, 0}, {1600000, 1}, {2500000, 0}}},
      {0.0, {{500000, 0}, {1500000, 0}, {2500000, 0}}},
  };
  for (const auto& c : cases) {
    Bench bench(kSimStart + 0.5);
    SonarHeadConfig config = QuietHead(4);
    config.pps = true;
    config.ppsWidth = c.width;
    ASSERT_TRUE(bench.sim.AddHead(config));
    bench.sim.Step(kSimStart + 3.05);
    std::vector<std::pair<std::uint64_t, int>> edges;
    for (const auto& pps : bench.sink.Of(kPulse)) edges.emplace_back(pps.timeUs, pps.code);
    EXPECT_EQ(edges, c.edges) << c.width;
  }
}

TEST(SonarSimulator, AHeadAddedLaterStartsAtThePresent) {
  Bench bench;
  bench.sim.Step(kSimStart + 10.4);
  SonarHeadConfig config = QuietHead(7, 1.0);
  config.pps = true;
  ASSERT_TRUE(bench.sim.AddHead(config));
  bench.sim.Step(kSimStart + 11.0);
  const auto status = bench.sink.Of(kStatus);
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].timeUs, 11000000u);
  EXPECT_EQ(bench.sink.Of(kPulse).at(0).timeUs, 11000000u);
}

// Bytes are stamped when their last bit is in: one character time per byte.
TEST(SonarSimulator, MessageFormatsFollowTheHeadAndItsConfiguration) {
  const struct {
    const char* what;
    bool typeOne;
    int serialIndex;
    bool stampsOff;  // the module switches time stamps off
    int type;
    unsigned char tag;
    int length;
    std::uint64_t firstUs;
  } cases[] = {
      {"type 2 with stamps", false, 0, false, 2, 'H', 10 + 3 * 8, 1042},
      {"type 2 without stamps", false, 0, true, 2, 'H', 10 + 3 * 2, 0},
      {"second port without stamps", false, 1, true, 2, 'I', 10 + 3 * 2, 0},
      {"type 1 is always stamped", true, 0, true, 1, 'H', 8 + 3 * 8, 1042},
      {"type 1 heads send type 2 on their second port", true, 1, false, 2, 'I', 10 + 3 * 8, 1042},
  };
  for (const auto& c : cases) {
    Bench bench;
    SonarHeadConfig config = QuietHead(12);
    config.typeCode = 0x31;  // a 310XR: two serial ports
    config.typeOneMessages = c.typeOne;
    ASSERT_TRUE(bench.sim.AddHead(config));
    ASSERT_TRUE(bench.sim.SetSource(12, c.serialIndex, Queue("xyz")));
    if (c.stampsOff) {
      bench.sim.SetSerialRS232TimeStamps(12, c.serialIndex, 0);
      bench.sim.SendZephraSerialConfig(12, c.serialIndex);
    }
    bench.sim.Step(kSimStart + 1.0);
    const auto data = bench.sink.Of(1);
    ASSERT_EQ(data.size(), 1u) << c.what;
    EXPECT_EQ(std::make_tuple(data[0].type, data[0].code, data[0].length, data[0].items.at(0).timeUs),
              std::make_tuple(c.type, c.tag, c.length, c.firstUs)) << c.what;
    EXPECT_EQ(bench.sink.Bytes(12, c.type == 1 ? 0 : c.serialIndex), "xyz") << c.what;
  }
}

TEST(SonarSimulator, TheModulesSerialConfigurationTakesEffectWhenSent) {
  Bench bench;
  ScopedZephraBackend library(std::shared_ptr<CZephraBackend>(&bench.sim, [](CZephraBackend*) {}));
  ASSERT_TRUE(bench.sim.AddHead(QuietHead(7)));
  ASSERT_TRUE(bench.sim.SetSource(7, 0, Queue("ok", true)));

  // Set but not sent: still stamped, still 9600.
  ZEPX_SetSerialRS232TimeStamps(7, 0, 0);
  ZEPX_SetSerialRS232BaudRate(7, 0, 4800);
  bench.sim.Step(kSimStart + 0.5);
  EXPECT_EQ(bench.sink.Of(1).back().length, 10 + 2 * 8);
  EXPECT_EQ(bench.sink.Bytes(7, 0), "ok");

  // Sent: no stamps, and a 9600 baud sensor on a 4800 baud port is garbage.
  ZEPX_SendZephraSerialConfig(7, 0);
  bench.sim.Step(kSimStart + 1.5);
  EXPECT_EQ(bench.sink.Of(1).back().length, 10 + 2 * 2);
  EXPECT_EQ(bench.sink.Bytes(7, 0), std::string("ok\x90\x94", 4));
  EXPECT_EQ(bench.sim.Port(7, 0)->serialConfigs, 1);

  // Initialising the port at 9600 puts it right at once.
  EXPECT_NE(ZEPX_InitComPort(7, 0, 9600, 0, 0, 0), 0);
  bench.sim.Step(kSimStart + 2.5);
  EXPECT_EQ(bench.sink.Bytes(7, 0), std::string("ok\x90\x94ok", 6));
}

TEST(SonarSimulator, APortRoutedToTheComPortSendsNothingToTheModule) {
  Bench bench;
  ASSERT_TRUE(bench.sim.AddHead(QuietHead(7, 1.0)));
  ASSERT_TRUE(bench.sim.SetSource(7, 0, Queue("data", true)));
  const int handle = bench.sim.InitComPort(7, 3, 9600, 0, 1, 0);
  bench.sim.Step(kSimStart + 2.5);
  EXPECT_TRUE(bench.sink.Of(1).empty());
  EXPECT_EQ(bench.sink.Of(kStatus).size(), 3u);
  const auto port = bench.sim.Port(7, 0);
  EXPECT_EQ(std::make_tuple(port->handle, port->comPort, port->routeFlag), std::make_tuple(handle, 3, 1));
  // Back to the module.
  EXPECT_NE(bench.sim.InitComPort(7, 0, 9600, 0, 0, 0), handle);
  bench.sim.Step(kSimStart + 3.5);
  EXPECT_EQ(bench.sink.Bytes(7, 0), "data");
}

TEST(SonarSimulator, NetworkSettingsTakeEffectWhenSent) {
  CSonarSimulator sim(kSimStart);
  ASSERT_TRUE(sim.AddHead(QuietHead(5)));
  sim.SetNetworkRS232BaudRate(5, 38400);
  sim.SetNetworkRS232Routing(5, 4, 0);
  EXPECT_EQ(sim.Network(5)->baud, 9600);
  EXPECT_EQ(sim.SendZephraNetworkConfig(5), 1);
  auto network = sim.Network(5);
  EXPECT_EQ(std::make_tuple(network->baud, network->protocol, network->local, network->configs),
            std::make_tuple(38400, 4, 0, 1));
  EXPECT_EQ(sim.SetNetworkConfigToDefaults(5), 1);
  sim.SendZephraNetworkConfig(5);
  network = sim.Network(5);
  EXPECT_EQ(std::make_tuple(network->baud, network->protocol, network->local, network->configs),
            std::make_tuple(9600, 0, 1, 2));
}

TEST(SonarSimulator, SentBytesAreKeptAndLoopedBackWhenWired) {
  ScopedClock clock(kSimStart + 2.0);
  Bench bench;
  ScopedZephraBackend library(std::shared_ptr<CZephraBackend>(&bench.sim, [](CZephraBackend*) {}));
  SonarHeadConfig config = QuietHead(7);
  config.serialPorts = 2;
  ASSERT_TRUE(bench.sim.AddHead(config));
  ASSERT_TRUE(bench.sim.SetLoopback(7, 1, true));
  bench.sim.Step(kSimStart + 2.0);
  EXPECT_EQ(ZEPX_SendRS232Ex(7, 3, "abc", 0), 3);  // not wired back
  EXPECT_EQ(ZEPX_SendRS232Ex(7, 5, "hello", 1), 5);
  EXPECT_EQ(bench.sim.Sent(7, 0), (std::vector<std::string>{"abc"}));
  bench.sim.Step(kSimStart + 3.0);
  EXPECT_EQ(bench.sink.Bytes(7, 0), "");
  EXPECT_EQ(bench.sink.Bytes(7, 1), "hello");
  // The echo starts when it was sent: five characters at the port's 9600 baud.
  EXPECT_EQ(bench.sink.Of(1).at(0).items.back().timeUs, 2000000u + 5208u);

  ASSERT_TRUE(bench.sim.SetLoopback(7, 1, false));
  ZEPX_SendRS232Ex(7, 2, "no", 1);
  bench.sim.Step(kSimStart + 4.0);
  EXPECT_EQ(bench.sim.Sent(7, 1), (std::vector<std::string>{"hello", "no"}));
  // Once the sink is removed nothing reaches it.
  ASSERT_TRUE(bench.sim.SetLoopback(7, 1, true));
  ZEPX_SendRS232Ex(7, 2, "ok", 1);
  bench.sim.SetSink(nullptr);
  bench.sim.Step(kSimStart + 5.0);
  EXPECT_EQ(bench.sink.Bytes(7, 1), "hello");
}

TEST(SonarSimulator, LongBurstsAreSplitIntoMessagesInTimeOrderAcrossHeads) {
  Bench bench;
  std::string text;
  for (int i = 0; i < 100; ++i) text += static_cast<char>('0' + i % 10);
  for (std::uint16_t id : {1, 2}) {
    SonarHeadConfig config = QuietHead(id, 0.25);
    config.pps = true;
    ASSERT_TRUE(bench.sim.AddHead(config));
    ASSERT_TRUE(bench.sim.SetSource(id, 0, Queue(text)));
  }
  bench.sim.Step(kSimStart + 1.0);
  // With clocks that match host time, every event's device time is its host time.
  std::uint64_t last = 0;
  std::vector<std::size_t> sizes;
  for (const auto& seen : bench.sink.Of()) {
    if (seen.type > 0) sizes.push_back(seen.items.size());
    EXPECT_GE(seen.timeUs, last);
    last = seen.timeUs;
  }
  EXPECT_EQ(sizes, (std::vector<std::size_t>{32, 32, 32, 32, 32, 32, 4, 4}));
  EXPECT_EQ(bench.sink.Bytes(2, 0), text);
  EXPECT_EQ(bench.sink.Of(kStatus).size(), 2u * 5u);
}

TEST(SonarSimulator, SilentSensorsNeitherHoldUpAStepNorAreForgotten) {
  Bench bench;
  SonarHeadConfig config = QuietHead(7);
  config.serialPorts = 2;
  ASSERT_TRUE(bench.sim.AddHead(config));
  int asked = 0;
  ASSERT_TRUE(bench.sim.SetSource(7, 0, std::make_unique<CCallbackSource>([&asked](double notBefore) {
    ++asked;
    return std::optional<SensorBurst>(SensorBurst{notBefore, ""});
  })));
  auto source = std::make_unique<CQueueSource>(1.0);
  CQueueSource* queue = source.get();
  ASSERT_TRUE(bench.sim.SetSource(7, 1, std::move(source)));
  bench.sim.Step(kSimStart + 0.5);
  queue->Push("late");
  bench.sim.Step(kSimStart + 1.0);
  EXPECT_EQ(asked, 2);
  // It goes out from the last step on.
  const auto data = bench.sink.Of(1);
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(bench.sink.Bytes(7, 1), "late");
  EXPECT_EQ(data[0].items.front().timeUs, 500000u + 1042u);
}

TEST(SonarSimulator, ASinkMaySendFromItsCalls) {
  ScopedClock clock(kSimStart);
  Bench bench;
  ScopedZephraBackend library(std::shared_ptr<CZephraBackend>(&bench.sim, [](CZephraBackend*) {}));
  bench.sink.answer = true;
  ASSERT_TRUE(bench.sim.AddHead(QuietHead(7, 1.0)));
  ASSERT_TRUE(bench.sim.SetLoopback(7, 0, true));
  for (int second = 0; second <= 3; ++second) {
    clock->Set(kSimStart + second);
    bench.sim.Step(kSimStart + second);
  }
  bench.sim.Step(kSimStart + 3.5);
  EXPECT_EQ(bench.sink.Bytes(7, 0), "!!!!");
}

TEST(SonarSimulatorThread, FollowsTheClockTakesCallsWhileRunningAndStopsPromptly) {
  ScopedClock clock(kSimStart);
  SinkRecorder sink;
  auto sim = std::make_shared<CSonarSimulator>();
  ASSERT_TRUE(sim->AddHead(QuietHead(7, 1.0)));
  sim->SetSink(&sink);
  ScopedZephraBackend library(sim);
  sim->Start();
  sim->Start();  // a second start changes nothing
  // The module configures and sends while the thread runs.
  std::thread module([] {
    for (int i = 0; i < 50; ++i) {
      ZEPX_InitComPort(7, 0, 9600, 0, 0, 0);
      ZEPX_SendRS232Ex(7, 2, "hi", 0);
    }
  });
  EXPECT_TRUE(sink.WaitForStatus(1));
  module.join();
  EXPECT_EQ(sim->Sent(7, 0).size(), 50u);
  clock->Advance(3.0);
  sim->Wake();
  EXPECT_TRUE(sink.WaitForStatus(4));
  // The thread now sleeps for its longest wait on a clock that stands still;
  // stopping must not wait that out.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const auto before = std::chrono::steady_clock::now();
  sim->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(400));
  EXPECT_FALSE(sim->Running());
  clock->Advance(3.0);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(sink.Of(kStatus).size(), 4u);  // nothing after the stop
  sim->Start();  // released running: its destructor stops it
}
