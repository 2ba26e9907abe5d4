// nyxhost --sonar-sim: simulated heads set up behind the serial window, their
// GPS decoded through a sonar port in real time with host record times, and
// the one task that serves both the sonar entries and the target texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "comms/serial_comms.h"
#include "host/records.h"
#include "host/task.h"
#include "nyxhost/host_runner.h"
#include "nyxhost/sonar_sim_option.h"
#include "sonar/sonar_library.h"
#include "sonar/sonar_simulator.h"
#include "support/capture.h"
#include "support/temp_files.h"

namespace {

constexpr double kGpsCharTime = 10.0 / 9600;
constexpr double kGpsDelay = 0.05;  // the simulated GPS sends this long after each second
constexpr double kDay = 86400.0;

// The host second a GGA or ZDA sentence names ("hhmmss.00" after the tag), nearest to `near`.
double NamedSecond(const std::string& text, double near) {
  const int hh = std::stoi(text.substr(7, 2));
  const int mm = std::stoi(text.substr(9, 2));
  const int ss = std::stoi(text.substr(11, 2));
  const double ofDay = hh * 3600.0 + mm * 60.0 + ss;
  return std::round((near - ofDay) / kDay) * kDay + ofDay;
}

}  // namespace

TEST(NyxhostSonarSim, SetsUpTheHeadsBehindTheWindow) {
  ScopedTasks tasks;
  ScopedReports reports;
  CSComm window;
  window.SetOption("nPorts", "1");
  std::string error;
  EXPECT_EQ(StartSonarSimulation(window, 0, error), nullptr);
  EXPECT_EQ(error, "--sonar-sim takes 0 to 4 heads, not 0");
  EXPECT_EQ(StartSonarSimulation(window, 5, error), nullptr);
  EXPECT_EQ(ZephraLibrary::Installed(), nullptr);

  {
    auto simulation = StartSonarSimulation(window, 3, error);
    ASSERT_NE(simulation, nullptr);
    EXPECT_EQ(ZephraLibrary::Installed().get(), &simulation->Simulator());
    EXPECT_TRUE(simulation->Simulator().Running());
    ASSERT_NE(window.m_pTask, nullptr);
    EXPECT_EQ(window.m_pTask->GetName(), "Sonar");
    EXPECT_EQ(window.GetSonarPort(4).m_index, SonarSimulation::HeadId(2));
    EXPECT_EQ(window.GetSonarPort(6).m_index, 3u);  // the fourth slot stays empty
  }
  // Gone with the simulation: the library is empty again.
  EXPECT_EQ(ZephraLibrary::Installed(), nullptr);

  // A task the window has already carries the sonar entries too.
  CTaskData& targets = tasks.Add("Target", "NyxHost");
  targets.m_outputFlags = {1, 0};
  CSComm other;
  other.SetOption("nPorts", "1");
  other.SetOption("Task", "Target");
  auto simulation = StartSonarSimulation(other, 1, error);
  ASSERT_NE(simulation, nullptr);
  EXPECT_EQ(other.m_pTask, CTask::GetTask("Target"));
  EXPECT_EQ(std::tie(targets.m_typeName, targets.m_sonarCount), std::make_tuple("Zephra", 1u));
  EXPECT_EQ(other.m_taskOutput, 1);
  EXPECT_EQ(other.GetSonarPort(0).m_index, SonarSimulation::HeadId(0));
}

// Real time, in-process: the host runner with two simulated heads. The first
// head's GPS sentences arrive through sonar port 1 serial 0 and leave as
// records whose times are the heads' device times converted to host time.
TEST(NyxhostSonarSim, RecordsOfTheSonarGpsCarryHostTimes) {
  ScopedTasks tasks;
  HostConfig config;
  config.enable = true;
  config.sonarSim = 2;
  config.duration = 3.5;
  TempDir dir("sonar_sim");
  config.records = dir / "records.json";
  std::string error;
  {
    HostRunner runner(config);
    ASSERT_EQ(runner.Start(error), kHostOk) << error;
    runner.Run();
    ASSERT_EQ(runner.Shutdown(error), kHostOk) << error;
  }
  EXPECT_EQ(ZephraLibrary::Installed(), nullptr);
  const auto records = ReadJsonLines(config.records);
  std::remove(config.records.c_str());

  // Each second the GGA starts kGpsDelay after the second it names, the ZDA right after it.
  std::vector<double> errors;
  double ggaLength = 0.0;
  std::size_t positions = 0;
  for (const auto& record : records) {
    if (record["kind"] == kSnsrPos) ++positions;
    if (record["kind"] != kSnsrInf) continue;
    const std::string text = record["text"];
    const double time = record["time"];
    double truth = 0.0;
    if (text.rfind("$GPGGA,", 0) == 0) {
      ggaLength = static_cast<double>(text.size() + 1);  // and its line feed
      truth = NamedSecond(text, time) + kGpsDelay;
    } else if (text.rfind("$GPZDA,", 0) == 0 && ggaLength > 0) {
      truth = NamedSecond(text, time) + kGpsDelay + ggaLength * kGpsCharTime;
    } else {
      continue;
    }
    errors.push_back(time - truth);
  }
  // The first second's pair may come before the head's second status packet;
  // from then on the times follow the host clock steadily, offset by the first
  // packet's delivery delay at most.
  ASSERT_GE(errors.size(), 4u);
  EXPECT_GE(positions, 2u);
  const auto [lowest, highest] = std::minmax_element(errors.begin() + 2, errors.end());
  EXPECT_LT(std::max(-*lowest, *highest), 0.025);
  EXPECT_LT(*highest - *lowest, 0.001);
}
