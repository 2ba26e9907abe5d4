#include "nyxhost/sonar_sim_option.h"

#include <array>
#include <mutex>

#include "comms/serial_comms.h"
#include "host/host_time.h"
#include "host/task.h"
#include "sonar/hub_simulator.h"
#include "sonar/sensor_source.h"
#include "sonar/sonar_library.h"
#include "sonar/sonar_simulator.h"

namespace {

constexpr const char* kSonarTask = "Sonar";
constexpr const char* kSonarTaskType = "Zephra";
constexpr const char* kGpsDecoder = "GPGGA + ZDA";

// The first head carries two serial ports and the GPS; the others are
// single-port heads, one of them on the Mk2 platform.
constexpr std::array<unsigned char, 4> kTypeCodes = {0x31, 0x20, 0xA0, 0x20};
// Crystal clocks within a few tens of ppm, started at different times.
constexpr std::array<double, 4> kDriftPpm = {20.0, -12.0, 35.0, -27.0};
constexpr std::array<double, 4> kOffsetSeconds = {1234.5, 86400.25, 17.125, 3600.0};

// The heads' clocks start this long after the set-up, so that the first
// status packet is not held back by it (its host time would be late).
constexpr double kStartDelay = 0.2;

}  // namespace

SonarSimulation::SonarSimulation(std::shared_ptr<CSonarSimulator> simulator, CHubSimulator* hubs)
    : m_simulator(std::move(simulator)), m_hubs(hubs) {
  if (m_hubs) {
    m_hubs->SetInner(m_simulator);
  } else {
    m_library = std::make_unique<ScopedZephraBackend>(m_simulator);
  }
}

SonarSimulation::~SonarSimulation() {
  m_simulator->Stop();
  m_simulator->SetSink(nullptr);
  // The library lets go of the heads here; ours is then the last reference.
  if (m_hubs) m_hubs->SetInner(nullptr);
  m_library.reset();
}

std::unique_ptr<SonarSimulation> StartSonarSimulation(CSComm& window, int heads, std::string& error,
                                                      CHubSimulator* hubs) {
  if (heads < 1 || heads > CSonarSimulator::kMaxHeads) {
    error = "--sonar-sim takes 0 to 4 heads, not " + std::to_string(heads);
    return nullptr;
  }
  auto simulator = std::make_shared<CSonarSimulator>(TmSync::GetTm() + kStartDelay);
  std::lock_guard guard(CNyxWnd::HostLock());

  // One task holds the sonar entries and whatever else the window already
  // takes from its task (the target texts of --targets).
  CTskInf* task = window.m_pTask;
  if (!task || !task->GetData()) {
    task = CTask::AddTask(kSonarTask, kSonarTaskType);
    window.SetOption("Task", kSonarTask);
  }
  CTaskData& data = *task->GetData();
  data.m_typeName = kSonarTaskType;
  data.m_sonarCount = static_cast<unsigned>(heads);
  data.m_platformFlags = 0;
  data.m_platformLock = 0;
  for (int k = 0; k < heads; ++k) {
    const auto i = static_cast<std::size_t>(k);
    data.m_sonars[i] = {SonarSimulation::HeadId(k), kTypeCodes[i]};
    SonarHeadConfig head;
    head.id = SonarSimulation::HeadId(k);
    head.typeCode = kTypeCodes[i];
    head.driftPpm = kDriftPpm[i];
    head.offsetUs = kOffsetSeconds[i] * 1e6;
    // The GPS pulse is wired to the first head, unless the station already
    // takes it on a serial line: the window's one tracker takes one source,
    // whose time base its ZDA samples then share.
    head.pps = k == 0 && !window.m_pps.m_bPresent;
    simulator->AddHead(head);
  }
  simulator->SetSource(SonarSimulation::HeadId(0), 0, std::make_unique<CGgaZdaSource>());

  CZepPort& gpsPort = window.GetSonarPort(0);
  if (gpsPort.m_decode == 0) {
    if (const CDecodeType* type = CEComm::FindDecode(kGpsDecoder)) {
      gpsPort.m_decode = type->m_index;
      gpsPort.SetDecode();
    }
  }

  auto simulation = std::make_unique<SonarSimulation>(simulator, hubs);
  simulator->SetSink(&window);
  CNyxWnd::InfoMsg(kInfoSonarActive, InfoValue(1));
  CNyxWnd::InfoMsg(kInfoRefreshSonarIds, nullptr);
  for (int k = 0; k < heads; ++k) window.InitZepRS232(SonarSimulation::HeadId(k));
  simulator->Start();
  return simulation;
}
