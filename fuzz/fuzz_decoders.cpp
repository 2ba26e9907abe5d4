// Every decoder through a port, in ASCII and Binary framing, with arbitrary
// port settings and bytes. Input: decoder index, mode and terminator, buffer
// size, bank, then the bytes of the line; triggers run every 64 bytes.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "comms/ecomm.h"
#include "host/report.h"
#include "port/port.h"

namespace {

class QuietSink : public Nyx::ReportSink {
 public:
  void OnReport(const Nyx::Report&) override {}
};

// Takes the bytes a decoder sends, as a line would.
class Owner : public CEComm {
 public:
  void SendData(unsigned, TX_MSG* msg) override {
    for (int i = 0; i < msg->m_nLength; ++i) m_sink ^= static_cast<unsigned char>(msg->m_pData[i]);
  }
  unsigned char m_sink = 0;
};

constexpr unsigned char kSyncChars[] = {10, 13, 59, 0};
constexpr int kRxSizes[] = {1000, 1, 2, 16, 82, 0, 4096, 7};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Owner* owner = [] {
    Nyx::SetReportSink(std::make_shared<QuietSink>());
    return new Owner;
  }();
  if (size < 4) return 0;
  const int decoders = static_cast<int>(CEComm::s_decodes.GetCount());
  CPort port;
  port.m_pOwner = owner;
  port.m_decode = data[0] % (decoders + 1);
  port.m_sync = (data[1] & 0x80) ? 0 : 1;
  port.m_syncChar = kSyncChars[data[1] & 0x03];
  port.m_echoData = (data[1] & 0x40) != 0;
  port.CfgBufSize(0, kRxSizes[data[2] & 0x07]);
  port.m_bank = data[3];
  port.SetDecode();
  double t = 1000.0;
  for (std::size_t i = 4; i < size; ++i) {
    port.NewByte(t, data[i]);
    t += 0.001;
    if (i % 64 == 0) {
      port.m_pDecode->OnTrigger(t, 0.05);
      port.SetDataAge(t);
    }
  }
  port.m_pDecode->OnTrigger(t + 2.0, 2.0);
  return 0;
}
