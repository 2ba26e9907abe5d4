// Heap allocations on the path from bytes read to JSON record lines, as both
// programs run it: a port frames GGA/ZDA bytes, the decoder makes records,
// every record becomes a JSON line in a reused buffer and reports are kept as
// text. After one warm-up pass (buffers reach their size) every allocation is
// counted: the counter shows them per message.
#include <benchmark/benchmark.h>

#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>

#include "comms/ecomm.h"
#include "host/records.h"
#include "host/report.h"
#include "nyxhost/host_runner.h"
#include "port/port.h"

namespace {

std::atomic<long long> g_allocations{0};

}  // namespace

// Every allocation of this benchmark program is counted.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

// Keeps report text as a buffering sink does, emptied as a flush would.
class AllocBenchReports : public Nyx::ReportSink {
 public:
  void OnReport(const Nyx::Report& report) override {
    Nyx::AppendReport(m_text, report);
    m_text += '\n';
  }
  void Flush() override { m_text.clear(); }
  std::string m_text;
};

// Writes every record as its JSON line into one reused buffer.
class AllocBenchHost : public CEComm {
 public:
  AllocBenchHost() { Join(s_snsrRx, this); Join(s_infoRx, this); }
  ~AllocBenchHost() override { LeaveReceiverLists(); }
  void OnSnsrMsg(int kind, void* record) override { Write(kind, *static_cast<const CSnsr*>(record)); }
  void OnInfoMsg(int kind, void* data) override {
    if (kind == kInfoTargetData || kind == kInfoStallPing) Write(kind, *static_cast<const CSnsr*>(data));
  }
  std::size_t m_bytes = 0;

 private:
  void Write(int kind, const CSnsr& record) {
    m_line.clear();
    AppendRecordJsonLine(m_line, kind, record);
    m_line += '\n';
    m_bytes += m_line.size();
  }
  std::string m_line;
};

void BM_AllocationsGgaZdaToJsonLines(benchmark::State& state) {
  auto reports = std::make_shared<AllocBenchReports>();
  Nyx::SetReportSink(reports);
  CEComm::InitDecode();
  AllocBenchHost host;
  CPort port;
  port.m_pOwner = &host;
  port.m_decode = CEComm::FindDecode("GPGGA + ZDA")->m_index;
  port.SetDecode();
  const std::string capture =
      "$GPGGA,123519.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,*69\r\n"
      "$GPZDA,123519.00,04,07,2002,00,00*68\r\n"
      "$GPGGA,123520.00,4807.0392,N,01131.0021,E,1,08,0.9,545.5,M,46.9,M,,*60\r\n"
      "$GPZDA,123520.00,04,07,2002,00,00*6D\r\n";
  double t = 1000.0;
  const auto feed = [&] {
    std::int64_t messages = 0;
    for (char byte : capture) messages += port.NewByte(t, static_cast<unsigned char>(byte));
    t += 1.0;
    Nyx::FlushReports();
    return messages;
  };
  feed();
  feed();
  const long long before = g_allocations.load();
  std::int64_t messages = 0;
  for (auto _ : state) messages += feed();
  const long long allocations = g_allocations.load() - before;
  state.counters["allocations"] = static_cast<double>(allocations);
  state.counters["allocations_per_message"] = messages ? static_cast<double>(allocations) / static_cast<double>(messages) : 0.0;
  state.counters["messages"] = static_cast<double>(messages);
  Nyx::SetReportSink(nullptr);
}
BENCHMARK(BM_AllocationsGgaZdaToJsonLines);

}  // namespace

namespace {

// Counts the raw text records, one per framed message, on the host's thread,
// and notes the count when the counting window opens and when it closes.
class MessageCounter : public CNyxWnd {
 public:
  MessageCounter(const std::atomic<long long>& opened, const std::atomic<long long>& closed)
      : m_opened(opened), m_closed(closed) {
    Join(s_snsrRx, this);
  }
  ~MessageCounter() override { LeaveReceiverLists(); }
  void OnSnsrMsg(int kind, void*) override {
    if (kind != kSnsrInf) return;
    ++m_messages;
    if (m_atOpen < 0 && m_opened >= 0) m_atOpen = m_messages;
    if (m_atClose < 0 && m_closed >= 0) m_atClose = m_messages;
  }
  long long m_messages = 0;
  long long m_atOpen = -1;
  long long m_atClose = -1;

 private:
  const std::atomic<long long>& m_opened;
  const std::atomic<long long>& m_closed;
};

// The host program's path from a serial line to record lines: a
// pseudo-terminal fed a GGA/ZDA pair every 10 ms (about a 115200-baud line),
// read by the line's reader thread, queued, drained by the trigger into the port, records written to
// /dev/null. Allocations are counted from the second second to half a second
// before the end, while the line runs steadily, and the messages framed in
// that window; NYX_ALLOC_HOST_SECONDS sets the run (default 4).
void BM_AllocationsHostSerialLine(benchmark::State& state) {
  const char* length = std::getenv("NYX_ALLOC_HOST_SECONDS");
  const double seconds = length ? std::atof(length) : 4.0;
  int master = -1;
  int slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  const std::string pair =
      "$GPGGA,123519.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,*69\r\n"
      "$GPZDA,123519.00,04,07,2002,00,00*68\r\n";
  for (auto _ : state) {
    HostConfig config;
    config.comPaths[1] = name;
    config.Line(1).decode = "GPGGA + ZDA";
    config.Line(1).baud = 115200;
    config.enable = true;
    config.records = "/dev/null";
    config.reportsToStderr = false;
    config.duration = seconds;
    HostRunner runner(config);
    std::string error;
    if (runner.Start(error) != kHostOk) {
      state.SkipWithError(error.c_str());
      break;
    }
    std::atomic<bool> stop{false};
    std::atomic<long long> startAllocations{-1};
    std::atomic<long long> endAllocations{-1};
    MessageCounter counter(startAllocations, endAllocations);
    std::atomic<long long> triggersAtOpen{0};
    std::atomic<long long> triggersAtClose{0};
    std::thread writer([&] {
      const auto start = std::chrono::steady_clock::now();
      auto next = start;
      while (!stop) {
        next += std::chrono::milliseconds(10);
        std::this_thread::sleep_until(next);
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (elapsed >= 1.0 && startAllocations < 0) {
          startAllocations = g_allocations.load();
          triggersAtOpen = static_cast<long long>(runner.Triggers());
        }
        if (elapsed >= seconds - 0.5 && endAllocations < 0) {
          endAllocations = g_allocations.load();
          triggersAtClose = static_cast<long long>(runner.Triggers());
        }
        if (write(master, pair.data(), pair.size()) < 0) break;
      }
    });
    runner.Run();
    stop = true;
    writer.join();
    runner.Shutdown(error);
    const long long allocations = endAllocations - startAllocations;
    const long long messages = counter.m_atClose - counter.m_atOpen;
    state.counters["allocations"] = static_cast<double>(allocations);
    state.counters["messages"] = static_cast<double>(messages);
    state.counters["triggers"] = static_cast<double>(triggersAtClose - triggersAtOpen);
    state.counters["allocations_per_message"] = messages > 0 ? static_cast<double>(allocations) / static_cast<double>(messages) : -1.0;
  }
  close(master);
  close(slave);
}
BENCHMARK(BM_AllocationsHostSerialLine)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
