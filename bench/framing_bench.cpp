// Framing plus decoding through a port, per format family: ns per byte and
// messages per second. Records go to no receiver, as on a host that ignores them.
#include <benchmark/benchmark.h>

#include <cstdio>
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

// A motion sensor at 100 Hz: one second of TSS 1 lines.
std::string Tss1Capture() {
  std::string capture;
  char line[40];
  for (int i = 0; i < 100; ++i) {
    std::snprintf(line, sizeof line, ":0A0E09 %+05dF%+05d %+05d\r\n", i * 3 - 150, 123 - i, 456 - 2 * i);
    capture += line;
  }
  return capture;
}

void BM_MotionTss1At100Hz(benchmark::State& state) { FrameAndDecode(state, "TSS Std 1", Tss1Capture()); }
BENCHMARK(BM_MotionTss1At100Hz);

// One full Octans cycle: every sentence the "all" decoder takes.
std::string OctansCapture() {
  return "$PHINF,00000000*75\r\n"
         "$PHTRH,1.50,P,2.25,B,0.10,O*15\r\n"
         "$PHTRO,1.50,P,2.25,B*42\r\n"
         "$PHLIN,0.10,-0.20,0.30*4C\r\n"
         "$PHSPD,1.0,0.0,0.0*5C\r\n"
         "$HEHDT,90.0,T*16\r\n";
}

void BM_MotionOctansAllSet(benchmark::State& state) { FrameAndDecode(state, "OctansAll", OctansCapture()); }
BENCHMARK(BM_MotionOctansAllSet);

// EM3000 binary attitude frames with a stray byte between them.
std::string Em3000Capture() {
  std::string capture;
  for (int i = 0; i < 20; ++i) {
    capture += std::string("\x90\x90\x10\x00\xF0\xFF\x05\x00\x28\x23", 10);
    capture += static_cast<char>(i);
  }
  return capture;
}

void BM_MotionEm3000Binary(benchmark::State& state) {
  FrameAndDecode(state, "Simrad EM3000", Em3000Capture(), 0);
}
BENCHMARK(BM_MotionEm3000Binary);

}  // namespace

namespace {

std::string DepthCapture() {
  return "$SONDEP,1234,0,C*hh\r\n"
         "$SONDEP,12.35,,M*hh\r\n"
         "$SONDEP,1236,0,C*hh\r\n"
         "$SONDEP,12.37,,M*hh\r\n";
}

std::string SoundSpeedCapture() {
  return "12.5 1500.25\r\n"
         "12.6 1500.31\r\n"
         "12.4 1499.98\r\n"
         "12.5 1500.02\r\n";
}

std::string StallPingCapture() {
  return "$PVKRSTP,1,*79\r\n"
         "$PVKRSTP,0,*78\r\n"
         "$PVKRSTP,1,*79\r\n"
         "$PVKRSTP,2,*7A\r\n";
}

std::string TargetCapture() {
  return "$PVKRDTS,1.5,2.5,3.5,1,*6A\r\n"
         "$PVKRDTS,1.5,2.5,3.5,*77\r\n"
         "$PVKRDTS,-10.25,4.75,100.5,1,*76\r\n"
         "$PVKRDTS,1.5,2.5,3.5,0,*6B\r\n";
}

// Binary framing: attitude frames with a flow-control code between them.
std::string StallPingFrames() {
  const char frame[] = "\x90\x90\x10\x00\xF0\xFF\x05\x00\x28\x23";
  std::string capture;
  for (int i = 0; i < 4; ++i) {
    capture.append(frame, 10);
    capture += '\x11';
  }
  return capture;
}

void BM_SonDepth(benchmark::State& state) { FrameAndDecode(state, "SonDepth", DepthCapture()); }
BENCHMARK(BM_SonDepth);

void BM_AmlSmartSvp(benchmark::State& state) { FrameAndDecode(state, "AML Smart SVP", SoundSpeedCapture()); }
BENCHMARK(BM_AmlSmartSvp);

void BM_StallPingString(benchmark::State& state) { FrameAndDecode(state, "SP String", StallPingCapture()); }
BENCHMARK(BM_StallPingString);

void BM_TargetData(benchmark::State& state) { FrameAndDecode(state, "VKR DTS", TargetCapture()); }
BENCHMARK(BM_TargetData);

void BM_StallPingBinaryFrames(benchmark::State& state) { FrameAndDecode(state, "SP SW", StallPingFrames(), 0); }
BENCHMARK(BM_StallPingBinaryFrames);

}  // namespace
