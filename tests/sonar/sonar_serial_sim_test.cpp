// Simulated sonar heads feeding the serial window: sensor sentences on the
// heads' serial ports come out as records whose times, converted from the
// heads' drifting clocks, agree with the true host time once each head's PC
// model has two status samples. (The library's thread beside the trigger runs
// in nyxhost --sonar-sim, sonar_sim_option_test.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "comms/serial_comms.h"
#include "host/records.h"
#include "host/task.h"
#include "sonar/sensor_source.h"
#include "sonar/sonar_library.h"
#include "sonar/sonar_simulator.h"
#include "support/capture.h"
#include "support/test_codecs.h"

namespace {

constexpr double kLineStart = 10000.0;
constexpr double kLineCharTime = 10.0 / 9600;
constexpr double kTriggerPeriod = 0.05;

// The true host time at which each sentence began on the wire, by its text.
class SentenceLog {
 public:
  void Add(const std::string& burst, double start) {
    std::lock_guard guard(m_lock);
    std::size_t from = 0;
    for (std::size_t end; (end = burst.find('\n', from)) != std::string::npos; from = end + 1) {
      m_starts[burst.substr(from, end - from)].push_back(start + static_cast<double>(from) * kLineCharTime);
    }
  }
  // The start of the sentence of this text nearest to `time`; NaN when none.
  double Nearest(const std::string& text, double time) const {
    std::lock_guard guard(m_lock);
    const auto it = m_starts.find(text);
    if (it == m_starts.end()) return std::nan("");
    double best = std::nan("");
    for (double start : it->second) {
      if (std::isnan(best) || std::fabs(start - time) < std::fabs(best - time)) best = start;
    }
    return best;
  }

 private:
  mutable std::mutex m_lock;
  std::map<std::string, std::vector<double>> m_starts;
};

// A source whose bursts go into the log as they are sent.
std::unique_ptr<CSensorSource> Logged(std::shared_ptr<CSensorSource> inner, SentenceLog& log) {
  return std::make_unique<CCallbackSource>(
      [inner, &log](double notBefore) {
        auto burst = inner->Next(notBefore);
        if (burst) log.Add(burst->bytes, burst->hostTime);
        return burst;
      },
      inner->Baud());
}

struct HeadSetup {
  std::uint16_t id;
  unsigned char typeCode;
  double driftPpm;
  double offsetSeconds;
};

// Four heads as a survey vessel might carry them: a two-port model with a GPS
// on each port, and three single-port heads each with a GPS.
const std::vector<HeadSetup> kHeads = {
    {1001, 0x31, 20.0, 1234.5}, {1002, 0x20, -12.0, 86400.25}, {1003, 0xA0, 35.0, 17.125}, {1004, 0x20, -27.0, 3600.0}};

// The serial window with the heads in its sonar task, behind a simulator.
class SonarStation {
 public:
  explicit SonarStation(double start) : m_simulator(std::make_shared<CSonarSimulator>(start)),
        m_library(m_simulator) {
    CTaskData& task = tasks.Add("Sonar", "Zephra");
    task.m_sonarCount = static_cast<unsigned>(kHeads.size());
    for (std::size_t k = 0; k < kHeads.size(); ++k) {
      task.m_sonars[k] = {kHeads[k].id, kHeads[k].typeCode};
      SonarHeadConfig head;
      head.id = kHeads[k].id;
      head.typeCode = kHeads[k].typeCode;
      head.driftPpm = kHeads[k].driftPpm;
      head.offsetUs = kHeads[k].offsetSeconds * 1e6;
      head.pps = k == 0;
      head.statusInterval = 1.0;
      EXPECT_TRUE(m_simulator->AddHead(head));
    }
    window.SetOption("nPorts", "1");
    window.SetOption("Task", "Sonar");
    window.m_pps.m_sync = 1;
    CNyxWnd::InfoMsg(kInfoCommsEnable, InfoValue(1));
    CNyxWnd::InfoMsg(kInfoSonarActive, InfoValue(1));
    CNyxWnd::InfoMsg(kInfoRefreshSonarIds, nullptr);
  }
  ~SonarStation() {
    m_simulator->Stop();
    m_simulator->SetSink(nullptr);
  }

  // A GPS on a head's port, decoded as "GPGGA + ZDA"; `delay` after each second.
  void AddGps(std::size_t head, int serialIndex, double delay) {
    auto gps = std::make_shared<CGgaZdaSource>(delay);
    gps->SetPosition(47.0 + static_cast<double>(head), 8.0 + serialIndex, 10.0);
    EXPECT_TRUE(m_simulator->SetSource(kHeads[head].id, serialIndex, Logged(gps, log)));
    CZepPort& port = window.GetSonarPort(2 * head + static_cast<std::size_t>(serialIndex));
    port.m_decode = DecoderIndex("GPGGA + ZDA");
    port.SetDecode();
  }

