// The host at work: lines at 115200 baud that never pause, each a
// pseudo-terminal fed at the line's byte rate by a writer thread of this
// program, decoded by the real host (serial window, reader threads, trigger).
//
// BusyHostEightLines: eight lines of GGA/ZDA pairs; the host's CPU time (the
// process's, less the writers' own threads) per wall second, as % of one core
// (target: under 5 %).
// RecordStampLatency: one line; a record's host time stamp less the host time
// its first byte was written to the pseudo-terminal, 95th percentile (target:
// at most 0.2 ms).
// NYX_BUSY_SECONDS sets the run length (default 10).
#include <benchmark/benchmark.h>

#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "host/host_time.h"
#include "host/nyx_wnd.h"
#include "host/records.h"
#include "nyxhost/host_runner.h"

namespace {

constexpr double kBytesPerSecond = 115200.0 / 10.0;

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

double RunSeconds() {
  const char* length = std::getenv("NYX_BUSY_SECONDS");
  return length ? std::atof(length) : 10.0;
}

std::string Sentence(const std::string& body) {
  unsigned checksum = 0;
  for (char c : body) checksum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", checksum);
  return "$" + body + tail;
}

// GGA and ZDA pairs, each sentence different (the time counts up), enough for
// the run at the line's rate.
std::vector<std::string> Sentences(double seconds) {
  std::vector<std::string> sentences;
  std::size_t bytes = 0;
  char body[128];
  for (int i = 0; bytes < seconds * kBytesPerSecond + 1000; ++i) {
    const int t = 12 * 3600 + i / 10;
    std::snprintf(body, sizeof body, "GPGGA,%02d%02d%02d.%d0,%09.4f,N,%010.4f,E,1,08,0.9,%.1f,M,46.9,M,,", t / 3600 % 24,
                  t / 60 % 60, t % 60, i % 10, 4807.038 + (i % 1000) * 0.0001, 1131.0 + (i % 997) * 0.0001,
                  545.4 + (i % 50) * 0.1);
    sentences.push_back(Sentence(body));
    std::snprintf(body, sizeof body, "GPZDA,%02d%02d%02d.%d0,04,07,2002,00,00", t / 3600 % 24, t / 60 % 60, t % 60,
                  i % 10);
    sentences.push_back(Sentence(body));
    bytes += sentences[sentences.size() - 2].size() + sentences.back().size();
  }
  return sentences;
}

// Writes the sentences to a pseudo-terminal master at the line's byte rate,
// every tick the bytes that are due; notes the host time at which the write
// holding each sentence's first byte began.
class PacedWriter {
 public:
  PacedWriter(int master, const std::vector<std::string>& sentences, std::chrono::microseconds tick)
      : m_master(master), m_tick(tick) {
    for (const std::string& s : sentences) {
      m_starts.push_back(m_stream.size());
      m_stream += s;
    }
    m_firstByteTimes.assign(sentences.size(), 0.0);
  }

  void Start() { m_thread = std::thread([this] { Run(); }); }
  void Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
  }
  double CpuSeconds() const { return m_cpu; }
  const std::vector<double>& FirstByteTimes() const { return m_firstByteTimes; }

 private:
  void Run() {
    const double cpuStart = ::CpuSeconds(RUSAGE_THREAD);
    const auto start = std::chrono::steady_clock::now();
    auto next = start;
    std::size_t written = 0;
    std::size_t sentence = 0;
    while (!m_stop && written < m_stream.size()) {
      next += m_tick;
      std::this_thread::sleep_until(next);
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      const std::size_t due = std::min(m_stream.size(), static_cast<std::size_t>(elapsed * kBytesPerSecond));
      if (due <= written) continue;
      const double now = TmSync::GetTm();
      while (sentence < m_starts.size() && m_starts[sentence] < due) m_firstByteTimes[sentence++] = now;
      while (written < due) {
        const ssize_t n = write(m_master, m_stream.data() + written, due - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
      }
    }
    m_cpu = ::CpuSeconds(RUSAGE_THREAD) - cpuStart;
  }

  int m_master;
  std::chrono::microseconds m_tick;
  std::string m_stream;
  std::vector<std::size_t> m_starts;
  std::vector<double> m_firstByteTimes;
  std::atomic<bool> m_stop{false};
  double m_cpu = 0.0;
  std::thread m_thread;
};

struct Pty {
  Pty() {
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) == 0) path = name;
  }
  ~Pty() {
    close(master);
    close(slave);
  }
  int master = -1;
  int slave = -1;
  std::string path;
};

