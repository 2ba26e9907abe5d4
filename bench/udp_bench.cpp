// UDP packet framing without sockets: building an outgoing packet, and taking
// in a stall ping (scan, both checksums, the hand-over to an empty host).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/report.h"
#include "net/framed_packet_manager.h"

namespace {

class QuietSink : public Nyx::ReportSink {
 public:
  void OnReport(const Nyx::Report&) override {}
};

void BM_UdpPacketBuild(benchmark::State& state) {
  const std::string text(static_cast<std::size_t>(state.range(0)), 'T');
  CFramedSerialPacketManager manager;
  const TimeB64 now = ReadTimeB64();
  for (auto _ : state) {
    manager.SendUnlocked(text.c_str(), static_cast<int>(text.size() + 1), now.millitm * 1000u, now);
    benchmark::DoNotOptimize(manager.m_buffer.get());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * (static_cast<std::int64_t>(text.size()) + 17));
}
BENCHMARK(BM_UdpPacketBuild)->Arg(3)->Arg(100)->Arg(999);

std::vector<unsigned char> Datagram(const std::string& text) {
  const int length = static_cast<int>(text.size()) + 13;
  std::vector<unsigned char> bytes(text.size() + 17, 0);
  bytes[1] = 1;
  bytes[2] = static_cast<unsigned char>(length);
  bytes[3] = static_cast<unsigned char>(length >> 8);
  bytes[6] = 0x05;
  bytes[7] = 0x01;
  std::copy(text.begin(), text.end(), bytes.begin() + 16);
  return bytes;
}

void Receive(benchmark::State& state, const std::string& text) {
  Nyx::SetReportSink(std::make_shared<QuietSink>());
  const std::vector<unsigned char> datagram = Datagram(text);
  CFramedSerialPacketManager manager;
  for (auto _ : state) {
    manager.ReceivePacket(datagram.data(), static_cast<int>(datagram.size()));
    benchmark::DoNotOptimize(manager.m_pStallPing.get());
  }
  state.SetItemsProcessed(state.iterations());
  Nyx::SetReportSink(nullptr);
}

void BM_UdpStallPingParse(benchmark::State& state) { Receive(state, "$PVKRSTP,1*55"); }
BENCHMARK(BM_UdpStallPingParse);

void BM_UdpTriggerPingParse(benchmark::State& state) { Receive(state, "$PVKRTRP,5*50"); }
BENCHMARK(BM_UdpTriggerPingParse);

void BM_UdpOtherTextParse(benchmark::State& state) { Receive(state, "Sonar pinging at 10 Hz, range 50 m"); }
BENCHMARK(BM_UdpOtherTextParse);

}  // namespace
