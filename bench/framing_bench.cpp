// Framing plus decoding through a port, per format family: ns per byte and
// messages per second. Records go to no receiver, as on a host that ignores them.
#include <benchmark/benchmark.h>

#include <string>

#include "comms/ecomm.h"
#include "host/report.h"
#include "port/port.h"

namespace {

class QuietSink : public Nyx::ReportSink {
 public:
  void OnReport(const Nyx::Report&) override {}
};

// Feeds the capture through a port with the named decoder, over and over.
void FrameAndDecode(benchmark::State& state, const char* decoder, const std::string& capture, int sync = 1) {
  Nyx::SetReportSink(std::make_shared<QuietSink>());
  CEComm::InitDecode();
  CPort port;
  port.m_sync = sync;
  port.m_decode = CEComm::FindDecode(decoder)->m_index;
  port.SetDecode();
  std::int64_t messages = 0;
  double t = 1000.0;
  for (auto _ : state) {
    for (char byte : capture) messages += port.NewByte(t, static_cast<unsigned char>(byte));
    t += 1.0;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(capture.size()));
  state.counters["ns_per_byte"] = benchmark::Counter(
      static_cast<double>(state.iterations() * static_cast<std::int64_t>(capture.size())),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
  state.counters["messages_per_s"] = benchmark::Counter(static_cast<double>(messages), benchmark::Counter::kIsRate);
  Nyx::SetReportSink(nullptr);
}

std::string GgaZdaCapture() {
  return "$GPGGA,123519.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,*69\r\n"
         "$GPZDA,123519.00,04,07,2002,00,00*68\r\n"
         "$GPGGA,123519.50,4807.0392,N,01131.0021,E,1,08,0.9,545.5,M,46.9,M,,*60\r\n"
         "$GPZDA,123519.50,04,07,2002,00,00*6D\r\n";
}

void BM_NmeaGgaZda(benchmark::State& state) { FrameAndDecode(state, "GPGGA + ZDA", GgaZdaCapture()); }
BENCHMARK(BM_NmeaGgaZda);

}  // namespace
