// One received datagram through the packet manager, as the receive thread
// hands it over after its filter (at least 4 bytes, first byte 0).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/report.h"
#include "net/framed_packet_manager.h"

namespace {
class QuietSink : public Nyx::ReportSink {
 public:
  void OnReport(const Nyx::Report&) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static CFramedSerialPacketManager* manager = [] {
    Nyx::SetReportSink(std::make_shared<QuietSink>());
    return new CFramedSerialPacketManager;
  }();
  std::vector<unsigned char> datagram(data, data + size);
  if (datagram.size() < 4) return 0;
  datagram[0] = 0;
  manager->ReceivePacket(datagram.data(), static_cast<int>(datagram.size()));
  return 0;
}
