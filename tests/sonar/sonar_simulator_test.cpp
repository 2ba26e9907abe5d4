// The simulated sonar heads, stepped by hand and on their own thread.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "sonar/sonar_library.h"
#include "sonar/sonar_simulator.h"
#include "sonar/zep_messages.h"
#include "support/capture.h"

namespace {

struct DataSeen {
  std::uint16_t id;
  int type;
  unsigned char tag;
  int length;
  std::vector<ZepSerialItem> items;
};
struct StatusSeen {
  std::uint16_t id;
  int kind;
  int flags;
  int typeCode;
  std::uint64_t timeUs;
};
struct PpsSeen {
  std::uint16_t id;
  std::uint64_t timeUs;
  int edge;
};
using Seen = std::variant<DataSeen, StatusSeen, PpsSeen>;

// Keeps what the module would receive, in order.
class SinkRecorder : public ISonarSink {
 public:
  void ZepRxData(int length, const CZepNetMsg* msg) override {
    Add(DataSeen{msg->SonarId(), msg->Type(), msg->PortTag(), length, msg->Items(length)});
  }
  void ZepRxStatus(const CZepStatusPacket* p) override {
    Add(StatusSeen{p->SonarId(), p->Kind(), p->Flags(), p->TypeCode(), p->SonarTimeUs()});
  }
  void OnPpsEdge(std::uint16_t id, std::uint64_t us, unsigned char edge) override { Add(PpsSeen{id, us, edge}); }

