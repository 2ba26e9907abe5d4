// An arbitrary settings file loaded into a serial comms window with eight
// lines. Every COM number maps to a path that does not exist, so no real
// device is ever opened.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "comms/serial_comms.h"
#include "host/report.h"
#include "host/settings.h"
#include "port/com_port_map.h"

namespace {
class QuietSink : public Nyx::ReportSink {
 public:
  void OnReport(const Nyx::Report&) override {}
};

CSComm* MakeWindow() {
  Nyx::SetReportSink(std::make_shared<QuietSink>());
  for (int n = 1; n <= 256; ++n) ComPortMap::Set(n, "/nonexistent/nyx-fuzz-tty" + std::to_string(n));
  auto* window = new CSComm;
  window->SetOption("nPorts", "8");
  return window;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static CSComm* window = MakeWindow();
  CESet set;
  if (!set.LoadFromString(std::string(reinterpret_cast<const char*>(data), size))) return 0;
  CESetCol* col = set.AddCol("Host");
  window->Settings(*col->AddObj("Serial"));
  window->OnTrigger(1000.0, 0.05);
  return 0;
}
