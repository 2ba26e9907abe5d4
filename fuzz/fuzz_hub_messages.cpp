// Hub messages as the sonar library hands them to the hub window's handler,
// with the window's comms on and its trigger and poll running between them.
// Input: records of kind byte, 16-bit length, then that many message bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/host_time.h"
#include "host/report.h"
#include "sonar/hub_messages.h"
#include "sonar/ser_comm.h"
#include "sonar/sonar_recorder.h"

namespace {

class QuietSink : public Nyx::ReportSink {
 public:
  void OnReport(const Nyx::Report&) override {}
};

struct Station {
  Station() {
    Nyx::SetReportSink(std::make_shared<QuietSink>());
    TmSync::SetClock(clock);
    ZephraLibrary::Install(library);
    wnd = std::make_unique<CSerComm>();
    HubStatusFields status;
    status.hubId = 100;
    const auto bytes = BuildHubStatus(100, status);
    library->HubHandler()(kHubStatusKind, static_cast<int>(bytes.size()), bytes.data());
    wnd->m_bEnableComms = 1;
    wnd->OnEnableBtn();
    for (unsigned i = 0; i < CSerComm::kHubPorts; ++i) {
      wnd->HubPort(i).m_mode = static_cast<int>(i);  // ASCII, Binary and echoes
      wnd->HubPort(i).m_decode = static_cast<int>(1 + i);
      wnd->HubPort(i).SetDecode();
      wnd->HubPort(i).OnModeChange();
    }
  }
  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(1000.0);
  std::shared_ptr<CZephraRecorder> library = std::make_shared<CZephraRecorder>();
  std::unique_ptr<CSerComm> wnd;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Destroyed before the hub list at exit, so the window empties the list.
  static Station station;
  std::size_t at = 0;
  while (at + 3 <= size) {
    const int kind = 100 + data[at] % 5;
    const std::size_t length = data[at + 1] | (static_cast<std::size_t>(data[at + 2]) << 8);
    at += 3;
    // The message lives in a block of its own length, so a read past it is caught.
    std::vector<unsigned char> message(data + at, data + at + std::min(length, size - at));
    at += message.size();
    station.library->HubHandler()(kind, static_cast<int>(message.size()), message.data());
    station.clock->Advance(0.05);
    station.wnd->OnTrigger(0, 0.05);
  }
  station.wnd->OnPoll(0);
  station.library->Clear();
  return 0;
}