  std::vector<Seen> All() const {
    std::lock_guard guard(m_lock);
    return m_seen;
  }
  template <class T>
  std::vector<T> Of() const {
    std::vector<T> of;
    for (const auto& seen : All()) {
      if (const T* item = std::get_if<T>(&seen)) of.push_back(*item);
    }
    return of;
  }
  // Bytes of one head's serial port, in order.
  std::string Bytes(std::uint16_t id, int serialIndex) const {
    std::string bytes;
    for (const auto& data : Of<DataSeen>()) {
      for (const auto& item : data.items) {
        if (data.id == id && item.serialIndex == serialIndex) bytes += static_cast<char>(item.data);
      }
    }
    return bytes;
  }
  // Waits until `count` status packets have come; false on time-out.
  bool WaitForStatus(std::size_t count, double seconds) {
    std::unique_lock lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::duration<double>(seconds), [&] {
      std::size_t n = 0;
      for (const auto& seen : m_seen) n += std::holds_alternative<StatusSeen>(seen);
      return n >= count;
    });
  }
  void Clear() {
    std::lock_guard guard(m_lock);
    m_seen.clear();
  }

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
constexpr double kCharTime9600 = 10.0 / 9600;

// A head with a clock that matches host time, no pulses and no status, so that
// one kind of traffic can be looked at alone.
SonarHeadConfig QuietHead(std::uint16_t id) {
  SonarHeadConfig config;
  config.id = id;
  config.driftPpm = 0.0;
  config.pps = false;
  config.statusInterval = 0.0;
  return config;
}

std::unique_ptr<CQueueSource> Queue(const std::string& bytes, unsigned baud = 9600) {
  auto source = std::make_unique<CQueueSource>(1.0, baud);
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

TEST(SonarSimulator, HeadsAreLimitedToFourDistinctIds) {
  CSonarSimulator sim(kSimStart);
  EXPECT_FALSE(sim.AddHead(QuietHead(0)));
  for (std::uint16_t id = 1; id <= 4; ++id) EXPECT_TRUE(sim.AddHead(QuietHead(id))) << id;
  EXPECT_FALSE(sim.AddHead(QuietHead(5)));
  CSonarSimulator other(kSimStart);
  EXPECT_TRUE(other.AddHead(QuietHead(9)));
  EXPECT_FALSE(other.AddHead(QuietHead(9)));
  SonarHeadConfig three = QuietHead(10);
  three.serialPorts = 3;
  EXPECT_FALSE(other.AddHead(three));
}

TEST(SonarSimulator, StatusPacketEverySecondWithTheDeviceTime) {
  Bench bench;
  SonarHeadConfig config = QuietHead(7);
  config.statusInterval = 1.0;
  config.typeCode = 0x31;
  config.offsetUs = 5000000.0;
  ASSERT_TRUE(bench.sim.AddHead(config));
  struct Step {
    double hostTime;
    std::size_t total;  // status packets seen so far
  };
  const Step steps[] = {{kSimStart, 1}, {kSimStart + 0.999, 1}, {kSimStart + 1.0, 2}, {kSimStart + 3.5, 4},
                        {kSimStart + 3.5, 4}, {kSimStart + 2.0, 4}, {kSimStart + 10.0, 11}};
  for (const auto& step : steps) {
    bench.sim.Step(step.hostTime);
    EXPECT_EQ(bench.sink.Of<StatusSeen>().size(), step.total) << step.hostTime;
  }
  const auto status = bench.sink.Of<StatusSeen>();
  for (std::size_t k = 0; k < status.size(); ++k) {
    const StatusSeen& p = status[k];
    EXPECT_EQ(std::make_tuple(p.id, p.kind, p.flags & 1, p.typeCode, p.timeUs),
              std::make_tuple(7, 0, 1, 0x31, 5000000u + k * 1000000u)) << k;
  }
}

TEST(SonarSimulator, DeviceClockDriftsExactlyAsConfigured) {
  struct Case {
    double driftPpm;
    double offsetUs;
    std::uint64_t after1000s;  // device time 1000 host seconds after the start
  };
  const Case cases[] = {
      {20.0, 0.0, 1000020000u},
      {-50.0, 123456.0, 999950000u + 123456u},
      {0.0, 0.0, 1000000000u},
      {0.5, 0.0, 1000000500u},
  };
  for (const auto& c : cases) {
    Bench bench(700000000.25);  // a host time of today's size
    SonarHeadConfig config = QuietHead(3);
    config.driftPpm = c.driftPpm;
    config.offsetUs = c.offsetUs;
    config.statusInterval = 1.0;
    ASSERT_TRUE(bench.sim.AddHead(config));
    bench.sim.Step(700000000.25 + 1000.0);
    const auto status = bench.sink.Of<StatusSeen>();
    ASSERT_EQ(status.size(), 1001u);
    EXPECT_EQ(status.front().timeUs, static_cast<std::uint64_t>(c.offsetUs)) << c.driftPpm;
    EXPECT_EQ(status.back().timeUs, c.after1000s) << c.driftPpm;
    EXPECT_EQ(bench.sim.DeviceMicroseconds(3, 700000000.25 + 1000.0), c.after1000s);
  }
  CSonarSimulator sim(kSimStart);
  EXPECT_EQ(sim.DeviceMicroseconds(99, kSimStart + 1.0), 0u);  // no such head
}

TEST(SonarSimulator, PulseEdgesAtWholeSecondsOnTheDeviceClock) {
  struct Case {
    double width;
    std::vector<std::pair<std::uint64_t, int>> edges;  // device time and edge code
  };
  const Case cases[] = {
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
    for (const auto& pps : bench.sink.Of<PpsSeen>()) {
      EXPECT_EQ(pps.id, 4);
      edges.emplace_back(pps.timeUs, pps.edge);
    }
    EXPECT_EQ(edges, c.edges) << c.width;
  }
}

TEST(SonarSimulator, SerialBytesArriveAtTheLineRateWithDeviceTimeStamps) {
  Bench bench;
  ASSERT_TRUE(bench.sim.AddHead(QuietHead(7)));
  ASSERT_TRUE(bench.sim.SetSource(7, 0, Queue("AB\r\n")));
  // Four characters at 9600 baud: in at 1042, 2083, 3125 and 4167 us.
  bench.sim.Step(kSimStart + 0.004);
  EXPECT_TRUE(bench.sink.Of<DataSeen>().empty());
  EXPECT_DOUBLE_EQ(bench.sim.NextEventTime(), kSimStart + 4 * kCharTime9600);
  bench.sim.Step(kSimStart + 0.005);
  const auto data = bench.sink.Of<DataSeen>();
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(std::make_tuple(data[0].id, data[0].type, data[0].tag, data[0].length), std::make_tuple(7, 2, 'H', 10 + 4 * 8));
  EXPECT_EQ(data[0].items, (std::vector<ZepSerialItem>{{0, 'A', 1042}, {0, 'B', 2083}, {0, '\r', 3125},
                                                       {0, '\n', 4167}}));
}

TEST(SonarSimulator, MessageFormatsFollowTheHeadAndItsConfiguration) {
  struct Case {
    const char* what;
    bool typeOne;
    int serialIndex;
    bool stampsOff;  // the module switches time stamps off
    int type;
    unsigned char tag;
    int length;
    bool stamped;
  };
  const Case cases[] = {
      {"type 2 with stamps", false, 0, false, 2, 'H', 10 + 3 * 8, true},
      {"type 2 without stamps", false, 0, true, 2, 'H', 10 + 3 * 2, false},
      {"second port", false, 1, false, 2, 'I', 10 + 3 * 8, true},
      {"second port without stamps", false, 1, true, 2, 'I', 10 + 3 * 2, false},
      {"type 1", true, 0, false, 1, 'H', 8 + 3 * 8, true},
      {"type 1 is always stamped", true, 0, true, 1, 'H', 8 + 3 * 8, true},
      {"type 1 heads send type 2 on their second port", true, 1, true, 2, 'I', 10 + 3 * 2, false},
  };
  for (const auto& c : cases) {
    Bench bench;
    SonarHeadConfig config = QuietHead(12);
    config.serialPorts = 2;
    config.typeOneMessages = c.typeOne;
    ASSERT_TRUE(bench.sim.AddHead(config));
    ASSERT_TRUE(bench.sim.SetSource(12, c.serialIndex, Queue("xyz")));
    if (c.stampsOff) {
      bench.sim.SetSerialRS232TimeStamps(12, c.serialIndex, 0);
      bench.sim.SendZephraSerialConfig(12, c.serialIndex);
    }
    bench.sim.Step(kSimStart + 1.0);
    const auto data = bench.sink.Of<DataSeen>();
    ASSERT_EQ(data.size(), 1u) << c.what;
    EXPECT_EQ(std::make_tuple(data[0].type, data[0].tag, data[0].length), std::make_tuple(c.type, c.tag, c.length)) << c.what;
    ASSERT_EQ(data[0].items.size(), 3u) << c.what;
    EXPECT_EQ(data[0].items[0].timeUs != 0, c.stamped) << c.what;
    EXPECT_EQ(bench.sink.Bytes(12, c.type == 1 ? 0 : c.serialIndex), "xyz") << c.what;
  }
}

TEST(SonarSimulator, TheModulesSerialConfigurationTakesEffectWhenSent) {
  Bench bench;
  ScopedZephraBackend library(std::shared_ptr<CZephraBackend>(&bench.sim, [](CZephraBackend*) {}));
  ASSERT_TRUE(bench.sim.AddHead(QuietHead(7)));
  auto source = std::make_unique<CQueueSource>(1.0, 9600, true);
  source->Push("ok");
  ASSERT_TRUE(bench.sim.SetSource(7, 0, std::move(source)));

  // Set but not sent: still stamped, still 9600.
  ZEPX_SetSerialRS232TimeStamps(7, 0, 0);
  ZEPX_SetSerialRS232BaudRate(7, 0, 4800);
  bench.sim.Step(kSimStart + 0.5);
  EXPECT_EQ(bench.sink.Of<DataSeen>().back().length, 10 + 2 * 8);
  EXPECT_EQ(bench.sink.Bytes(7, 0), "ok");
  EXPECT_EQ(bench.sim.Port(7, 0)->baud, 9600);

  // Sent: no stamps, and a 9600 baud sensor on a 4800 baud port is garbage.
  ZEPX_SendZephraSerialConfig(7, 0);
  bench.sink.Clear();
  bench.sim.Step(kSimStart + 1.5);
  EXPECT_EQ(bench.sink.Of<DataSeen>().back().length, 10 + 2 * 2);
  EXPECT_EQ(bench.sink.Bytes(7, 0), std::string("\x90\x94", 2));
  const auto port = bench.sim.Port(7, 0);
  EXPECT_EQ(std::make_tuple(port->baud, port->timeStamps, port->serialConfigs), std::make_tuple(4800, false, 1));

  // Initialising the port at 9600 puts it right at once.
  EXPECT_NE(ZEPX_InitComPort(7, 0, 9600, 0, 0, 0), 0);
  bench.sink.Clear();
  bench.sim.Step(kSimStart + 2.5);
  EXPECT_EQ(bench.sink.Bytes(7, 0), "ok");
}

TEST(SonarSimulator, APortRoutedToTheComPortSendsNothingToTheModule) {
  Bench bench;
  SonarHeadConfig config = QuietHead(7);
  config.statusInterval = 1.0;
  ASSERT_TRUE(bench.sim.AddHead(config));
  auto source = std::make_unique<CQueueSource>(1.0, 9600, true);
  source->Push("data");
  ASSERT_TRUE(bench.sim.SetSource(7, 0, std::move(source)));
  const int handle = bench.sim.InitComPort(7, 3, 9600, 0, 1, 0);
  EXPECT_NE(handle, 0);
  bench.sim.Step(kSimStart + 2.5);
  EXPECT_TRUE(bench.sink.Of<DataSeen>().empty());
  EXPECT_EQ(bench.sink.Of<StatusSeen>().size(), 3u);
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
  EXPECT_EQ(sim.SetNetworkConfigToDefaults(5), 1);
  sim.SetNetworkRS232BaudRate(5, 38400);
  sim.SetNetworkRS232Routing(5, 4, 0);
  EXPECT_EQ(sim.Network(5)->baud, 9600);
  EXPECT_EQ(sim.SendZephraNetworkConfig(5), 1);
  auto network = sim.Network(5);
  EXPECT_EQ(std::make_tuple(network->baud, network->protocol, network->local, network->configs), std::make_tuple(38400, 4, 0, 1));
  sim.SetNetworkConfigToDefaults(5);
  sim.SendZephraNetworkConfig(5);
  network = sim.Network(5);
  EXPECT_EQ(std::make_tuple(network->baud, network->local, network->configs), std::make_tuple(9600, 1, 2));
  EXPECT_EQ(sim.SendZephraNetworkConfig(6), 0);
  EXPECT_FALSE(sim.Network(6));
}

TEST(SonarSimulator, UnknownHeadsAndMissingPortsAreRefused) {
  CSonarSimulator sim(kSimStart);
  SonarHeadConfig single = QuietHead(1);
  single.serialPorts = 1;
  ASSERT_TRUE(sim.AddHead(single));
  EXPECT_EQ(sim.InitComPort(2, 0, 9600, 0, 0, 0), 0);
  EXPECT_EQ(sim.InitComPort(1, 0, 9600, 0, 0, 1), 0);   // one serial port only
  EXPECT_EQ(sim.InitComPort(1, 0, 9600, 0, 0, -1), 0);
  EXPECT_NE(sim.InitComPort(1, 0, 9600, 0, 0, 0), 0);
  EXPECT_FALSE(sim.SetSource(1, 1, Queue("x")));
  EXPECT_FALSE(sim.SetLoopback(2, 0, true));
  EXPECT_EQ(sim.SendRS232Ex(1, 1, "x", 1), 0);
  EXPECT_EQ(sim.SetSerialRS232BaudRate(1, 1, 4800), 0);
  EXPECT_FALSE(sim.Port(1, 1));
  EXPECT_TRUE(sim.Sent(2, 0).empty());
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

  EXPECT_EQ(ZEPX_SendRS232Ex(7, 3, "abc", 0), 3);   // not wired back
  EXPECT_EQ(ZEPX_SendRS232Ex(7, 5, "hello", 1), 5);
  EXPECT_EQ(bench.sim.Sent(7, 0), (std::vector<std::string>{"abc"}));
  EXPECT_EQ(bench.sim.Sent(7, 1), (std::vector<std::string>{"hello"}));
  bench.sim.Step(kSimStart + 3.0);
  EXPECT_EQ(bench.sink.Bytes(7, 0), "");
  EXPECT_EQ(bench.sink.Bytes(7, 1), "hello");
  // The echo starts when it was sent: five characters at the port's 9600 baud.
  const auto data = bench.sink.Of<DataSeen>();
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(data[0].items.front().timeUs, 2000000u + 1042u);
  EXPECT_EQ(data[0].items.back().timeUs, 2000000u + 5208u);

  ASSERT_TRUE(bench.sim.SetLoopback(7, 1, false));
  ZEPX_SendRS232Ex(7, 2, "no", 1);
  bench.sim.Step(kSimStart + 4.0);
  EXPECT_EQ(bench.sink.Bytes(7, 1), "hello");
  EXPECT_EQ(bench.sim.Sent(7, 1).size(), 2u);
}

TEST(SonarSimulator, LongBurstsAreSplitIntoMessages) {
  Bench bench;
  SonarHeadConfig config = QuietHead(7);
  config.maxItemsPerMessage = 32;
  ASSERT_TRUE(bench.sim.AddHead(config));
  std::string text;
  for (int i = 0; i < 100; ++i) text += static_cast<char>('0' + i % 10);
  ASSERT_TRUE(bench.sim.SetSource(7, 0, Queue(text)));
  bench.sim.Step(kSimStart + 1.0);
  const auto data = bench.sink.Of<DataSeen>();
  ASSERT_EQ(data.size(), 4u);
  const std::size_t sizes[] = {32, 32, 32, 4};
  std::uint64_t previous = 0;
  for (std::size_t m = 0; m < data.size(); ++m) {
    EXPECT_EQ(data[m].items.size(), sizes[m]);
    for (const auto& item : data[m].items) {
      EXPECT_GT(item.timeUs, previous);
      previous = item.timeUs;
    }
  }
  EXPECT_EQ(bench.sink.Bytes(7, 0), text);
}

TEST(SonarSimulator, EventsOfAllHeadsComeInTimeOrder) {
  Bench bench;
  for (std::uint16_t id : {1, 2}) {
    SonarHeadConfig config = QuietHead(id);
    config.statusInterval = 0.25;
    config.pps = true;
    ASSERT_TRUE(bench.sim.AddHead(config));
    ASSERT_TRUE(bench.sim.SetSource(id, 0, std::make_unique<CGgaZdaSource>(0.05 * id)));
  }
  bench.sim.Step(kSimStart + 5.0);
  // With clocks that match host time, every event's device time is its host time.
  double last = 0.0;
  std::size_t count = 0;
  for (const auto& seen : bench.sink.All()) {
    double time = 0.0;
    if (const auto* data = std::get_if<DataSeen>(&seen)) time = static_cast<double>(data->items.back().timeUs);
    if (const auto* status = std::get_if<StatusSeen>(&seen)) time = static_cast<double>(status->timeUs);
    if (const auto* pps = std::get_if<PpsSeen>(&seen)) time = static_cast<double>(pps->timeUs);
    EXPECT_GE(time, last) << count;
    last = time;
    ++count;
  }
  EXPECT_EQ(bench.sink.Of<StatusSeen>().size(), 2u * 21u);
  EXPECT_EQ(bench.sink.Of<PpsSeen>().size(), 2u * 11u);  // 1000 to 1005, and 1000.1 to 1004.1
}

TEST(SonarSimulator, GpsOnAHeadSendsEachSecondAfterItsPulse) {
  Bench bench;
  SonarHeadConfig config = QuietHead(7);
  config.pps = true;
  config.ppsWidth = 0.0;
  ASSERT_TRUE(bench.sim.AddHead(config));
  ASSERT_TRUE(bench.sim.SetSource(7, 0, std::make_unique<CGgaZdaSource>()));
  bench.sim.Step(kSimStart + 2.9);
  CGgaZdaSource reference;
  EXPECT_EQ(bench.sink.Bytes(7, 0), reference.Sentences(1000) + reference.Sentences(1001) + reference.Sentences(1002));
  const auto pulses = bench.sink.Of<PpsSeen>();
  ASSERT_EQ(pulses.size(), 3u);
  const auto data = bench.sink.Of<DataSeen>();
  ASSERT_FALSE(data.empty());
  // The first character of the second is in one character time after 50 ms.
  EXPECT_EQ(data.front().items.front().timeUs, 50000u + 1042u);
  EXPECT_LT(pulses[0].timeUs, data.front().items.front().timeUs);
}

TEST(SonarSimulator, NothingIsDeliveredAfterTheSinkIsRemoved) {
  Bench bench;
  SonarHeadConfig config = QuietHead(7);
  config.statusInterval = 1.0;
  ASSERT_TRUE(bench.sim.AddHead(config));
  bench.sim.Step(kSimStart + 1.0);
  EXPECT_EQ(bench.sink.All().size(), 2u);
  bench.sim.SetSink(nullptr);
  bench.sim.Step(kSimStart + 5.0);
  EXPECT_EQ(bench.sink.All().size(), 2u);
}

TEST(SonarSimulator, AHeadAddedLaterStartsAtThePresent) {
  Bench bench;
  bench.sim.Step(kSimStart + 10.4);
  SonarHeadConfig config = QuietHead(7);
  config.statusInterval = 1.0;
  config.pps = true;
  config.ppsWidth = 0.0;
  ASSERT_TRUE(bench.sim.AddHead(config));
  bench.sim.Step(kSimStart + 12.0);
  const auto status = bench.sink.Of<StatusSeen>();
  ASSERT_EQ(status.size(), 2u);
  EXPECT_EQ(status[0].timeUs, 11000000u);
  const auto pulses = bench.sink.Of<PpsSeen>();
  ASSERT_EQ(pulses.size(), 2u);
  EXPECT_EQ(pulses[0].timeUs, 11000000u);
}

TEST(SonarSimulator, ASensorThatSendsNothingDoesNotHoldUpAStep) {
  Bench bench;
  ASSERT_TRUE(bench.sim.AddHead(QuietHead(7)));
  int asked = 0;
  ASSERT_TRUE(bench.sim.SetSource(7, 0, std::make_unique<CCallbackSource>([&asked](double notBefore) {
    ++asked;
    return std::optional<SensorBurst>(SensorBurst{notBefore, ""});
  })));
  bench.sim.Step(kSimStart + 1.0);
  bench.sim.Step(kSimStart + 2.0);
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(bench.sink.All().empty());
}

TEST(SonarSimulator, ASensorWithNothingToSendIsAskedAgainLater) {
  Bench bench;
  ASSERT_TRUE(bench.sim.AddHead(QuietHead(7)));
  auto source = std::make_unique<CQueueSource>(1.0);
  CQueueSource* queue = source.get();
  ASSERT_TRUE(bench.sim.SetSource(7, 0, std::move(source)));
  bench.sim.Step(kSimStart + 0.5);
  EXPECT_TRUE(bench.sink.All().empty());
  queue->Push("late");
  bench.sim.Step(kSimStart + 1.0);
  // It goes out from the last step on.
  const auto data = bench.sink.Of<DataSeen>();
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(bench.sink.Bytes(7, 0), "late");
  EXPECT_EQ(data[0].items.front().timeUs, 500000u + 1042u);
}

namespace {
// A module that answers every status packet on the head's serial port, from
// within the call, as a sink may.
class AnsweringSink : public SinkRecorder {
 public:
  void ZepRxStatus(const CZepStatusPacket* packet) override {
    SinkRecorder::ZepRxStatus(packet);
    ZEPX_SendRS232Ex(packet->SonarId(), 1, "!", 0);
  }
};
}  // namespace

TEST(SonarSimulator, ASinkMaySendFromItsCalls) {
  ScopedClock clock(kSimStart);
  AnsweringSink sink;
  auto sim = std::make_shared<CSonarSimulator>(kSimStart);
  ScopedZephraBackend library(sim);
  SonarHeadConfig config = QuietHead(7);
  config.statusInterval = 1.0;
  ASSERT_TRUE(sim->AddHead(config));
  ASSERT_TRUE(sim->SetLoopback(7, 0, true));
  sim->SetSink(&sink);
  for (int second = 0; second <= 3; ++second) {
    clock->Set(kSimStart + second);
    sim->Step(kSimStart + second);
  }
  sim->Step(kSimStart + 3.5);
  EXPECT_EQ(sim->Sent(7, 0).size(), 4u);
  EXPECT_EQ(sink.Bytes(7, 0), "!!!!");
  sim->SetSink(nullptr);
}

TEST(SonarSimulatorThread, StepsInRealTimeAndStopsPromptly) {
  SinkRecorder sink;
  auto sim = std::make_shared<CSonarSimulator>();
  SonarHeadConfig config = QuietHead(7);
  config.statusInterval = 0.02;
  ASSERT_TRUE(sim->AddHead(config));
  sim->SetSink(&sink);
  ScopedZephraBackend library(sim);
  sim->Start();
  sim->Start();  // a second start changes nothing
  EXPECT_TRUE(sim->Running());
  // The module configures and sends while the thread runs.
  std::thread module([] {
    for (int i = 0; i < 50; ++i) {
      ZEPX_InitComPort(7, 0, 9600, 0, 0, 0);
      ZEPX_SendRS232Ex(7, 2, "hi", 0);
    }
  });
  EXPECT_TRUE(sink.WaitForStatus(4, 10.0));
  module.join();
  sim->Stop();
  EXPECT_FALSE(sim->Running());
  const std::size_t seen = sink.All().size();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(sink.All().size(), seen);  // nothing after the stop
  EXPECT_EQ(sim->Sent(7, 0).size(), 50u);
  sim->Stop();
  sim->SetSink(nullptr);
}

TEST(SonarSimulatorThread, FollowsATestClockWhenWoken) {
  ScopedClock clock(kSimStart);
  SinkRecorder sink;
  CSonarSimulator sim;
  SonarHeadConfig config = QuietHead(7);
  config.statusInterval = 1.0;
  ASSERT_TRUE(sim.AddHead(config));
  sim.SetSink(&sink);
  sim.Start();
  EXPECT_TRUE(sink.WaitForStatus(1, 10.0));
  clock->Advance(3.0);
  sim.Wake();
  EXPECT_TRUE(sink.WaitForStatus(4, 10.0));
  // The thread now sleeps for its longest wait on a clock that stands still;
  // stopping must not wait that out.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const auto before = std::chrono::steady_clock::now();
  sim.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(400));
  EXPECT_EQ(sink.Of<StatusSeen>().size(), 4u);
  sim.SetSink(nullptr);
}

TEST(SonarSimulatorThread, DestroyingARunningSimulatorStopsIt) {
  SinkRecorder sink;
  for (int i = 0; i < 3; ++i) {
    auto sim = std::make_unique<CSonarSimulator>();
    SonarHeadConfig config = QuietHead(7);
    config.statusInterval = 0.01;
    config.pps = true;
    sim->AddHead(config);
    sim->SetSource(7, 0, std::make_unique<CGgaZdaSource>());
    sim->SetSink(&sink);
    sim->Start();
    EXPECT_TRUE(sink.WaitForStatus(static_cast<std::size_t>(i + 1), 10.0));
  }
}
