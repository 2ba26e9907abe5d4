// The sonar side of the serial window: the library thread's cost of queueing
// one serial-data message, and a trigger that drains 1000 queued sonar bytes
// (time conversion through the port's clock model, framing, GGA + ZDA
// decoding). Records go to no receiver.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "comms/serial_comms.h"
#include "host/report.h"
#include "host/task.h"
#include "sonar/zep_messages.h"

namespace {

class QuietSink : public Nyx::ReportSink {
 public:
  void OnReport(const Nyx::Report&) override {}
};

constexpr std::uint16_t kSonarId = 1001;
constexpr int kBytesPerTrigger = 1000;
constexpr int kItemsPerMessage = 32;

// A serial window with one sonar in slot 0 whose first port decodes GGA + ZDA,
// and a PC model that converts its time stamps.
class SonarBench {
 public:
  SonarBench() {
    Nyx::SetReportSink(std::make_shared<QuietSink>());
    CTaskData& task = *CTask::AddTask("BenchSonar", "Zephra")->GetData();
    task.m_sonarCount = 1;
    task.m_sonars[0] = {kSonarId, 0x31};
    window.SetOption("nPorts", "0");
    window.SetOption("Task", "BenchSonar");
    window.m_commsEnabled = 1;
    window.UpdateZephraIDs(true);
    CZepPort& port = window.GetSonarPort(0);
    port.m_decode = CEComm::FindDecode("GPGGA + ZDA")->m_index;
    port.SetDecode();
    for (int i = 0; i < 60; ++i) {
      port.m_commTime.m_pcBuf.Add(false, 100.0 + i, 5000.0 + i * (1.0 - 20e-6));
    }
    const std::string sentences =
        "$GPGGA,123519.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,*69\r\n"
        "$GPZDA,123519.00,04,07,2002,00,00*68\r\n";
    std::uint64_t us = 160'000'000;
    CZepNetMsgBuilder message = CZepNetMsgBuilder::Type2(kSonarId, 0, true);
    for (int i = 0; i < kBytesPerTrigger; ++i) {
      if (message.ItemCount() == kItemsPerMessage) {
        messages.push_back(message);
        message = CZepNetMsgBuilder::Type2(kSonarId, 0, true);
      }
      message.Add(static_cast<unsigned char>(sentences[static_cast<std::size_t>(i) % sentences.size()]), us += 1042);
    }
    messages.push_back(message);
  }
  ~SonarBench() {
    CTask::RemoveAll();
    Nyx::SetReportSink(nullptr);
  }

  void QueueAll() {
    for (const auto& message : messages) window.ZepRxData(message.Length(), &message.Msg());
  }

  CSComm window;
  std::vector<CZepNetMsgBuilder> messages;
};

void BM_SonarQueueMessage(benchmark::State& state) {
  SonarBench bench;
  const CZepNetMsgBuilder& message = bench.messages.front();
  std::int64_t n = 0;
  for (auto _ : state) {
    bench.window.ZepRxData(message.Length(), &message.Msg());
    if (++n % 64 == 0) bench.window.Sonar().TakeQueued();
  }
  state.SetItemsProcessed(state.iterations() * message.ItemCount());
}
BENCHMARK(BM_SonarQueueMessage);

void BM_SonarTriggerDrains1000Bytes(benchmark::State& state) {
  SonarBench bench;
  double now = 5100.0;
  for (auto _ : state) {
    state.PauseTiming();
    bench.QueueAll();
    state.ResumeTiming();
    bench.window.OnTrigger(now, 0.05);
    now += 0.05;
  }
  state.SetItemsProcessed(state.iterations() * kBytesPerTrigger);
}
BENCHMARK(BM_SonarTriggerDrains1000Bytes);

}  // namespace