  void Connect() {
    m_simulator->SetSink(&window);
    for (const auto& head : kHeads) window.InitZepRS232(head.id);
  }

  CSonarSimulator& Simulator() { return *m_simulator; }

  ScopedTasks tasks;  // outlives the window
  SentenceLog log;
  CSComm window;

 private:
  std::shared_ptr<CSonarSimulator> m_simulator;
  ScopedZephraBackend m_library;
};

struct TimeErrors {
  std::vector<double> settled;  // seconds, record minus truth
  std::vector<double> early;
  std::size_t unmatched = 0;
};

TimeErrors Compare(const RecordCollector& records, const SentenceLog& log, double settledFrom) {
  TimeErrors errors;
  for (const auto& record : records.Records(kSnsrInf)) {
    const double time = record["time"].get<double>();
    const double truth = log.Nearest(record["text"].get<std::string>(), time);
    if (std::isnan(truth)) {
      ++errors.unmatched;
      continue;
    }
    (truth >= settledFrom ? errors.settled : errors.early).push_back(time - truth);
  }
  return errors;
}

double MaxAbs(const std::vector<double>& values) {
  double most = 0.0;
  for (double v : values) most = std::max(most, std::fabs(v));
  return most;
}

double Rms(const std::vector<double>& values) {
  double sum = 0.0;
  for (double v : values) sum += v * v;
  return values.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(values.size()));
}

}  // namespace

// Stepped by hand: each head's events reach the window a random 0.1 to 1 ms
// after the head sent them (the host time its status packets are paired
// with), and the host triggers every 50 ms.
TEST(SonarSerialSimulation, RecordTimesFollowTheHostClockOnceTwoStatusPacketsArrived) {
  ScopedClock clock(kLineStart);
  ScopedReports reports;
  RecordCollector records;
  SonarStation station(kLineStart);
  station.AddGps(0, 0, 0.05);
  station.AddGps(0, 1, 0.45);
  station.AddGps(1, 0, 0.25);
  station.AddGps(2, 0, 0.65);
  station.AddGps(3, 0, 0.85);
  station.Connect();

  const unsigned seed = 7001;
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> latency(0.0001, 0.001);
  const double end = kLineStart + 120.0;
  double nextTrigger = kLineStart + kTriggerPeriod;
  while (nextTrigger <= end) {
    const double event = station.Simulator().NextEventTime();
    if (event <= nextTrigger) {
      const double arrival = event + latency(random);
      clock->Set(arrival);
      station.Simulator().Step(arrival);
    } else {
      clock->Set(nextTrigger);
      station.window.OnTrigger(nextTrigger, kTriggerPeriod);
      nextTrigger += kTriggerPeriod;
    }
  }

  // The first status packet of every head comes at the start, the second a
  // second later; from then on each head's PC model converts.
  const TimeErrors errors = Compare(records, station.log, kLineStart + 1.0);
  EXPECT_EQ(errors.unmatched, 0u);
  ASSERT_GT(errors.settled.size(), 5u * 2u * 115u);
  EXPECT_LT(MaxAbs(errors.settled), 0.005);
  // Before that the port's model has one sample and conversions fall back.
  ASSERT_FALSE(errors.early.empty());
  EXPECT_GT(MaxAbs(errors.early), 0.01);
  std::printf("[ sonar sim ] 4 heads, 5 GPS ports, 120 s, latency 0.1-1 ms (seed %u): %zu settled records, "
              "max |error| %.3f ms, RMS %.3f ms; %zu records before the second status packet, max |error| %.1f ms\n",
              seed, errors.settled.size(), MaxAbs(errors.settled) * 1e3, Rms(errors.settled) * 1e3,
              errors.early.size(), MaxAbs(errors.early) * 1e3);

  // The decoded records carry the same times: positions from every port.
  EXPECT_EQ(records.Records(kSnsrPos).size(), records.Records(kSnsrTime).size());
  EXPECT_GE(records.Records(kSnsrPos).size(), 5u * 119u);
  // Each head's clock drift shows in its model's slope.
  for (std::size_t k = 0; k < kHeads.size(); ++k) {
    CBufEntry newest;
    ASSERT_TRUE(station.window.GetSonarPort(2 * k).m_commTime.m_pcBuf.GetLast(newest));
    EXPECT_NEAR(newest.m - 1.0, -kHeads[k].driftPpm * 1e-6, 5e-6) << kHeads[k].id;
  }
  // The first head's pulses reach the window's tracker.
  EXPECT_GT(station.window.m_pps.m_lastFpgaTime, 0.0);
}

