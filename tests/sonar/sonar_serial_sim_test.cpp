// Simulated sonar heads feeding the serial window: sensor sentences on the
// heads' serial ports come out as records whose times, converted from the
// heads' drifting clocks, agree with the true host time once each head's PC
// model has two status samples. (The library's thread beside the trigger runs
// in nyxhost --sonar-sim, sonar_sim_option_test.)
#include <gtest/gtest.h>

#include <cmath>
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

constexpr double kStart = 10000.0;
constexpr double kTriggerPeriod = 0.05;

// The true host time at which each sentence began on the wire, by its text.
class SentenceLog {
 public:
  void Add(const std::string& burst, double start) {
    std::lock_guard guard(m_lock);
    std::size_t from = 0;
    for (std::size_t end; (end = burst.find('\n', from)) != std::string::npos; from = end + 1) {
      m_starts[burst.substr(from, end - from)].push_back(start + static_cast<double>(from) * 10.0 / 9600);
    }
  }
  // Record time minus the start of the sentence of this text nearest to it; NaN when none.
  double Error(const std::string& text, double time) const {
    std::lock_guard guard(m_lock);
    double best = std::nan("");
    const auto it = m_starts.find(text);
    if (it == m_starts.end()) return best;
    for (double start : it->second) {
      if (!(std::fabs(time - start) >= std::fabs(best))) best = time - start;
    }
    return best;
  }

 private:
  mutable std::mutex m_lock;
  std::map<std::string, std::vector<double>> m_starts;
};

struct HeadSetup {
  std::uint16_t id;
  unsigned char typeCode;
  double driftPpm;
  double offsetSeconds;
};

// Four heads as a survey vessel might carry them: a two-port model with a GPS
// on each port, and three single-port heads each with a GPS.
const HeadSetup kHeads[] = {
    {1001, 0x31, 20.0, 1234.5}, {1002, 0x20, -12.0, 86400.25}, {1003, 0xA0, 35.0, 17.125}, {1004, 0x20, -27.0, 3600.0}};

}  // namespace

// Stepped by hand: each head's events reach the window a random 0.1 to 1 ms
// after the head sent them (the host time its status packets are paired
// with), and the host triggers every 50 ms.
TEST(SonarSerialSimulation, RecordTimesFollowTheHostClockOnceTwoStatusPacketsArrived) {
  ScopedClock clock(kStart);
  ScopedReports reports;
  RecordCollector records;
  ScopedTasks tasks;
  auto simulator = std::make_shared<CSonarSimulator>(kStart);
  ScopedZephraBackend library(simulator);
  CTaskData& task = tasks.Add("Sonar", "Zephra");
  task.m_sonarCount = 4;
  for (std::size_t k = 0; k < 4; ++k) {
    task.m_sonars[k] = {kHeads[k].id, kHeads[k].typeCode};
    SonarHeadConfig head;
    head.id = kHeads[k].id;
    head.typeCode = kHeads[k].typeCode;
    head.driftPpm = kHeads[k].driftPpm;
    head.offsetUs = kHeads[k].offsetSeconds * 1e6;
    head.pps = k == 0;
    ASSERT_TRUE(simulator->AddHead(head));
  }
  CSComm window;
  window.SetOption("nPorts", "1");
  window.SetOption("Task", "Sonar");
  window.m_pps.m_sync = 1;
  CNyxWnd::InfoMsg(kInfoCommsEnable, InfoValue(1));
  CNyxWnd::InfoMsg(kInfoSonarActive, InfoValue(1));
  CNyxWnd::InfoMsg(kInfoRefreshSonarIds, nullptr);
  // A GPS on a head's port, each a different delay after the second.
  SentenceLog log;
  const struct {
    std::size_t head;
    int serialIndex;
    double delay;
  } gpsPorts[] = {{0, 0, 0.05}, {0, 1, 0.45}, {1, 0, 0.25}, {2, 0, 0.65}, {3, 0, 0.85}};
  for (const auto& g : gpsPorts) {
    auto gps = std::make_shared<CGgaZdaSource>(g.delay);
    gps->SetPosition(47.0 + static_cast<double>(g.head), 8.0 + g.serialIndex, 10.0);
    ASSERT_TRUE(simulator->SetSource(kHeads[g.head].id, g.serialIndex,
                                     std::make_unique<CCallbackSource>([gps, &log](double notBefore) {
                                       auto burst = gps->Next(notBefore);
                                       if (burst) log.Add(burst->bytes, burst->hostTime);
                                       return burst;
                                     })));
    CZepPort& port = window.GetSonarPort(2 * g.head + static_cast<std::size_t>(g.serialIndex));
    port.m_decode = DecoderIndex("GPGGA + ZDA");
    port.SetDecode();
  }
  simulator->SetSink(&window);
  for (const auto& head : kHeads) window.InitZepRS232(head.id);

  std::mt19937 random(7001);
  std::uniform_real_distribution<double> latency(0.0001, 0.001);
  for (double trigger = kStart + kTriggerPeriod; trigger <= kStart + 120.0;) {
    const double event = simulator->NextEventTime();
    if (event <= trigger) {
      const double arrival = event + latency(random);
      clock->Set(arrival);
      simulator->Step(arrival);
    } else {
      clock->Set(trigger);
      window.OnTrigger(trigger, kTriggerPeriod);
      trigger += kTriggerPeriod;
    }
  }
  simulator->SetSink(nullptr);

  // The first status packet of every head comes at the start, the second a
  // second later; from then on each head's PC model converts. Before that
  // the port's model has one sample and conversions fall back.
  std::size_t settled = 0;
  std::size_t unmatched = 0;
  double worstSettled = 0.0;
  double worstEarly = 0.0;
  for (const auto& record : records.Records(kSnsrInf)) {
    const double time = record["time"].get<double>();
    const double error = log.Error(record["text"].get<std::string>(), time);
    if (std::isnan(error)) {
      ++unmatched;
    } else if (time - error >= kStart + 1.0) {
      ++settled;
      worstSettled = std::max(worstSettled, std::fabs(error));
    } else {
      worstEarly = std::max(worstEarly, std::fabs(error));
    }
  }
  EXPECT_EQ(unmatched, 0u);
  EXPECT_GT(settled, 5u * 2u * 115u);
  EXPECT_LT(worstSettled, 0.005);
  EXPECT_GT(worstEarly, 0.01);
  // The decoded records carry the same times: positions from every port.
  EXPECT_EQ(records.Records(kSnsrPos).size(), records.Records(kSnsrTime).size());
  EXPECT_GE(records.Records(kSnsrPos).size(), 5u * 119u);
  // Each head's clock drift shows in its model's slope.
  for (std::size_t k = 0; k < 4; ++k) {
    CBufEntry newest;
    ASSERT_TRUE(window.GetSonarPort(2 * k).m_commTime.m_pcBuf.GetLast(newest));
    EXPECT_NEAR(newest.m - 1.0, -kHeads[k].driftPpm * 1e-6, 5e-6) << kHeads[k].id;
  }
  // The first head's pulses reach the window's tracker.
  EXPECT_GT(window.m_pps.m_lastFpgaTime, 0.0);
}