HostConfig BusyConfig(const std::vector<std::unique_ptr<Pty>>& ptys, double seconds) {
  HostConfig config;
  for (std::size_t i = 0; i < ptys.size(); ++i) {
    const int com = static_cast<int>(i) + 1;
    config.comPaths[com] = ptys[i]->path;
    config.Line(com).decode = "GPGGA + ZDA";
    config.Line(com).baud = 115200;
  }
  config.enable = true;
  config.records = "/dev/null";
  config.duration = seconds;
  return config;
}

void BusyHostEightLines(benchmark::State& state) {
  const double seconds = RunSeconds();
  std::vector<std::unique_ptr<Pty>> ptys;
  for (int i = 0; i < 8; ++i) ptys.push_back(std::make_unique<Pty>());
  const std::vector<std::string> sentences = Sentences(seconds + 5.0);
  for (auto _ : state) {
    HostRunner runner(BusyConfig(ptys, seconds));
    std::string error;
    if (runner.Start(error) != kHostOk) {
      state.SkipWithError(error.c_str());
      break;
    }
    std::vector<std::unique_ptr<PacedWriter>> writers;
    for (const auto& pty : ptys) {
      writers.push_back(std::make_unique<PacedWriter>(pty->master, sentences, std::chrono::milliseconds(10)));
    }
    const double cpu = CpuSeconds(RUSAGE_SELF);
    const auto wall = std::chrono::steady_clock::now();
    for (auto& writer : writers) writer->Start();
    runner.Run();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
    const double used = CpuSeconds(RUSAGE_SELF) - cpu;
    double writersCpu = 0.0;
    for (auto& writer : writers) {
      writer->Stop();
      writersCpu += writer->CpuSeconds();
    }
    state.counters["cpu_percent_of_one_core"] = 100.0 * (used - writersCpu) / elapsed;
    state.counters["writers_cpu_percent"] = 100.0 * writersCpu / elapsed;
    state.counters["triggers_per_s"] = static_cast<double>(runner.Triggers()) / elapsed;
    runner.Shutdown(error);
  }
}

// Keeps the time stamp of every raw text record, on the host's thread.
class StampCollector : public CNyxWnd {
 public:
  StampCollector() { Join(s_snsrRx, this); }
  ~StampCollector() override { LeaveReceiverLists(); }
  void OnSnsrMsg(int kind, void* record) override {
    if (kind != kSnsrInf) return;
    const auto& raw = *static_cast<const CSnsrInf*>(record);
    m_stamps.emplace_back(raw.m_text, raw.m_time);
  }
  std::vector<std::pair<std::string, double>> m_stamps;
};

void RecordStampLatency(benchmark::State& state) {
  const double seconds = RunSeconds();
  std::vector<std::unique_ptr<Pty>> ptys;
  ptys.push_back(std::make_unique<Pty>());
  const std::vector<std::string> sentences = Sentences(seconds + 5.0);
  // A record's text is its sentence without the LF that ended it.
  std::unordered_map<std::string, std::size_t> indexOf;
  for (std::size_t i = 0; i < sentences.size(); ++i) indexOf[sentences[i].substr(0, sentences[i].size() - 1)] = i;
  for (auto _ : state) {
    HostRunner runner(BusyConfig(ptys, seconds));
    std::string error;
    if (runner.Start(error) != kHostOk) {
      state.SkipWithError(error.c_str());
      break;
    }
    StampCollector collector;
    PacedWriter writer(ptys[0]->master, sentences, std::chrono::milliseconds(1));
    writer.Start();
    runner.Run();
    writer.Stop();
    runner.Shutdown(error);

    std::vector<double> latencies;
    for (const auto& [text, stamp] : collector.m_stamps) {
      const auto it = indexOf.find(text);
      const double written = it == indexOf.end() ? 0.0 : writer.FirstByteTimes()[it->second];
      if (written > 0.0) latencies.push_back(stamp - written);
    }
    if (latencies.empty()) {
      state.SkipWithError("no record matched a written sentence");
      break;
    }
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) {
      return 1000.0 * latencies[std::min(latencies.size() - 1, static_cast<std::size_t>(q * static_cast<double>(latencies.size())))];
    };
    state.counters["p50_ms"] = at(0.50);
    state.counters["p95_ms"] = at(0.95);
    state.counters["max_ms"] = latencies.back() * 1000.0;
    state.counters["records"] = static_cast<double>(latencies.size());
    state.counters["unmatched"] = static_cast<double>(collector.m_stamps.size() - latencies.size());
  }
}

}  // namespace

BENCHMARK(BusyHostEightLines)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(RecordStampLatency)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
